#include "archive/ArcScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Exception.h"
#include "core/FileLayer.h"
#include "core/SPDic.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arcscan";

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
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

std::string ReadFixture(const char* Name) {
  std::ifstream in(kFixtures / Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder per test, removed afterwards.
class ArcScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("arcscan-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    saved_ = ArcInfos;
  }
  void TearDown() override {
    ArcInfos = saved_;
    fs::remove_all(dir_);
  }
  // Places a fixture under a new name.
  std::u16string Copy(const char* fixture, const std::string& name) {
    fs::copy_file(kFixtures / fixture, dir_ / name);
    return Utf8ToUtf16((dir_ / name).string());
  }
  std::u16string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return Utf8ToUtf16((dir_ / name).string());
  }

  fs::path dir_;
  std::array<TArcInfo, kLastDecodedKind + 1> saved_;
};

struct CheckCase {
  const char* name;
  const char* fixture;  // a file of tests/archive/arcscan, or nullptr to write `bytes`
  std::string bytes;
  TArchiveCheck check;
  TArchiveKind kind;
};

TEST_F(ArcScanTest, KindTableOnFixtures) {
  const CheckCase cases[] = {
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
  for (const CheckCase& c : cases) {
    std::u16string path = c.fixture != nullptr ? Copy(c.fixture, c.name) : Write(c.name, c.bytes);
    TArchiveKind kind = akZoo;
    EXPECT_EQ(CheckArchiveFile(path, kind), c.check) << c.name;
    EXPECT_EQ(kind, c.kind) << c.name;
  }
}

TEST_F(ArcScanTest, DisabledKindsAndLaterVolumes) {
  std::u16string zip = Copy("x.zip", "x.zip");
  std::u16string laterArj = Copy("vol.a01", "vol.a01");
  std::u16string laterRar = Write("x.r07", kRarMarker);
  ArcInfos[akZip].Enabled = false;
  ArcInfos[akArj].Enabled = false;
  ArcInfos[akRar].Enabled = false;
  TArchiveKind kind;
  EXPECT_EQ(CheckArchiveFile(zip, kind), acDisabled);
  EXPECT_EQ(kind, akZip);
  // A later volume is reported as such whatever its kind's switch says.
  EXPECT_EQ(CheckArchiveFile(laterArj, kind), acLaterVolume);
  EXPECT_EQ(CheckArchiveFile(laterRar, kind), acLaterVolume);
  EXPECT_FALSE(IsEnabledArchiveName("x.zip"));
  EXPECT_TRUE(IsEnabledArchiveName("x.jar"));
  EXPECT_FALSE(IsEnabledArchiveName("x.ha"));
  EXPECT_FALSE(IsEnabledArchiveName("x.txt"));
}

// A set named name.partN.rar: every part has the extension "rar", and reading the first part reads the
// whole set, so a later part opened on its own would report its items a second time.
TEST_F(ArcScanTest, NumberedRarPartsAfterTheFirstAreLaterVolumes) {
  // The main header after the marker: CRC (2), type 73, flags (2), size (2), reserved (6).
  auto rar = [](int flags) {
    return kRarMarker + Bytes({0x00, 0x00, 0x73, flags & 0xFF, flags >> 8, 0x0D, 0x00}) +
           std::string(6, '\0');
  };
  struct Case {
    const char* name;
    int flags;
    TArchiveCheck check;
  };
  const Case cases[] = {
      {"x.part1.rar", 0x0111, acArchive},      // volume, new numbering, first volume
      {"x.part2.rar", 0x0011, acLaterVolume},  // volume, new numbering
      {"old.rar", 0x0001, acArchive},          // first volume of a .rar/.r00 set
      {"single.rar", 0x0000, acArchive},
  };
  for (const Case& c : cases) {
    TArchiveKind kind;
    EXPECT_EQ(CheckArchiveFile(Write(c.name, rar(c.flags)), kind), c.check) << c.name;
    EXPECT_EQ(kind, akRar) << c.name;
  }
  // The marker alone, with no main header after it, is an archive as before.
  TArchiveKind kind;
  EXPECT_EQ(CheckArchiveFile(Write("bare.rar", kRarMarker), kind), acArchive);
}

TEST_F(ArcScanTest, MissingFileRaisesTheSystemError) {
  TArchiveKind kind;
  try {
    CheckArchiveFile(Utf8ToUtf16((dir_ / "absent.zip").string()), kind);
    FAIL() << "no exception";
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode, 2);
  }
}

