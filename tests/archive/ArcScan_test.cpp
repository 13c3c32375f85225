#include "archive/ArcScan.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Exception.h"
#include "core/FileLayer.h"
#include "core/SPDic.h"
#include "tests/TestFiles.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arcscan";

std::string Bytes(std::initializer_list<int> Bytes) {
  std::string S;
  for (int B : Bytes) S += static_cast<char>(B);
  return S;
}

// Hand-built heads for the kinds that no Debian tool writes.
const std::string kRarMarker("Rar!\x1A\x07\x00", 7);
// ACE: CRC (2), header size (2), type 0, flags (2), then the marker at offset 7.
const std::string kAceHead =
    Bytes({0x12, 0x34, 0x1F, 0x00, 0x00, 0x00, 0x90}) + "**ACE**" + std::string(8, '\x14');
// ARC: marker 1A, method 2 (stored), a 13-byte name, sizes and stamps; then the end marker 1A 00.
const std::string kArcHead = Bytes({0x1A, 0x02}) + std::string("A.TXT\0\0\0\0\0\0\0\0", 13) +
                             std::string(12, '\0') + Bytes({0x1A, 0x00});
// ZOO: a 20-byte text, then the magic number DC A7 C4 FD.
const std::string kZooHead =
    std::string("ZOO 2.10 Archive.\x1A\0\0", 20) + Bytes({0xDC, 0xA7, 0xC4, 0xFD}) + std::string(10, '\0');

std::string ReadFixture(const char* Name) { return ReadFileBytes(kFixtures / Name); }

// A fresh folder per test, removed afterwards.
class ArcScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir_ = fs::temp_directory_path() / ("arcscan-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir_);
    Saved_ = ArcInfos;
  }
  void TearDown() override {
    ArcInfos = Saved_;
    fs::remove_all(Dir_);
  }
  // Places a fixture under a new name.
  std::u16string Copy(const char* Fixture, const std::string& Name) {
    fs::copy_file(kFixtures / Fixture, Dir_ / Name);
    return Utf8ToUtf16((Dir_ / Name).string());
  }
  std::u16string Write(const std::string& Name, const std::string& Bytes) {
    std::ofstream(Dir_ / Name, std::ios::binary) << Bytes;
    return Utf8ToUtf16((Dir_ / Name).string());
  }

  fs::path Dir_;
  std::array<TArcInfo, kLastDecodedKind + 1> Saved_;
};

struct CheckCase {
  const char* Name;
  const char* Fixture;  // a file of tests/archive/arcscan, or nullptr to write `Bytes`
  std::string Bytes;
  TArchiveCheck Check;
  TArchiveKind Kind;
};

