#include "archive/arlRegister.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/arlStreams.h"
#include "tests/TestFiles.h"
#include "tests/archive/arlTestSupport.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "arlbase";

std::string Bytes(std::initializer_list<int> Bytes) {
  std::string S;
  for (int B : Bytes) S += static_cast<char>(B);
  return S;
}

std::string ReadFixture(const std::string& Name) { return ReadFileBytes(kFixtures / Name); }

void Put(std::string& S, size_t At, const std::string& What) {
  if (S.size() < At + What.size()) S.resize(At + What.size(), '\0');
  S.replace(At, What.size(), What);
}
void PutLE16(std::string& S, size_t At, uint32_t V) {
  Put(S, At, Bytes({int(V & 0xFF), int((V >> 8) & 0xFF)}));
}
void PutLE32(std::string& S, size_t At, uint32_t V) {
  Put(S, At, Bytes({int(V & 0xFF), int((V >> 8) & 0xFF), int((V >> 16) & 0xFF), int(V >> 24)}));
}

class ArlDetect : public ::testing::Test {
 protected:
  void SetUp() override { Dir_ = arltest::MakeTestDir("arldetect"); }
  void TearDown() override { arltest::RemoveTestDir(Dir_); }

  std::string Write(const std::string& Name, const std::string& Content) {
    const fs::path P = Dir_ / Name;
    std::ofstream(P, std::ios::binary) << Content;
    return P.string();
  }
  // The code the name setter stores for a file with Content.
  int Detect(const std::string& Name, const std::string& Content) {
    Lib_.SetArchiveFile(Write(Name, Content));
    return Lib_.ArcType;
  }

  fs::path Dir_;
  TRegisterArcLib Lib_;
};

// A 7-byte RAR marker and a main header: enough for detection.
const std::string kRar = std::string("Rar!\x1A\x07\x00", 7) + std::string(40, 'r');

// --- Real archives -----------------------------------------------------------------------------------------

TEST_F(ArlDetect, ArchivesOfDebianToolsAndOfAPeerCollection) {
  struct Row {
    const char* File;
    int Code;
    int64_t Start;
  };
  const Row Rows[] = {
      {"x.zip", atZip, 1},
      {"x.arj", atArj, 1},
      {"x.lzh", atLha, 1},
      {"x.cab", atCab, 1},
      {"x.tar", atTar, 1},
      {"vol.tar", atTar, 513},  // recognised by the header after its volume label
      {"a.txt.gz", atGZip, 1},
      {"c.txt.Z", atGZip, 1},
      {"span.zip", atZipMVol, 1},  // its end record says disk 2
      {"sfx.exe", atZipSfx, 1025},
      {"peer_rar.rar", atRar, 1},
      {"peer_rar_sfx.exe", atRarSfx, 98817},
      {"peer_cab.cab", atCab, 1},
      {"peer_lha_level2.lzh", atLha, 1},
      {"peer.jar", atJar, 1},
      {"peer_zip_long_comment.zip", atZip, 1},
      {"peer_zip_padded.zip", atZip, 90},  // junk in front; the first local header is found by a scan
      {"peer.tgz", atGZip, 1},
  };
  for (const auto& R : Rows) {
    Lib_.SetArchiveFile((kFixtures / R.File).string());
    EXPECT_EQ(Lib_.ArcType, R.Code) << R.File;
    EXPECT_EQ(Lib_.StartOffset, R.Start) << R.File;
    EXPECT_NE(Lib_.FileDate, 0u) << R.File;
    EXPECT_EQ(Lib_.ArchiveFile, (kFixtures / R.File).string());
  }
  // What detection keeps of a ZIP: the three records and where the end record stands.
  Lib_.SetArchiveFile((kFixtures / "x.zip").string());
  EXPECT_EQ(Lib_.ZipFlags, zfLocalHeader | zfCentralHeader | zfEndRecord);
  EXPECT_EQ(Lib_.ZipEndEntries(), 2);
  EXPECT_EQ(Lib_.ZipEndRecordPos + kZipEndRecordSize, Lib_.FileSize);
  EXPECT_EQ(GetLE32(Lib_.ZipCentralHeader.data()), 0x02014B50u);
  EXPECT_EQ(GetLE32(Lib_.ZipLocalHeader.data()), 0x04034B50u);
  EXPECT_EQ(Lib_.ZipEndCentralOffset() + Lib_.ZipEndCentralSize(), Lib_.ZipEndRecordPos);
}

