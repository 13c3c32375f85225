#include "platform/cfb/CompoundFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/cfb/CfbWriter.h"

namespace {

std::string Pattern(std::size_t Size, unsigned Seed) {
  std::string S(Size, '\0');
  for (std::size_t I = 0; I < Size; ++I) S[I] = static_cast<char>((I * 131 + Seed * 7 + (I >> 9)) & 0xFF);
  return S;
}

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/cfb/fixtures/" + Name;
}

HRESULT Open(const std::string& Bytes, std::unique_ptr<TCfbStorage>& Storage, std::string* Detail = nullptr) {
  return CfbOpenStorage(MakeCfbMemorySource(Bytes), STGM_READ | STGM_SHARE_DENY_WRITE, Storage, Detail);
}

// Reads the whole stream in pieces of Chunk bytes.
std::string ReadAll(TCfbStream& Stream, uint32_t Chunk) {
  std::string Out;
  std::string Buffer(Chunk, '\0');
  for (;;) {
    uint32_t Got = 0;
    EXPECT_EQ(Stream.Read(Buffer.data(), Chunk, &Got), S_OK);
    Out.append(Buffer, 0, Got);
    if (Got < Chunk) return Out;
  }
}

// Sizes around the mini-stream cutoff (4096) and the sector and mini-sector sizes, and one stream long
// enough to need a second FAT sector in a version 3 file.
const std::vector<TCfbWriterStream> kStreams = {
    {u"Empty", ""},
    {u"One", Pattern(1, 1)},
    {u"Mini63", Pattern(63, 2)},
    {u"Mini64", Pattern(64, 3)},
    {u"Mini65", Pattern(65, 4)},
    {u"Below", Pattern(4095, 5)},
    {u"Cutoff", Pattern(4096, 6)},
    {u"Odd", Pattern(10001, 7)},
    {u"Long", Pattern(70000, 8)},
};

TEST(CompoundFile, ReadsEveryStreamWholeAndInPieces) {
  for (unsigned Shift : {9u, 12u}) {
    SCOPED_TRACE(Shift);
    TCfbImage Image = BuildCompoundFile(kStreams, Shift);
    std::unique_ptr<TCfbStorage> Storage;
    std::string Detail;
    ASSERT_EQ(Open(Image.Bytes, Storage, &Detail), S_OK) << Detail;
    EXPECT_EQ(Storage->SectorSize(), 1u << Shift);
    std::vector<std::u16string> Names;
    for (const auto& S : kStreams) Names.push_back(S.Name);
    EXPECT_EQ(Storage->StreamNames(), Names);
    for (const auto& S : kStreams) {
      for (uint32_t Chunk : {1u, 7u, 4096u, 100000u}) {
        std::unique_ptr<TCfbStream> Stream;
        ASSERT_EQ(Storage->OpenStream(S.Name, STGM_READ | STGM_SHARE_EXCLUSIVE, Stream), S_OK)
            << Storage->LastDetail();
        EXPECT_EQ(Stream->Size(), S.Data.size());
        EXPECT_EQ(ReadAll(*Stream, Chunk), S.Data) << "chunk " << Chunk;
      }
    }
  }
}

// Version 4 files keep 64-bit sizes; a size no file could hold is damage, not a stream to read from.
TEST(CompoundFile, RefusesA64BitSizeBeyondTheFile) {
  TCfbImage Image = BuildCompoundFile({{u"Big", Pattern(5000, 1)}}, 12);
  Image.Put32(Image.DirEntryOffset(1) + 120, 0xFFFFFFFFu);
  Image.Put32(Image.DirEntryOffset(1) + 124, 0xFFFFFFFFu);
  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(Open(Image.Bytes, Storage), S_OK);
  std::unique_ptr<TCfbStream> Stream;
  EXPECT_EQ(Storage->OpenStream(u"Big", STGM_READ, Stream), STG_E_DOCFILECORRUPT);
  EXPECT_NE(Storage->LastDetail().find("beyond the file"), std::string::npos) << Storage->LastDetail();
}