TEST_F(ArcScanTest, KindTableOnFixtures) {
  const CheckCase Cases[] = {
      {"x.zip", "x.zip", "", acArchive, akZip},
      {"CAPS.ZIP", "x.zip", "", acArchive, akZip},
      {"x.zip.bak", "x.zip", "", acNone, akNone},
      {"x.jar", "x.jar", "", acArchive, akJar},
      {"x.arj", "x.arj", "", acArchive, akArj},
      {"vol.arj", "vol.arj", "", acArchive, akArj},
      {"vol.a01", "vol.a01", "", acLaterVolume, akArj},
      {"x.lzh", "x.lzh", "", acArchive, akLzh},
      {"x.lha", "x.lzh", "", acArchive, akLzh},
      {"x.tar", "x.tar", "", acArchive, akTar},
      {"x.tgz", "x.tgz", "", acArchive, akGZip},
      {"a.txt.gz", "a.txt.gz", "", acArchive, akGZip},
      {"a.txt.Z", "a.txt.Z", "", acArchive, akGZip},
      {"x.cab", "x.cab", "", acArchive, akCab},
      // A plain TAR whose name claims GZIP, and one with no known extension: the ".tar." rule.
      {"plain.tar.gz", "x.tar", "", acArchive, akTar},
      {"x.tar.001", "x.tar", "", acArchive, akTar},
      // A ZIP named as a RAR volume: the RAR test fails, and the extension's kind stays.
      {"x.r07", "x.zip", "", acNone, akRar},
      {"x.rar", nullptr, kRarMarker + std::string(13, '\0'), acArchive, akRar},
      {"x.r00", nullptr, kRarMarker + std::string(13, '\0'), acLaterVolume, akRar},
      {"x.S12", nullptr, kRarMarker, acLaterVolume, akRar},
      {"x.z00", nullptr, kRarMarker, acLaterVolume, akRar},
      {"short.rar", nullptr, "Rar!\x1A", acNone, akRar},
      {"x.ace", nullptr, kAceHead, acArchive, akAce},
      {"x.c03", nullptr, kAceHead, acLaterVolume, akAce},
      {"x.arc", nullptr, kArcHead, acArchive, akArc},
      {"x.pak", nullptr, kArcHead, acArchive, akArc},
      {"hyp.arc", nullptr, std::string("\x1AHP\x00\x00", 5), acNone, akArc},
      {"zoo.arc", nullptr, "\x1A" + kZooHead.substr(1), acNone, akArc},
      {"x.zoo", nullptr, kZooHead, acArchive, akZoo},
      // An ordinary program holds no archive: a plain file. A ZIP behind a stub is an archive.
      {"x.exe", nullptr, std::string("MZ\x90\x00", 4), acNone, akExe},
      {"sfx.exe", nullptr, "MZ" + std::string(1022, '\0') + ReadFixture("x.zip"), acArchive, akExe},
      {"rarsfx.exe", nullptr, "MZ" + std::string(400000, '\0') + kRarMarker + std::string(13, '\0'),
       acArchive, akExe},
      {"sfx.zip", nullptr, "MZ" + std::string(1022, '\0') + ReadFixture("x.zip"), acArchive, akZip},
      // ZIP archives with data in front of the first entry: one made by "zip -A", one padded.
      {"a.zip", "test_compat_zip_4.zip", "", acArchive, akZip},
      {"padded.zip", "test_read_format_zip_padded1.zip", "", acArchive, akZip},
      {"padded.jar", "test_read_format_zip_padded1.zip", "", acArchive, akJar},
      {"padded.txt", "test_read_format_zip_padded1.zip", "", acNone, akNone},
      {"noise.zip", nullptr, std::string(4096, 'x') + "PK\x05\x06", acNone, akZip},
      {"x.ha", nullptr, std::string("HA\x01\x00", 4), acNoDecoder, akHa},
      {"x.hyp", nullptr, std::string("\x1AST\x00", 4), acNoDecoder, akHyp},
      {"x.q", nullptr, std::string("DS\x00\x01", 4), acNoDecoder, akQ},
      {"fake.zip", nullptr, "just text", acNone, akZip},
      {"empty.zip", nullptr, "", acNone, akZip},
      {"readme.txt", nullptr, "PK\x03\x04", acNone, akNone},
  };
  for (const CheckCase& C : Cases) {
    std::u16string Path = C.Fixture != nullptr ? Copy(C.Fixture, C.Name) : Write(C.Name, C.Bytes);
    TArchiveKind Kind = akZoo;
    EXPECT_EQ(CheckArchiveFile(Path, Kind), C.Check) << C.Name;
    EXPECT_EQ(Kind, C.Kind) << C.Name;
  }
}

TEST_F(ArcScanTest, DisabledKindsAndLaterVolumes) {
  std::u16string Zip = Copy("x.zip", "x.zip");
  std::u16string LaterArj = Copy("vol.a01", "vol.a01");
  std::u16string LaterRar = Write("x.r07", kRarMarker);
  ArcInfos[akZip].Enabled = false;
  ArcInfos[akArj].Enabled = false;
  ArcInfos[akRar].Enabled = false;
  TArchiveKind Kind;
  EXPECT_EQ(CheckArchiveFile(Zip, Kind), acDisabled);
  EXPECT_EQ(Kind, akZip);
  // A later volume is reported as such whatever its kind's switch says.
  EXPECT_EQ(CheckArchiveFile(LaterArj, Kind), acLaterVolume);
  EXPECT_EQ(CheckArchiveFile(LaterRar, Kind), acLaterVolume);
  EXPECT_FALSE(IsEnabledArchiveName("x.zip"));
  EXPECT_TRUE(IsEnabledArchiveName("x.jar"));
  EXPECT_FALSE(IsEnabledArchiveName("x.ha"));
  EXPECT_FALSE(IsEnabledArchiveName("x.txt"));
}

// The CRC-32 of Bytes, as the RAR headers carry it (RAR 4 keeps its low 16 bits).
uint32_t Crc32(const std::string& Bytes) {
  return static_cast<uint32_t>(
      ::crc32(0, reinterpret_cast<const Bytef*>(Bytes.data()), static_cast<uInt>(Bytes.size())));
}

