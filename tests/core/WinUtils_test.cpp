#include "core/WinUtils.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(UpdateCrc32, KnownVectorsWithoutFinalInversion) {
  EXPECT_EQ(UpdateCrc32(0xFFFFFFFF, "abc", 3), 0xCADBBE3Du);
  EXPECT_EQ(UpdateCrc32(0xFFFFFFFF, "123456789", 9), 0x340BC6D9u);  // ~0xCBF43926
  EXPECT_EQ(UpdateCrc32(0x12345678, "abc", 0), 0x12345678u);
  EXPECT_EQ(UpdateCrc32(0x12345678, "abc", -5), 0x12345678u);
}

// The register update one bit at a time, as the polynomial defines it.
uint32_t BitwiseCrc32(uint32_t Crc, const unsigned char* P, size_t N) {
  for (size_t I = 0; I < N; ++I) {
    Crc ^= P[I];
    for (int Bit = 0; Bit < 8; ++Bit) Crc = (Crc & 1) ? (Crc >> 1) ^ 0xEDB88320u : Crc >> 1;
  }
  return Crc;
}

TEST(UpdateCrc32, AgreesWithZlibOnRandomBuffersWholeAndInPieces) {
  std::mt19937 Rng(20920);
  for (int Round = 0; Round < 200; ++Round) {
    std::vector<unsigned char> Buf(Rng() % 5000);
    for (auto& B : Buf) B = static_cast<unsigned char>(Rng());
    const uint32_t Expected = ~static_cast<uint32_t>(crc32(0, Buf.data(), static_cast<uInt>(Buf.size())));
    EXPECT_EQ(BitwiseCrc32(0xFFFFFFFF, Buf.data(), Buf.size()), Expected);
    EXPECT_EQ(UpdateCrc32(0xFFFFFFFF, Buf.data(), static_cast<int32_t>(Buf.size())), Expected);
    // Any starting register, not only the usual all-ones one.
    const uint32_t Start = static_cast<uint32_t>(Rng());
    EXPECT_EQ(UpdateCrc32(Start, Buf.data(), static_cast<int32_t>(Buf.size())),
              BitwiseCrc32(Start, Buf.data(), Buf.size()));
    // Continuing from the previous result gives the same as one pass.
    size_t Split = Buf.empty() ? 0 : Rng() % Buf.size();
    uint32_t Crc = UpdateCrc32(0xFFFFFFFF, Buf.data(), static_cast<int32_t>(Split));
    Crc = UpdateCrc32(Crc, Buf.data() + Split, static_cast<int32_t>(Buf.size() - Split));
    EXPECT_EQ(Crc, Expected);
  }
}

TEST(TimeText, TwoDigitsAndTimeOfDay) {
  EXPECT_EQ(TwoDigits(0), "00");
  EXPECT_EQ(TwoDigits(9), "09");
  EXPECT_EQ(TwoDigits(10), "10");
  EXPECT_EQ(TwoDigits(123), "123");

  struct Case {
    TDateTime Time;
    const char* Text;
  };
  const Case Cases[] = {
      {0.75, "18:00"},
      {(9 * 60 + 5) / 1440.0, "09:05"},
      {45000 + (17 * 60 + 30) / 1440.0, "17:30"},
      // Just below 17:30 through floating-point error still reads 17:30.
      {std::nextafter(45000 + (17 * 60 + 30) / 1440.0, 0.0), "17:30"},
      {(86400 - 0.001) / 86400.0, "23:59"},
      // Less than half a millisecond before midnight rounds into the next day.
      {(86400 - 0.0004) / 86400.0, "00:00"},
      {0, "00:00"},
      {-1.25, "06:00"},  // dates before 1899-12-30 keep the fraction's magnitude as the time
      {NAN, "00:00"},
  };
  for (const Case& C : Cases) EXPECT_EQ(TimeToText(C.Time), C.Text) << C.Time;
}