TEST_F(ArlDetect, JarByExtensionInAnyCase) {
  const std::string Zip = ReadFixture("x.zip");
  EXPECT_EQ(Detect("a.JAR", Zip), atJar);
  EXPECT_EQ(Detect("b.Jar", Zip), atJar);
  EXPECT_EQ(Detect("c.zip", Zip), atZip);
  EXPECT_EQ(Detect("d.jar", ReadFixture("x.tar")), atTar);  // only a ZIP becomes a JAR
}

TEST_F(ArlDetect, SizesAndMissingFiles) {
  const std::string Zip = ReadFixture("x.zip");
  EXPECT_EQ(Detect("short.zip", Zip.substr(0, 19)), 0);
  EXPECT_EQ(Detect("twenty.zip", Zip.substr(0, 20)), atZip);
  // An all-zero file longer than what detection reads from its start.
  EXPECT_EQ(Detect("zeros.bin", std::string(40000, '\0')), 0);
  EXPECT_EQ(Detect("zeros3.bin", std::string(32770, '\0') + "PK"), 0);
  // The empty ZIP: nothing but an end record.
  EXPECT_EQ(Detect("empty.zip", Bytes({'P', 'K', 5, 6}) + std::string(18, '\0')), atZip);

  Lib_.SetArchiveFile((Dir_ / "none.zip").string());
  EXPECT_EQ(Lib_.ArcType, 0);
  EXPECT_EQ(Lib_.ArchiveFile, "");
  Lib_.SetArchiveFile(Dir_.string());  // a folder
  EXPECT_EQ(Lib_.ArcType, 0);
  EXPECT_EQ(Lib_.ArchiveFile, "");
  EXPECT_EQ(Lib_.DetectArchiveType((Dir_ / "none.zip").string()), 0);
}

TEST_F(ArlDetect, ZipBehindLeadingZeroBytes) {
  const std::string Padded = std::string(100, '\0') + ReadFixture("x.zip");
  EXPECT_EQ(Detect("padded.zip", Padded), atZip);
  EXPECT_EQ(Lib_.StartOffset, 101);
  EXPECT_TRUE(Lib_.ZipFlags & zfLocalHeader);
}

TEST_F(ArlDetect, PlainSignatures) {
  struct Row {
    const char* Name;
    std::string Head;
    int Code;
  };
  const std::string Pad(40, 'z');
  const Row Rows[] = {
      {"bh", Bytes({'B', 'H', 5, 7}) + Pad, atBh},
      {"rar", kRar, atRar},
      {"pkg5", "PKG5" + Pad, atUnknown},
      {"cab", "MSCF" + Pad, atCab},
      {"arc_b7df", Bytes({0xB7, 0xDF, 0x54, 0x57}) + Pad, atArc},
      {"msgz", Bytes({0x13, 0x5D, 0x65, 0x8C}) + Pad, atMsGz},
      {"lha", std::string("\x20\x00-lh5-", 7) + Pad, atLha},
      {"arc_1a02", Bytes({0x1A, 0x02}) + Pad, atArc},
      {"arc_1a09", Bytes({0x1A, 0x09}) + Pad, atArc},
      {"pak", Bytes({0x1A, 0x0A}) + Pad, atPak},
      {"gzip", Bytes({0x1F, 0x8B, 8, 0}) + Pad, atGZip},
      {"compress", Bytes({0x1F, 0x9D, 0x90}) + Pad, atGZip},
      {"pack", Bytes({0x1F, 0x1E}) + Pad, atGZip},
      {"ha", "HA\x02\x00" + Pad, atHa},
      {"zoo", "ZOO 2.10 Archive.\x1A" + Pad, atZoo},
      {"arj", Bytes({0x60, 0xEA, 0x29, 0x00}) + Pad, atArj},
      {"arc_b792", Bytes({0xB7, 0x92, 1, 2}) + Pad, atArcSfx},
      {"pk_spanned", Bytes({'P', 'K', 7, 8}) + Pad, atZipMVol},
      {"pk_g4", "PKG4" + Pad, 0},
      {"ace", Bytes({0x12, 0x34, 0x1F, 0x00, 0x00, 0x00, 0x90}) + "**ACE**" + Pad, atAce},
      // An ACE mark behind a signature of another kind wins.
      {"ace_bh", Bytes({'B', 'H', 5, 7, 0, 0, 0}) + "**ACE**" + Pad, atAce},
      {"text", "just some text, nothing else here" + Pad, 0},
  };
  for (const auto& R : Rows) EXPECT_EQ(Detect(std::string(R.Name) + ".bin", R.Head), R.Code) << R.Name;
}