// A set named name.partN.rar: every part has the extension "rar", and reading the first part reads the
// whole set, so a later part opened on its own would report its items a second time. The main header's
// flags are believed only when it passes its CRC check: a damaged one that happens to read as a later
// volume is an archive to open (and to report as damaged), not a volume to pass over.
TEST_F(ArcScanTest, NumberedRarPartsAfterTheFirstAreLaterVolumes) {
  // The main header after the marker: CRC (2), type 73, flags (2), size (2), reserved (6).
  auto Rar = [](int Flags, bool Intact) {
    std::string Main = Bytes({0x73, Flags & 0xFF, Flags >> 8, 0x0D, 0x00}) + std::string(6, '\0');
    const uint32_t Crc = Crc32(Main) ^ (Intact ? 0 : 1);
    return kRarMarker + Bytes({static_cast<int>(Crc & 0xFF), static_cast<int>((Crc >> 8) & 0xFF)}) + Main;
  };
  struct Case {
    const char* Name;
    int Flags;
    bool Intact;
    TArchiveCheck Check;
  };
  const Case Cases[] = {
      {"x.part1.rar", 0x0111, true, acArchive},      // volume, new numbering, first volume
      {"x.part2.rar", 0x0011, true, acLaterVolume},  // volume, new numbering
      {"old.rar", 0x0001, true, acArchive},          // first volume of a .rar/.r00 set
      {"single.rar", 0x0000, true, acArchive},      {"damaged.rar", 0x0011, false, acArchive},
      {"y.part2.rar", 0x0011, false, acArchive},
  };
  for (const Case& C : Cases) {
    TArchiveKind Kind;
    EXPECT_EQ(CheckArchiveFile(Write(C.Name, Rar(C.Flags, C.Intact)), Kind), C.Check) << C.Name;
    EXPECT_EQ(Kind, akRar) << C.Name;
  }
  // The marker alone, with no main header after it, is an archive as before.
  TArchiveKind Kind;
  EXPECT_EQ(CheckArchiveFile(Write("bare.rar", kRarMarker), Kind), acArchive);
}

// RAR 5 has a marker of its own (Rar! 1A 07 01 00) and is the same kind; in its main header (CRC-32, then
// size, type 1, header flags and archive flags as 7-bit numbers) archive flags 1+2 mark a volume that
// carries its number: every volume but the first. A header that fails its CRC (over the header from its
// size on) is not believed: the file is an archive, which the reader reports as damaged.
TEST_F(ArcScanTest, Rar5ArchivesAreRarAndTheirLaterVolumesLaterVolumes) {
  const std::string Marker("Rar!\x1A\x07\x01\x00", 8);
  auto Rar5 = [&](int HeaderFlags, int ArchiveFlags, bool Intact = true) {
    std::string Main = {0x06, 0x01, static_cast<char>(HeaderFlags)};
    if (HeaderFlags & 1) Main += '\0';  // extra area size
    Main += static_cast<char>(ArchiveFlags);
    Main += std::string(7 - Main.size(), '\0');
    const uint32_t Crc = Crc32(Main) ^ (Intact ? 0 : 1);
    return Marker +
           Bytes({static_cast<int>(Crc & 0xFF), static_cast<int>((Crc >> 8) & 0xFF),
                  static_cast<int>((Crc >> 16) & 0xFF), static_cast<int>(Crc >> 24)}) +
           Main + std::string(8, '\0');
  };
  // A real archive whose archive flags were overwritten with 0xFF bytes, and a real later volume.
  std::string Overwritten =
      ReadFileBytes(fs::path(SCRYLINE_TEST_DATA) / "rar/fixtures/test_read_format_rar5_stored.rar");
  ASSERT_GT(Overwritten.size(), 20u);
  Overwritten.replace(16, 4, 4, '\xFF');
  const std::string RealLater = ReadFileBytes(fs::path(SCRYLINE_TEST_DATA) /
                                              "rar/fixtures/test_read_format_rar5_multiarchive.vol2.rar");
  struct Case {
    const char* Name;
    std::string Head;
    TArchiveCheck Check;
  };
  const Case Cases[] = {
      {"single.rar", Rar5(0, 0x00), acArchive},
      {"solid.rar", Rar5(0, 0x04), acArchive},
      {"x.part1.rar", Rar5(0, 0x01), acArchive},
      {"x.part2.rar", Rar5(0, 0x03), acLaterVolume},
      {"x.part3.rar", Rar5(1, 0x03), acLaterVolume},  // with an extra area
      {"x.r01", Rar5(0, 0x03), acLaterVolume},
      {"damaged.rar", Rar5(0, 0x03, false), acArchive},
      {"y.part2.rar", Rar5(1, 0x03, false), acArchive},
      {"overwritten.rar", Overwritten, acArchive},
      {"z.part02.rar", RealLater, acLaterVolume},
      {"bare.rar", Marker, acArchive},
      {"near.rar", std::string("Rar!\x1A\x07\x02\x00", 8), acNone},
  };
  for (const Case& C : Cases) {
    TArchiveKind Kind;
    EXPECT_EQ(CheckArchiveFile(Write(C.Name, C.Head), Kind), C.Check) << C.Name;
    EXPECT_EQ(Kind, akRar) << C.Name;
  }
}