TEST(CompoundFile, FindsNamesIgnoringCaseAndRefusesWhatItCannotOpen) {
  TCfbImage Image = BuildCompoundFile({{u"Workbook", "abc"}, {u"\u00c4rger", "x"}});
  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(Open(Image.Bytes, Storage), S_OK);
  std::unique_ptr<TCfbStream> Stream;
  EXPECT_EQ(Storage->OpenStream(u"workbook", STGM_READ, Stream), S_OK);
  EXPECT_EQ(Storage->OpenStream(u"WORKBOOK", STGM_READ, Stream), S_OK);
  EXPECT_EQ(Storage->OpenStream(u"\u00e4RGER", STGM_READ, Stream), S_OK);
  EXPECT_EQ(Storage->OpenStream(u"book", STGM_READ, Stream), STG_E_FILENOTFOUND);
  EXPECT_EQ(Stream, nullptr);
  EXPECT_EQ(Storage->OpenStream(u"", STGM_READ, Stream), STG_E_INVALIDNAME);
  EXPECT_EQ(Storage->OpenStream(std::u16string(32, u'a'), STGM_READ, Stream), STG_E_INVALIDNAME);
  EXPECT_EQ(Storage->OpenStream(u"Workbook", STGM_READWRITE, Stream), STG_E_INVALIDFLAG);
  EXPECT_EQ(Open(Image.Bytes.substr(0, 0), Storage), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(CfbOpenStorage(MakeCfbMemorySource(Image.Bytes), STGM_WRITE, Storage), STG_E_INVALIDFLAG);
}

TEST(CompoundFile, SeeksAndReadsAtTheEnd) {
  const std::string Data = Pattern(5000, 9);
  TCfbImage Image = BuildCompoundFile({{u"S", Data}});
  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(Open(Image.Bytes, Storage), S_OK);
  std::unique_ptr<TCfbStream> Stream;
  ASSERT_EQ(Storage->OpenStream(u"S", STGM_READ, Stream), S_OK);
  uint64_t Pos = 0;
  char Buffer[16];
  uint32_t Got = 0;
  EXPECT_EQ(Stream->Seek(-3, STREAM_SEEK_END, &Pos), S_OK);
  EXPECT_EQ(Pos, 4997u);
  EXPECT_EQ(Stream->Read(Buffer, 16, &Got), S_OK);
  EXPECT_EQ(std::string(Buffer, Got), Data.substr(4997));
  EXPECT_EQ(Stream->Seek(100, STREAM_SEEK_CUR, &Pos), S_OK);  // beyond the end is allowed
  EXPECT_EQ(Stream->Read(Buffer, 16, &Got), S_OK);
  EXPECT_EQ(Got, 0u);
  EXPECT_EQ(Stream->Seek(-1, STREAM_SEEK_SET, &Pos), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(Stream->Position(), 5100u);
  EXPECT_EQ(Stream->Seek(511, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(Stream->Read(Buffer, 2, &Got), S_OK);
  EXPECT_EQ(std::string(Buffer, Got), Data.substr(511, 2));  // across a sector boundary
}

// A header with more than 109 FAT sectors names the rest in DIFAT sectors. Built from a good file: the
// one FAT sector is listed 110 times (the copies only add entries past the file's sectors, and the streams
// make the file long enough for that many FAT sectors) and the 110th entry sits in a DIFAT sector
// appended to the file.
TCfbImage WithDifatSector(const std::vector<TCfbWriterStream>& Streams) {
  TCfbImage Image = BuildCompoundFile(Streams);
  const uint32_t Fat = Image.FatSectors[0];
  const uint32_t Difat = static_cast<uint32_t>(Image.Bytes.size() / 512 - 1);
  Image.Bytes.append(512, '\xFF');
  for (uint32_t K = 0; K < 109; ++K) Image.Put32(76 + 4 * K, Fat);
  Image.Put32(Image.SectorOffset(Difat), Fat);
  Image.Put32(Image.SectorOffset(Difat) + 508, 0xFFFFFFFEu);
  Image.Put32(44, 110);    // FAT sectors
  Image.Put32(68, Difat);  // first DIFAT sector
  Image.Put32(72, 1);      // DIFAT sectors
  return Image;
}

TEST(CompoundFile, ReadsTheFatThroughDifatSectors) {
  const std::string Data = Pattern(60000, 3);
  TCfbImage Image = WithDifatSector({{u"Big", Data}, {u"Small", "tiny"}});
  std::unique_ptr<TCfbStorage> Storage;
  std::string Detail;
  ASSERT_EQ(Open(Image.Bytes, Storage, &Detail), S_OK) << Detail;
  std::unique_ptr<TCfbStream> Stream;
  ASSERT_EQ(Storage->OpenStream(u"Big", STGM_READ, Stream), S_OK);
  EXPECT_EQ(ReadAll(*Stream, 4096), Data);
}

// Each case damages one structure of a good file; opening the storage or the stream must fail with the
// code given and a detail naming the check, never loop or read outside the file.
TEST(CompoundFile, RefusesDamagedStructures) {
  const std::vector<TCfbWriterStream> Streams = {
      {u"Big", Pattern(9000, 1)}, {u"Small", Pattern(300, 2)}, {u"Other", Pattern(5000, 3)}};
  struct TCase {
    const char* Name;
    std::function<void(TCfbImage&)> Damage;
    HRESULT StorageCode;  // from opening the storage
    const char* Stream;   // then the stream opened, when the storage opens
    HRESULT StreamCode;
    const char* Detail;  // part of LastDetail / the open's detail
  };
  const TCase Cases[] = {
      {"truncated header", [](TCfbImage& I) { I.Bytes.resize(300); }, STG_E_INVALIDHEADER, nullptr, S_OK,
       "header cut off"},
      {"not a compound file", [](TCfbImage& I) { I.Bytes[0] = 'P'; }, STG_E_FILEALREADYEXISTS, nullptr, S_OK,
       "signature"},
      {"bad byte order", [](TCfbImage& I) { I.Bytes[28] = 0; }, STG_E_INVALIDHEADER, nullptr, S_OK,
       "byte order"},
      {"bad sector shift", [](TCfbImage& I) { I.Bytes[30] = 10; }, STG_E_INVALIDHEADER, nullptr, S_OK,
       "shift"},
      {"FAT count beyond the file", [](TCfbImage& I) { I.Put32(44, 0x40000000); }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "FAT sector count"},
      {"FAT sector outside the file", [](TCfbImage& I) { I.Put32(76, 0x00FFFFFF); }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "outside the file"},
      {"FAT loop in a stream",
       [](TCfbImage& I) { I.Put32(I.FatEntryOffset(I.StreamStart[0] + 3), I.StreamStart[0]); }, S_OK, "Big",
       STG_E_DOCFILECORRUPT, "loops back"},
      {"chain past the end of the file",
       [](TCfbImage& I) { I.Put32(I.FatEntryOffset(I.StreamStart[2] + 1), 0x00100000); }, S_OK, "Other",
       STG_E_DOCFILECORRUPT, "outside the file"},
      {"chain shorter than the size",
       [](TCfbImage& I) { I.Put32(I.FatEntryOffset(I.StreamStart[2]), 0xFFFFFFFEu); }, S_OK, "Other",
       STG_E_DOCFILECORRUPT, "chain ends after 1 of 10"},
      {"size beyond the chain", [](TCfbImage& I) { I.Put32(I.DirEntryOffset(1) + 120, 9800); }, S_OK, "Big",
       STG_E_DOCFILECORRUPT, "chain ends after 18 of 20"},
      {"size beyond the file", [](TCfbImage& I) { I.Put32(I.DirEntryOffset(1) + 120, 0x7FFFFFFF); }, S_OK,
       "Big", STG_E_DOCFILECORRUPT, "beyond the file"},
      {"mini chain loop",
       [](TCfbImage& I) {
         I.Put32(I.SectorOffset(I.MiniFatStart) + 4 * (I.StreamStart[1] + 1), I.StreamStart[1]);
       },
       S_OK, "Small", STG_E_DOCFILECORRUPT, "loops back"},
      {"directory cycle", [](TCfbImage& I) { I.Put32(I.DirEntryOffset(3) + 72, 1); }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "loops back to entry 1"},
      {"directory entry outside", [](TCfbImage& I) { I.Put32(I.DirEntryOffset(2) + 68, 4000); },
       STG_E_DOCFILECORRUPT, nullptr, S_OK, "outside the directory"},
      {"directory chain loop", [](TCfbImage& I) { I.Put32(I.FatEntryOffset(I.DirStart), I.DirStart); },
       STG_E_DOCFILECORRUPT, nullptr, S_OK, "directory: chain loops"},
      {"root is not first", [](TCfbImage& I) { I.Bytes[I.DirEntryOffset(0) + 66] = 2; }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "not the root"},
      {"tail cut inside a stream", [](TCfbImage& I) { I.Bytes.resize(I.SectorOffset(I.StreamStart[2] + 2)); },
       S_OK, "Other", STG_E_DOCFILECORRUPT, "outside the file"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TCfbImage Image = BuildCompoundFile(Streams);
    C.Damage(Image);
    std::unique_ptr<TCfbStorage> Storage;
    std::string Detail;
    const HRESULT Opened = Open(Image.Bytes, Storage, &Detail);
    ASSERT_EQ(Opened, C.StorageCode) << Detail;
    if (Opened != S_OK) {
      EXPECT_EQ(Storage, nullptr);
      EXPECT_NE(Detail.find(C.Detail), std::string::npos) << Detail;
      continue;
    }
    std::unique_ptr<TCfbStream> Stream;
    EXPECT_EQ(Storage->OpenStream(std::u16string(C.Stream, C.Stream + strlen(C.Stream)), STGM_READ, Stream),
              C.StreamCode);
    EXPECT_NE(Storage->LastDetail().find(C.Detail), std::string::npos) << Storage->LastDetail();
    // The undamaged streams still read.
    if (std::string(C.Stream) != "Small") {
      EXPECT_EQ(Storage->OpenStream(u"Small", STGM_READ, Stream), S_OK);
    }
  }
}

TEST(CompoundFile, RefusesADifatLoop) {
  TCfbImage Image = WithDifatSector({{u"Big", Pattern(130000, 3)}});
  const uint32_t Difat = static_cast<uint32_t>(Image.Bytes.size() / 512 - 2);
  Image.Put32(Image.SectorOffset(Difat) + 508, Difat);  // links back to itself
  Image.Put32(44, 110 + 127 + 1);                       // asks for more FAT sectors than one DIFAT holds
  Image.Put32(72, 3);
  std::unique_ptr<TCfbStorage> Storage;
  std::string Detail;
  EXPECT_EQ(Open(Image.Bytes, Storage, &Detail), STG_E_DOCFILECORRUPT);
  EXPECT_NE(Detail.find("DIFAT chain loops back"), std::string::npos) << Detail;
}

TEST(CompoundFile, ReportsASectorCutShortWhileReading) {
  const std::string Data = Pattern(9000, 4);
  TCfbImage Image = BuildCompoundFile({{u"Big", Data}});
  // The stream's last sector starts inside the file but ends outside it.
  Image.Bytes.resize(Image.SectorOffset(Image.StreamStart[0] + 17) + 100);
  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(Open(Image.Bytes, Storage), S_OK);
  std::unique_ptr<TCfbStream> Stream;
  ASSERT_EQ(Storage->OpenStream(u"Big", STGM_READ, Stream), S_OK);
  std::string Buffer(9000, '\0');
  uint32_t Got = 0;
  EXPECT_EQ(Stream->Read(Buffer.data(), 9000, &Got), STG_E_READFAULT);
  EXPECT_EQ(Got, 17u * 512);
  EXPECT_EQ(Buffer.substr(0, Got), Data.substr(0, Got));
}

TEST(CompoundFile, OpensFilesAndMapsSystemFailures) {
  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(StgOpenStorage(FixturePath("Simple.xls"), STGM_READ | STGM_SHARE_DENY_WRITE, Storage), S_OK);
  std::unique_ptr<TCfbStream> Stream;
  ASSERT_EQ(Storage->OpenStream(u"workbook", STGM_READ | STGM_SHARE_EXCLUSIVE, Stream), S_OK);
  // The workbook stream is a sequence of records (id, length, body) from a BOF to the last sheet's EOF,
  // padded with zeros to the stream's size.
  const std::string Bytes = ReadAll(*Stream, 4096);
  ASSERT_EQ(Bytes.size(), Stream->Size());
  std::size_t At = 0, Records = 0, Eofs = 0, End = 0;
  while (At + 4 <= Bytes.size()) {
    const int Id = static_cast<uint8_t>(Bytes[At]) | static_cast<uint8_t>(Bytes[At + 1]) << 8;
    At += 4 + (static_cast<uint8_t>(Bytes[At + 2]) | static_cast<uint8_t>(Bytes[At + 3]) << 8);
    ++Records;
    if (Id == 0x000A) {
      ++Eofs;
      End = At;
    }
  }
  EXPECT_EQ(static_cast<uint8_t>(Bytes[0]), 0x09);  // BOF
  EXPECT_EQ(Eofs, 4u);                              // the globals and three sheets
  EXPECT_EQ(Bytes.find_first_not_of('\0', End), std::string::npos);
  EXPECT_GT(Records, 20u);

  EXPECT_EQ(StgOpenStorage(FixturePath("missing.xls"), STGM_READ, Storage), STG_E_FILENOTFOUND);
  EXPECT_EQ(StgOpenStorage(FixturePath("no-folder/x.xls"), STGM_READ, Storage), STG_E_PATHNOTFOUND);
  EXPECT_EQ(StgOpenStorage(std::string(SCRYLINE_TEST_DATA), STGM_READ, Storage), STG_E_ACCESSDENIED);
  EXPECT_EQ(StgOpenStorage(FixturePath("README.md"), STGM_READ, Storage), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(CfbErrorText(STG_E_FILEALREADYEXISTS), "The file is not a storage object");
  EXPECT_EQ(CfbErrorText(STG_E_DOCFILECORRUPT), "");
}

}  // namespace