TEST_F(ArlDetect, ClassificationInsideAnExecutable) {
  // The same four bytes give the self-extractor codes, or "unsupported" for kinds that have none.
  struct Row {
    std::string Four;
    int Plain;
    int Sfx;
  };
  const Row Rows[] = {
      {"Rar!", atRar, atRarSfx},
      {Bytes({'B', 'H', 5, 7}), atBh, atBhSfx},
      {"MSCF", atCab, atUnsupported},
      {std::string("\x20\x00-l", 4), atLha, atLhaSfx},
      {Bytes({0x1A, 0x1E, 0, 0}), atArc, atUnsupported},
      {Bytes({0x1A, 0x01, 0, 0}), atArc, atUnsupported},
      {Bytes({0x1A, 0x03, 0, 0}), atArc, atUnsupported},
      {Bytes({0x1A, 0x07, 0, 0}), atArc, atUnsupported},
      {Bytes({0x1A, 0x08, 0, 0}), atArc, atArcSfx},
      {Bytes({0x1A, 0x0B, 0, 0}), atPak, atPakSfx},
      {Bytes({0x25, 0x21, 0, 0}), atGZip, atUnsupported},
      {"HA\x01\x00", atHa, atUnsupported},
      {Bytes({'P', 'K', 3, 4}), atZip, atZipSfx},
      {Bytes({'P', 'M', 3, 4}), atZip, atZipSfx},
      {"ZOO ", atZoo, atUnsupported},
      {Bytes({0x60, 0xEA, 0, 0}), atArj, atArjSfx},
      {"abcd", 0, 0},
  };
  TMemoryStream32 None;
  for (const auto& R : Rows) {
    const auto* V = reinterpret_cast<const uint8_t*>(R.Four.data());
    EXPECT_EQ(Lib_.ClassifySignature(true, V, None), R.Plain) << R.Four;
    EXPECT_EQ(Lib_.ClassifySignature(false, V, None), R.Sfx) << R.Four;
  }
  Lib_.StartOffset = 1;
  const std::string ArcSfx = Bytes({0xB7, 0xDF, 0x54, 0x57});
  EXPECT_EQ(Lib_.ClassifySignature(false, reinterpret_cast<const uint8_t*>(ArcSfx.data()), None), atArcSfx);
  EXPECT_EQ(Lib_.StartOffset, 7717);
}

TEST_F(ArlDetect, UueAndTarTests) {
  const std::string Uue =
      "From: someone\nSubject: a file\n\nThe file follows.\nbegin 644 data.bin\nM86)C9&5F\n`\nend\n";
  EXPECT_EQ(Detect("mail.txt", Uue), atUue);
  EXPECT_EQ(Lib_.StartOffset, 1);
  EXPECT_EQ(Detect("first.uue", "begin 755 prog\nM86)C9&5F\n`\nend\n" + std::string(20, ' ')), atUue);
  // "begin 6" inside a line is no begin line; nor one beyond the first 5000 bytes.
  EXPECT_EQ(Detect("inline.txt", "we begin 644 here, not at a line start\n" + std::string(40, 'x')), 0);
  EXPECT_EQ(Detect("late.txt", std::string(5000, 'x') + "\nbegin 644 late\n" + std::string(40, 'x')), 0);

  // A TAR header whose checksum is wrong is not a TAR.
  std::string Tar = ReadFixture("x.tar");
  EXPECT_EQ(Detect("good.tar", Tar), atTar);
  Tar[0] ^= 0x20;
  EXPECT_EQ(Detect("bad.tar", Tar), 0);
  EXPECT_EQ(Lib_.StartOffset, 1);
  // A volume label with nothing behind it.
  const std::string Vol = ReadFixture("vol.tar");
  EXPECT_EQ(Detect("label_only.tar", Vol.substr(0, 600)), 0);
  EXPECT_EQ(Lib_.StartOffset, 1);
}

// --- Executables -------------------------------------------------------------------------------------------

// An executable's head: "MZ" and zero page counts (no DOS image, so no overlay).
std::string ExeHead(size_t Size) {
  std::string S(Size, '\0');
  S[0] = 'M';
  S[1] = 'Z';
  return S;
}