TEST_F(ArcScanTest, MissingFileRaisesTheSystemError) {
  TArchiveKind Kind;
  try {
    CheckArchiveFile(Utf8ToUtf16((Dir_ / "absent.zip").string()), Kind);
    FAIL() << "no exception";
  } catch (const EWin32Error& E) {
    EXPECT_EQ(E.ErrorCode, 2);
  }
}

// A ustar header for "a.txt" with its checksum field left as blanks.
std::string TarHeader() {
  std::string H(512, '\0');
  auto Put = [&](size_t At, const std::string& S) { H.replace(At, S.size(), S); };
  Put(0, "a.txt");
  Put(100, "0000644");
  Put(124, "00000000016");
  Put(136, "13560331400");
  Put(148, "        ");
  Put(156, "0");
  Put(257, std::string("ustar\0"
                       "00",
                       8));
  return H;
}

TEST_F(ArcScanTest, TarChecksumFieldForms) {
  std::string Header = TarHeader();
  int32_t Sum = 0;
  for (unsigned char C : Header) Sum += C;
  ASSERT_EQ(TarHeaderChecksum(reinterpret_cast<const uint8_t*>(Header.data())), Sum);
  char Octal[16];
  std::snprintf(Octal, sizeof Octal, "%o", Sum);
  const std::string Digits = Octal;
  struct Form {
    const char* What;
    std::string Field;
    bool Valid;
  };
  const Form Forms[] = {
      {"six digits, NUL, blank", std::string(6 - Digits.size(), '0') + Digits + std::string("\0 ", 2), true},
      {"trailing blank", std::string(7 - Digits.size(), '0') + Digits + " ", true},
      {"leading blanks, trailing NUL", std::string(7 - Digits.size(), ' ') + Digits + std::string("\0", 1),
       true},
      {"digits after a NUL still count",
       Digits.substr(0, 1) + std::string("\0", 1) + Digits.substr(1) + std::string(7 - Digits.size(), ' '),
       true},
      {"off by one",
       std::string(7 - Digits.size(), '0') + Digits.substr(0, Digits.size() - 1) +
           static_cast<char>(Digits.back() == '7' ? '6' : Digits.back() + 1) + " ",
       false},
  };
  for (const Form& F : Forms) {
    ASSERT_EQ(F.Field.size(), 8u) << F.What;
    std::string H = Header;
    H.replace(148, 8, F.Field);
    EXPECT_EQ(IsTarHeader(Write("t.tar", H)), F.Valid) << F.What;
    fs::remove(Dir_ / "t.tar");
  }
  // One byte short of a header block.
  EXPECT_FALSE(IsTarHeader(Write("short.tar", Header.substr(0, 511))));
}

TEST_F(ArcScanTest, HeaderTests) {
  EXPECT_TRUE(IsLhaHeader(Copy("x.lzh", "x.lzh")));
  EXPECT_TRUE(IsLhaHeader(Write("lz5.lzh", std::string("\x00\x00-lz5-", 7))));
  EXPECT_FALSE(IsLhaHeader(Write("lh.lzh", std::string("\x00\x00-lh5", 6))));  // 6 bytes: too short
  EXPECT_FALSE(IsLhaHeader(Write("lx.lzh", std::string("\x00\x00-lx5-", 7))));
  EXPECT_TRUE(IsZooHeader(Write("z.zoo", kZooHead)));
  EXPECT_FALSE(IsZooHeader(Write("zs.zoo", kZooHead.substr(0, 23))));
  EXPECT_TRUE(IsHypHeader(Write("h.hyp", "\x1AHP")));
  EXPECT_FALSE(IsHypHeader(Write("h2.hyp", "\x1AH")));
}