TEST(VersionInfo, NumberText) {
  EXPECT_EQ(VersionNumberToStr(65536, 20409), "1.0.0.20409");
  EXPECT_EQ(VersionNumberToStr(0xFFFFFFFF, 0x00020003), "65535.65535.2.3");
}

TEST(VersionInfo, RegisteredRecordOfOurModule) {
  TVersionRecord Record;
  Record.Fixed = {0x00010000, 21017, 0x00020001, 7};
  Record.Translation = std::make_pair(uint16_t{0x0409}, uint16_t{1252});
  Record.Strings["FileVersion"] = u"1.0 b\u00E9ta";
  Record.Strings["CompanyName"] = u"Quorvane";
  RegisterVersionRecord(u"vi-test-module", Record);

  TVersionInfo Info(u"/opt/somewhere/vi-test-module");
  ASSERT_TRUE(Info.Valid);
  EXPECT_EQ(Info.GetTranslationStr(), "040904E4");
  EXPECT_EQ(Info.GetFileVersionStr(), "1.0 b\xC3\xA9ta");
  // No "ProductVersion" string: the fixed product version.
  EXPECT_EQ(Info.GetProductVersionStr(), "2.1.0.7");
  EXPECT_EQ(Info.GetFileVersionNumber(), (uint64_t{0x00010000} << 32) | 21017);
  EXPECT_EQ(Info.GetVerValue("CompanyName"), "Quorvane");
  EXPECT_EQ(Info.GetVerValue("Missing"), "");

  // Without a translation the string values cannot be reached; the fixed version still can.
  Record.Translation.reset();
  RegisterVersionRecord(u"vi-test-module", Record);
  Info.ReadInfo();
  EXPECT_EQ(Info.GetTranslationStr(), "");
  EXPECT_EQ(Info.GetVerValue("CompanyName"), "");
  EXPECT_EQ(Info.GetFileVersionStr(), "1.0.0.21017");
}

TEST(VersionInfo, FileWithoutRecord) {
  TVersionInfo Info(u"/bin/sh");
  EXPECT_FALSE(Info.Valid);
  EXPECT_EQ(Info.GetFixedInfo(), nullptr);
  EXPECT_EQ(Info.GetFileVersionStr(), "");
  EXPECT_EQ(Info.GetProductVersionStr(), "");
  EXPECT_EQ(Info.GetTranslationStr(), "");
  EXPECT_EQ(Info.GetFileVersionNumber(), 0u);
}

TEST(Registry, ParseRegRoot) {
  struct Case {
    const char* Path;
    TRegRoot Root;
    const char* Rest;
  };
  const Case Cases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\X", TRegRoot::LocalMachine, "Software\\X"},
      {"Software\\X", TRegRoot::CurrentUser, "Software\\X"},
      {"HKEY_CURRENT_USER\\Software\\X", TRegRoot::CurrentUser, "Software\\X"},
      {"HKEY_CLASSES_ROOT\\*\\shellex", TRegRoot::ClassesRoot, "*\\shellex"},
      {"hkey_users\\.DEFAULT", TRegRoot::Users, ".DEFAULT"},
      {"HKEY_LOCAL_MACHINE", TRegRoot::CurrentUser, "HKEY_LOCAL_MACHINE"},  // no backslash: not a root
      {"HKEY_LOCAL_MACHINEX\\a", TRegRoot::CurrentUser, "HKEY_LOCAL_MACHINEX\\a"},
  };
  for (const Case& C : Cases) {
    std::string Path = C.Path;
    EXPECT_EQ(ParseRegRoot(Path), C.Root) << C.Path;
    EXPECT_EQ(Path, C.Rest) << C.Path;
  }
}

class RegistryPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    Base_ = fs::temp_directory_path() / ("winutils-" + std::to_string(::getpid()));
    fs::create_directories(Base_ / "machine");
    Store_ = std::make_unique<TRegStore>(
        TRegStore::TRoots{(Base_ / "user").string(), (Base_ / "machine").string()});
    SetRegStore(Store_.get());
  }
  void TearDown() override {
    SetRegStore(nullptr);
    fs::remove_all(Base_);
  }
  fs::path Base_;
  std::unique_ptr<TRegStore> Store_;
};