TEST_F(ArlDetect, RarFoundByTheScanBehindAnExecutable) {
  const std::string Exe = ExeHead(20000) + kRar + std::string(100, 'd');
  EXPECT_EQ(Detect("sfx.exe", Exe), atRarSfx);
  EXPECT_EQ(Lib_.StartOffset, 20001);
  // Behind the six blocks that the scan reads, nothing is found.
  EXPECT_EQ(Detect("far.exe", ExeHead(17000 + 6 * 32768 + 10) + kRar), 0);
  // An LHA header ("-lh5-" two bytes into it) and an ACE header ("**ACE**" seven bytes into it).
  EXPECT_EQ(Detect("lha.exe", ExeHead(18000) + std::string("\x20\x00-lh5-", 7) + std::string(40, 'l')),
            atLhaSfx);
  EXPECT_EQ(Lib_.StartOffset, 18001);
  EXPECT_EQ(
      Detect("ace.exe", ExeHead(18000) + Bytes({1, 2, 3, 4, 5, 6, 7}) + "**ACE**" + std::string(40, 'a')),
      atAceSfx);
  EXPECT_EQ(Lib_.StartOffset, 18001);
  // The signature constants inside a self-extractor's own code do not count.
  EXPECT_EQ(Detect("bhcode.exe",
                   ExeHead(18000) + Bytes({'B', 'H', 5, 7, 0x0F, 0x94, 0xC3, 0x84}) + std::string(40, 'c')),
            0);
}

TEST_F(ArlDetect, KnownStubOffsets) {
  std::string Arc = ExeHead(7716) + Bytes({0x1A, 0x09}) + std::string(100, 'a');
  EXPECT_EQ(Detect("arcsfx.exe", Arc), atArcSfx);
  EXPECT_EQ(Lib_.StartOffset, 7717);
  std::string Zip = ExeHead(7611) + ReadFixture("x.zip");
  EXPECT_EQ(Detect("zipstub.exe", Zip), atZipSfx);
  EXPECT_EQ(Lib_.StartOffset, 7612);
}

// A minimal Windows executable whose string resource 1 is Text; the resource section lies at file
// offset 0x200, mapped at 0x1000.
std::string PeWithStringResource(const std::u16string& Text, size_t Size) {
  std::string Pe = ExeHead(Size);
  PutLE32(Pe, 0x3C, 0x80);
  Put(Pe, 0x80, std::string("PE\0\0", 4));
  PutLE16(Pe, 0x84, 0x14C);             // machine
  PutLE16(Pe, 0x86, 1);                 // one section
  PutLE16(Pe, 0x94, 0xE0);              // size of the optional header
  PutLE16(Pe, 0x98, 0x10B);             // PE32
  PutLE32(Pe, 0x98 + 96 + 16, 0x1000);  // resource table RVA
  PutLE32(Pe, 0x98 + 96 + 20, 0x100);
  const size_t Sec = 0x98 + 0xE0;
  PutLE32(Pe, Sec + 8, 0x200);
  PutLE32(Pe, Sec + 12, 0x1000);
  PutLE32(Pe, Sec + 16, 0x200);
  PutLE32(Pe, Sec + 20, 0x200);
  const size_t R = 0x200;
  PutLE16(Pe, R + 14, 1);  // root: one id entry, type 6 (strings)
  PutLE32(Pe, R + 16, 6);
  PutLE32(Pe, R + 20, 0x80000018);
  PutLE16(Pe, R + 0x18 + 14, 1);  // block 1: strings 0 to 15
  PutLE32(Pe, R + 0x18 + 16, 1);
  PutLE32(Pe, R + 0x18 + 20, 0x80000030);
  PutLE16(Pe, R + 0x30 + 14, 1);  // one language
  PutLE32(Pe, R + 0x30 + 16, 0x409);
  PutLE32(Pe, R + 0x30 + 20, 0x48);
  PutLE32(Pe, R + 0x48, 0x1058);  // the data entry: the string block
  PutLE32(Pe, R + 0x4C, 64);
  size_t At = R + 0x58 + 2;  // string 0 is empty; string 1 follows
  PutLE16(Pe, At, static_cast<uint32_t>(Text.size()));
  At += 2;
  for (char16_t C : Text) {
    PutLE16(Pe, At, C);
    At += 2;
  }
  return Pe;
}