TEST(ArcKinds, ExtensionTables) {
  const std::string& List = ArchiveExtList();
  EXPECT_EQ(List.rfind(":ace:arc:arj:", 0), 0u);
  EXPECT_EQ(List.substr(List.size() - 9), ":zip:zoo:");
  EXPECT_EQ(std::count(List.begin(), List.end(), ':'), 22);  // 21 extensions
  EXPECT_EQ(ArchiveExtKinds().Count(), 21);

  EXPECT_EQ(ArcInfos[akExe].Name, "Self-extracted Archives (EXE)");
  EXPECT_EQ(ArcInfos[akZoo].Name, "ZOO");
  for (int K = kFirstDecodedKind; K <= kLastDecodedKind; ++K) EXPECT_TRUE(ArcInfos[K].Enabled) << K;
  EXPECT_EQ(ArchiveKindExt(akExe), "exe");
  EXPECT_EQ(ArchiveKindExt(akRar), "rar");
  EXPECT_EQ(ArchiveKindExt(akGZip), "gzip");

  struct Case {
    const char* Name;
    TArchiveKind Kind;
    bool Later;
  };
  const Case Cases[] = {
      {"a.ZIP", akZip, false}, {"a.zip.bak", akNone, false},    {"x.r07", akRar, true},
      {"x.s12", akRar, true},  {"x.z00", akRar, true},          {"x.q01", akNone, false},
      {"x.rar", akRar, false}, {"x.a5x", akNone, false},        {"x.C99", akAce, true},
      {"x.a00", akArj, true},  {"x.001", akNone, false},        {"x.ICE", akLzh, false},
      {"x.Z", akGZip, false},  {"x.pak", akArc, false},         {"noext", akNone, false},
      {"x.", akNone, false},   {"dir.zip/file", akNone, false}, {"x.r7", akNone, false},
  };
  for (const Case& C : Cases) {
    bool Later = !C.Later;
    EXPECT_EQ(ArchiveKindByExt(C.Name, Later), C.Kind) << C.Name;
    EXPECT_EQ(Later, C.Later) << C.Name;
    EXPECT_EQ(GetArchiveKind(C.Name), C.Kind) << C.Name;
  }
}

TEST(ArcKinds, VolumeNames) {
  struct Case {
    const char* Name;
    TArchiveKind Kind;
    const char* Next;  // nullptr: no next volume
  };
  const Case Cases[] = {
      {"x.arj", akArj, "x.a01"},     {"x.ARJ", akArj, "x.A01"},
      {"x.A01", akArj, "x.A02"},     {"x.a98", akArj, "x.a99"},
      {"x.a99", akArj, nullptr},     {"x.001", akArj, "x.002"},
      {"x.998", akArj, "x.999"},     {"x.999", akArj, nullptr},
      {"x.ace", akAce, "x.c00"},     {"x.C07", akAce, "x.c08"},
      {"x.c05", akAce, "x.c06"},     {"x.c99", akAce, nullptr},
      {"x.RAR", akRar, "x.R00"},     {"x.rar", akRar, "x.r00"},
      {"x.r05", akRar, "x.r06"},     {"x.r99", akRar, "x.s00"},
      {"x.R99", akRar, "x.S00"},     {"x.y99", akRar, "x.z00"},
      {"x.z99", akRar, nullptr},     {"x.q01", akRar, nullptr},
      {"x.r0x", akRar, nullptr},     {"x.r-1", akRar, nullptr},
      {"x.zip", akZip, nullptr},     {"x.r01", akZip, nullptr},
      {"noext", akRar, nullptr},     {"x.", akRar, nullptr},
      {"dir.r01/x", akRar, nullptr}, {"/a b/c:d.r00", akRar, "/a b/c:d.r01"},
  };
  for (const Case& C : Cases) {
    std::string Name = C.Name;
    EXPECT_EQ(NextVolumeName(Name, C.Kind), C.Next != nullptr) << C.Name;
    EXPECT_EQ(Name, C.Next != nullptr ? C.Next : C.Name) << C.Name;
  }

  EXPECT_EQ(FirstVolumeName("x.r03", akRar), "x.rar");
  EXPECT_EQ(FirstVolumeName("x.r03", akZip), "");
  EXPECT_EQ(FirstVolumeName("x.c01", akAce), "x.ace");
  EXPECT_EQ(FirstVolumeName("x.a07", akArj), "x.arj");
  EXPECT_EQ(FirstVolumeName("setup.exe", akExe), "setup.exe");
  EXPECT_EQ(FirstVolumeName("disk2.cab", akCab), "disk2.cab");
  EXPECT_EQ(FirstVolumeName("dir.v/x", akRar), "dir.v/x.rar");
}

}  // namespace
