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
uint32_t BitwiseCrc32(uint32_t crc, const unsigned char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

TEST(UpdateCrc32, AgreesWithZlibOnRandomBuffersWholeAndInPieces) {
  std::mt19937 rng(20920);
  for (int round = 0; round < 200; ++round) {
    std::vector<unsigned char> buf(rng() % 5000);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    const uint32_t expected = ~static_cast<uint32_t>(crc32(0, buf.data(), static_cast<uInt>(buf.size())));
    EXPECT_EQ(BitwiseCrc32(0xFFFFFFFF, buf.data(), buf.size()), expected);
    EXPECT_EQ(UpdateCrc32(0xFFFFFFFF, buf.data(), static_cast<int32_t>(buf.size())), expected);
    // Any starting register, not only the usual all-ones one.
    const uint32_t start = static_cast<uint32_t>(rng());
    EXPECT_EQ(UpdateCrc32(start, buf.data(), static_cast<int32_t>(buf.size())),
              BitwiseCrc32(start, buf.data(), buf.size()));
    // Continuing from the previous result gives the same as one pass.
    size_t split = buf.empty() ? 0 : rng() % buf.size();
    uint32_t crc = UpdateCrc32(0xFFFFFFFF, buf.data(), static_cast<int32_t>(split));
    crc = UpdateCrc32(crc, buf.data() + split, static_cast<int32_t>(buf.size() - split));
    EXPECT_EQ(crc, expected);
  }
}

TEST(TimeText, TwoDigitsAndTimeOfDay) {
  EXPECT_EQ(TwoDigits(0), "00");
  EXPECT_EQ(TwoDigits(9), "09");
  EXPECT_EQ(TwoDigits(10), "10");
  EXPECT_EQ(TwoDigits(123), "123");

  struct Case {
    TDateTime time;
    const char* text;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) EXPECT_EQ(TimeToText(c.time), c.text) << c.time;
}

TEST(VersionInfo, NumberText) {
  EXPECT_EQ(VersionNumberToStr(65536, 20409), "1.0.0.20409");
  EXPECT_EQ(VersionNumberToStr(0xFFFFFFFF, 0x00020003), "65535.65535.2.3");
}

TEST(VersionInfo, RegisteredRecordOfOurModule) {
  TVersionRecord record;
  record.Fixed = {0x00010000, 21017, 0x00020001, 7};
  record.Translation = std::make_pair(uint16_t{0x0409}, uint16_t{1252});
  record.Strings["FileVersion"] = u"1.0 b\u00E9ta";
  record.Strings["CompanyName"] = u"Quorvane";
  RegisterVersionRecord(u"vi-test-module", record);

  TVersionInfo info(u"/opt/somewhere/vi-test-module");
  ASSERT_TRUE(info.Valid);
  EXPECT_EQ(info.GetTranslationStr(), "040904E4");
  EXPECT_EQ(info.GetFileVersionStr(), "1.0 b\xC3\xA9ta");
  // No "ProductVersion" string: the fixed product version.
  EXPECT_EQ(info.GetProductVersionStr(), "2.1.0.7");
  EXPECT_EQ(info.GetFileVersionNumber(), (uint64_t{0x00010000} << 32) | 21017);
  EXPECT_EQ(info.GetVerValue("CompanyName"), "Quorvane");
  EXPECT_EQ(info.GetVerValue("Missing"), "");

  // Without a translation the string values cannot be reached; the fixed version still can.
  record.Translation.reset();
  RegisterVersionRecord(u"vi-test-module", record);
  info.ReadInfo();
  EXPECT_EQ(info.GetTranslationStr(), "");
  EXPECT_EQ(info.GetVerValue("CompanyName"), "");
  EXPECT_EQ(info.GetFileVersionStr(), "1.0.0.21017");
}

TEST(VersionInfo, FileWithoutRecord) {
  TVersionInfo info(u"/bin/sh");
  EXPECT_FALSE(info.Valid);
  EXPECT_EQ(info.GetFixedInfo(), nullptr);
  EXPECT_EQ(info.GetFileVersionStr(), "");
  EXPECT_EQ(info.GetProductVersionStr(), "");
  EXPECT_EQ(info.GetTranslationStr(), "");
  EXPECT_EQ(info.GetFileVersionNumber(), 0u);
}

TEST(Registry, ParseRegRoot) {
  struct Case {
    const char* path;
    TRegRoot root;
    const char* rest;
  };
  const Case cases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\X", TRegRoot::LocalMachine, "Software\\X"},
      {"Software\\X", TRegRoot::CurrentUser, "Software\\X"},
      {"HKEY_CURRENT_USER\\Software\\X", TRegRoot::CurrentUser, "Software\\X"},
      {"HKEY_CLASSES_ROOT\\*\\shellex", TRegRoot::ClassesRoot, "*\\shellex"},
      {"hkey_users\\.DEFAULT", TRegRoot::Users, ".DEFAULT"},
      {"HKEY_LOCAL_MACHINE", TRegRoot::CurrentUser, "HKEY_LOCAL_MACHINE"},  // no backslash: not a root
      {"HKEY_LOCAL_MACHINEX\\a", TRegRoot::CurrentUser, "HKEY_LOCAL_MACHINEX\\a"},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(ParseRegRoot(path), c.root) << c.path;
    EXPECT_EQ(path, c.rest) << c.path;
  }
}

class RegistryPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("winutils-" + std::to_string(::getpid()));
    fs::create_directories(base_ / "machine");
    store_ = std::make_unique<TRegStore>(
        TRegStore::TRoots{(base_ / "user").string(), (base_ / "machine").string()});
    SetRegStore(store_.get());
  }
  void TearDown() override {
    SetRegStore(nullptr);
    fs::remove_all(base_);
  }
  fs::path base_;
  std::unique_ptr<TRegStore> store_;
};

TEST_F(RegistryPaths, WriteReadAndBufferSizes) {
  const std::string bytes("\x01\x00\xFF\x7F", 4);
  ASSERT_TRUE(RegWriteValue("Software\\Quorvane\\QVSearch", "Options", bytes.data(), 4, REG_BINARY));

  char buf[8] = {};
  uint32_t size = sizeof buf;
  uint32_t type = 0;
  ASSERT_TRUE(RegReadValue("HKEY_CURRENT_USER\\Software\\Quorvane\\QVSearch", "Options", buf, size, &type));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(std::string(buf, 4), bytes);

  // Asking the size only, and a buffer that is too small.
  size = 0;
  EXPECT_TRUE(RegReadValue("Software\\Quorvane\\QVSearch", "Options", nullptr, size));
  EXPECT_EQ(size, 4u);
  size = 3;
  EXPECT_FALSE(RegReadValue("Software\\Quorvane\\QVSearch", "Options", buf, size));
  EXPECT_EQ(size, 4u);

  size = sizeof buf;
  EXPECT_FALSE(RegReadValue("Software\\Quorvane\\QVSearch", "Missing", buf, size));
  EXPECT_FALSE(RegReadValue("Software\\Nobody", "Options", buf, size));
}

TEST_F(RegistryPaths, CreateReportsNewKeyAndMachineKeysRefuseWrites) {
  TRegKey key;
  bool created = false;
  ASSERT_TRUE(RegCreateKeyPath("Software\\Quorvane\\QVSearch", key, &created));
  EXPECT_TRUE(created);
  ASSERT_TRUE(RegCreateKeyPath("Software\\Quorvane\\QVSearch", key, &created));
  EXPECT_FALSE(created);
  EXPECT_TRUE(RegOpenKeyPath("Software\\Quorvane", key));
  EXPECT_FALSE(RegOpenKeyPath("Software\\Quorvane\\Other", key));

  EXPECT_FALSE(RegWriteValue("HKEY_LOCAL_MACHINE\\Software\\Quorvane", "SharedFilesDir", "x", 1, REG_SZ));
  EXPECT_FALSE(RegCreateKeyPath("HKEY_LOCAL_MACHINE\\Software\\Quorvane", key));
  EXPECT_TRUE(fs::is_empty(base_ / "machine"));
}

TEST(WideFitText, FitsWithEllipsisAndKeepsSurrogatePairs) {
  // 10 pixels per character; a surrogate pair is one character.
  TMeasureText measure = [](const std::u16string& s) {
    int n = 0;
    for (char16_t c : s) n += (c >= 0xDC00 && c <= 0xDFFF) ? 0 : 10;
    return n;
  };
  EXPECT_EQ(WideFitText(measure, u"abcdef", 60), u"abcdef");
  EXPECT_EQ(WideFitText(measure, u"abcdef", 59), u"abcd\u2026");
  EXPECT_EQ(WideFitText(measure, u"abcdef", 10), u"");  // only the ellipsis would fit: no room left
  EXPECT_EQ(WideFitText(measure, u"abcdef", 5), u"");
  EXPECT_EQ(WideFitText(measure, u"abcdef", 19), u"\u2026");
  EXPECT_EQ(WideFitText(measure, u"", 0), u"");
  // "a", then U+1F600 as a pair: a cut after its first half would leave a lone surrogate.
  EXPECT_EQ(WideFitText(measure, u"a\U0001F600bc", 30), u"a\U0001F600\u2026");
  EXPECT_EQ(WideFitText(measure, u"a\U0001F600bc", 29), u"a\u2026");
}

}  // namespace