// A ustar header for "a.txt" with its checksum field left as blanks.
std::string TarHeader() {
  std::string h(512, '\0');
  auto put = [&](size_t at, const std::string& s) { h.replace(at, s.size(), s); };
  put(0, "a.txt");
  put(100, "0000644");
  put(124, "00000000016");
  put(136, "13560331400");
  put(148, "        ");
  put(156, "0");
  put(257, std::string("ustar\0"
                       "00",
                       8));
  return h;
}

TEST_F(ArcScanTest, TarChecksumFieldForms) {
  std::string header = TarHeader();
  int32_t sum = 0;
  for (unsigned char c : header) sum += c;
  ASSERT_EQ(TarHeaderChecksum(reinterpret_cast<const uint8_t*>(header.data())), sum);
  char octal[16];
  std::snprintf(octal, sizeof octal, "%o", sum);
  const std::string digits = octal;
  struct Form {
    const char* what;
    std::string field;
    bool valid;
  };
  const Form forms[] = {
      {"six digits, NUL, blank", std::string(6 - digits.size(), '0') + digits + std::string("\0 ", 2), true},
      {"trailing blank", std::string(7 - digits.size(), '0') + digits + " ", true},
      {"leading blanks, trailing NUL", std::string(7 - digits.size(), ' ') + digits + std::string("\0", 1),
       true},
      {"digits after a NUL still count",
       digits.substr(0, 1) + std::string("\0", 1) + digits.substr(1) + std::string(7 - digits.size(), ' '),
       true},
      {"off by one",
       std::string(7 - digits.size(), '0') + digits.substr(0, digits.size() - 1) +
           static_cast<char>(digits.back() == '7' ? '6' : digits.back() + 1) + " ",
       false},
  };
  for (const Form& f : forms) {
    ASSERT_EQ(f.field.size(), 8u) << f.what;
    std::string h = header;
    h.replace(148, 8, f.field);
    EXPECT_EQ(IsTarHeader(Write("t.tar", h)), f.valid) << f.what;
    fs::remove(dir_ / "t.tar");
  }
  // One byte short of a header block.
  EXPECT_FALSE(IsTarHeader(Write("short.tar", header.substr(0, 511))));
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
  const std::string& list = ArchiveExtList();
  EXPECT_EQ(list.rfind(":ace:arc:arj:", 0), 0u);
  EXPECT_EQ(list.substr(list.size() - 9), ":zip:zoo:");
  EXPECT_EQ(std::count(list.begin(), list.end(), ':'), 22);  // 21 extensions
  EXPECT_EQ(ArchiveExtKinds().Count(), 21);

  EXPECT_EQ(ArcInfos[akExe].Name, "Self-extracted Archives (EXE)");
  EXPECT_EQ(ArcInfos[akZoo].Name, "ZOO");
  for (int k = kFirstDecodedKind; k <= kLastDecodedKind; ++k) EXPECT_TRUE(ArcInfos[k].Enabled) << k;
  EXPECT_EQ(ArchiveKindExt(akExe), "exe");
  EXPECT_EQ(ArchiveKindExt(akRar), "rar");
  EXPECT_EQ(ArchiveKindExt(akGZip), "gzip");

  struct Case {
    const char* name;
    TArchiveKind kind;
    bool later;
  };
  const Case cases[] = {
      {"a.ZIP", akZip, false}, {"a.zip.bak", akNone, false},    {"x.r07", akRar, true},
      {"x.s12", akRar, true},  {"x.z00", akRar, true},          {"x.q01", akNone, false},
      {"x.rar", akRar, false}, {"x.a5x", akNone, false},        {"x.C99", akAce, true},
      {"x.a00", akArj, true},  {"x.001", akNone, false},        {"x.ICE", akLzh, false},
      {"x.Z", akGZip, false},  {"x.pak", akArc, false},         {"noext", akNone, false},
      {"x.", akNone, false},   {"dir.zip/file", akNone, false}, {"x.r7", akNone, false},
  };
  for (const Case& c : cases) {
    bool later = !c.later;
    EXPECT_EQ(ArchiveKindByExt(c.name, later), c.kind) << c.name;
    EXPECT_EQ(later, c.later) << c.name;
    EXPECT_EQ(GetArchiveKind(c.name), c.kind) << c.name;
  }
}

TEST(ArcKinds, VolumeNames) {
  struct Case {
    const char* name;
    TArchiveKind kind;
    const char* next;  // nullptr: no next volume
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    std::string name = c.name;
    EXPECT_EQ(NextVolumeName(name, c.kind), c.next != nullptr) << c.name;
    EXPECT_EQ(name, c.next != nullptr ? c.next : c.name) << c.name;
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