TEST_F(RegistryPaths, WriteReadAndBufferSizes) {
  const std::string Bytes("\x01\x00\xFF\x7F", 4);
  ASSERT_TRUE(RegWriteValue("Software\\Quorvane\\QVSearch", "Options", Bytes.data(), 4, REG_BINARY));

  char Buf[8] = {};
  uint32_t Size = sizeof Buf;
  uint32_t Type = 0;
  ASSERT_TRUE(RegReadValue("HKEY_CURRENT_USER\\Software\\Quorvane\\QVSearch", "Options", Buf, Size, &Type));
  EXPECT_EQ(Size, 4u);
  EXPECT_EQ(Type, REG_BINARY);
  EXPECT_EQ(std::string(Buf, 4), Bytes);

  // Asking the size only, and a buffer that is too small.
  Size = 0;
  EXPECT_TRUE(RegReadValue("Software\\Quorvane\\QVSearch", "Options", nullptr, Size));
  EXPECT_EQ(Size, 4u);
  Size = 3;
  EXPECT_FALSE(RegReadValue("Software\\Quorvane\\QVSearch", "Options", Buf, Size));
  EXPECT_EQ(Size, 4u);

  Size = sizeof Buf;
  EXPECT_FALSE(RegReadValue("Software\\Quorvane\\QVSearch", "Missing", Buf, Size));
  EXPECT_FALSE(RegReadValue("Software\\Nobody", "Options", Buf, Size));
}

TEST_F(RegistryPaths, CreateReportsNewKeyAndMachineKeysRefuseWrites) {
  TRegKey Key;
  bool Created = false;
  ASSERT_TRUE(RegCreateKeyPath("Software\\Quorvane\\QVSearch", Key, &Created));
  EXPECT_TRUE(Created);
  ASSERT_TRUE(RegCreateKeyPath("Software\\Quorvane\\QVSearch", Key, &Created));
  EXPECT_FALSE(Created);
  EXPECT_TRUE(RegOpenKeyPath("Software\\Quorvane", Key));
  EXPECT_FALSE(RegOpenKeyPath("Software\\Quorvane\\Other", Key));

  EXPECT_FALSE(RegWriteValue("HKEY_LOCAL_MACHINE\\Software\\Quorvane", "SharedFilesDir", "x", 1, REG_SZ));
  EXPECT_FALSE(RegCreateKeyPath("HKEY_LOCAL_MACHINE\\Software\\Quorvane", Key));
  EXPECT_TRUE(fs::is_empty(Base_ / "machine"));
}

TEST(WideFitText, FitsWithEllipsisAndKeepsSurrogatePairs) {
  // 10 pixels per character; a surrogate pair is one character.
  TMeasureText Measure = [](const std::u16string& S) {
    int N = 0;
    for (char16_t C : S) N += (C >= 0xDC00 && C <= 0xDFFF) ? 0 : 10;
    return N;
  };
  EXPECT_EQ(WideFitText(Measure, u"abcdef", 60), u"abcdef");
  EXPECT_EQ(WideFitText(Measure, u"abcdef", 59), u"abcd\u2026");
  EXPECT_EQ(WideFitText(Measure, u"abcdef", 10), u"");  // only the ellipsis would fit: no room left
  EXPECT_EQ(WideFitText(Measure, u"abcdef", 5), u"");
  EXPECT_EQ(WideFitText(Measure, u"abcdef", 19), u"\u2026");
  EXPECT_EQ(WideFitText(Measure, u"", 0), u"");
  // "a", then U+1F600 as a pair: a cut after its first half would leave a lone surrogate.
  EXPECT_EQ(WideFitText(Measure, u"a\U0001F600bc", 30), u"a\U0001F600\u2026");
  EXPECT_EQ(WideFitText(Measure, u"a\U0001F600bc", 29), u"a\u2026");
}

}  // namespace