TEST_F(ArlDetect, ArchiveNamedByAStringResource) {
  std::string Exe = PeWithStringResource(u"2048", 2048) + kRar;
  EXPECT_EQ(Detect("res.exe", Exe), atRarSfx);
  EXPECT_EQ(Lib_.StartOffset, 2049);
  EXPECT_EQ(Lib_.ZipFlags, zfLocalHeader);
  // A resource that is not a number, or names a place beyond the file, is passed over.
  EXPECT_EQ(Detect("resx.exe", PeWithStringResource(u"20x8", 2048) + kRar), 0);
  EXPECT_EQ(Detect("resfar.exe", PeWithStringResource(u"99999", 2048) + kRar), 0);
}

TEST_F(ArlDetect, DamagedExecutableHeadersAreSurvived) {
  std::string Exe = PeWithStringResource(u"2048", 2048) + kRar;
  // Offsets pointing far outside the file, and a resource directory with an absurd entry count.
  std::string Far = Exe;
  PutLE32(Far, 0x3C, 0x7FFFFFF0);
  EXPECT_EQ(Detect("far.exe", Far), 0);
  std::string Many = Exe;
  PutLE16(Many, 0x200 + 14, 0xFFFF);
  EXPECT_EQ(Detect("many.exe", Many), 0);
  std::string Sections = Exe;
  PutLE16(Sections, 0x86, 0xFFFF);
  EXPECT_EQ(Detect("sections.exe", Sections), 0);
  std::string Loop = Exe;
  PutLE32(Loop, 0x200 + 0x18 + 20, 0x80000000);  // block directory pointing back at the root
  EXPECT_EQ(Detect("loop.exe", Loop), 0);
  // A DOS header that puts the overlay beyond the end of the file.
  std::string Dos = ExeHead(3000);
  PutLE16(Dos, 4, 0xFFFF);
  PutLE16(Dos, 2, 0x1FF);
  EXPECT_EQ(Detect("dos.exe", Dos), 0);
}

TEST_F(ArlDetect, OverlayBehindTheDosImage) {
  // A DOS image of 3 pages with 100 bytes in the last: the overlay starts at 2 x 512 + 100.
  std::string Exe = ExeHead(1124);
  PutLE16(Exe, 2, 100);
  PutLE16(Exe, 4, 3);
  Exe += Bytes({0x60, 0xEA, 0x29, 0x00}) + std::string(60, 'j');
  EXPECT_EQ(Detect("arjsfx.exe", Exe), atArjSfx);
  EXPECT_EQ(Lib_.StartOffset, 1125);
}

// --- Volume position ---------------------------------------------------------------------------------------

TEST_F(ArlDetect, VolumePositionFromTheExtension) {
  const std::string Arj = ReadFixture("x.arj");
  struct Row {
    const char* Name;
    const std::string& Content;
    char Letter;
    int32_t Number;
    int32_t First;
  };
  const Row Rows[] = {
      {"set.arj", Arj, 'a', 1, 1},   {"set.a05", Arj, 'a', 5, 6},    {"SET.A07", Arj, 'A', 7, 8},
      {"set.012", Arj, '0', 12, 13}, {"plain.rar", kRar, 'q', 1, 0}, {"plain.r12", kRar, 'r', 12, 13},
      {"noext", kRar, 'q', 1, 0},
  };
  for (const auto& R : Rows) {
    Detect(R.Name, R.Content);
    EXPECT_EQ(Lib_.VolumeLetter, R.Letter) << R.Name;
    EXPECT_EQ(Lib_.VolumeNumber, R.Number) << R.Name;
    EXPECT_EQ(Lib_.FirstVolumeNumber, R.First) << R.Name;
  }
}

TEST(ArlTypeNames, TableOfDisplayNames) {
  EXPECT_STREQ(ArlTypeName(atZip), "ZIP       ");
  EXPECT_STREQ(ArlTypeName(atNotAvail), "Not avail. ");
  EXPECT_STREQ(ArlTypeName(atZipMVol), "Zip MVol  ");
  EXPECT_STREQ(ArlTypeName(atJarSfx), "JJAR SFX  ");
  EXPECT_EQ(std::string(ArlTypeName(atMsGz)).substr(0, 4), "MsGZ");
  EXPECT_EQ(std::string(ArlTypeName(atMsGz)).back(), '\t');
  for (int Code = 1; Code <= kLastArlType; ++Code) EXPECT_EQ(std::strlen(ArlTypeName(Code)), 10u) << Code;
  EXPECT_STREQ(ArlTypeName(32), "");
  EXPECT_FALSE(IsUsableArlType(atUnknown));
  EXPECT_TRUE(IsUsableArlType(atAce));
}

}  // namespace
