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
  std::string s(Size, '\0');
  for (std::size_t i = 0; i < Size; ++i) s[i] = static_cast<char>((i * 131 + Seed * 7 + (i >> 9)) & 0xFF);
  return s;
}

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/cfb/fixtures/" + Name;
}

HRESULT Open(const std::string& Bytes, std::unique_ptr<TCfbStorage>& Storage, std::string* Detail = nullptr) {
  return CfbOpenStorage(MakeCfbMemorySource(Bytes), STGM_READ | STGM_SHARE_DENY_WRITE, Storage, Detail);
}

// Reads the whole stream in pieces of Chunk bytes.
std::string ReadAll(TCfbStream& Stream, uint32_t Chunk) {
  std::string out;
  std::string buffer(Chunk, '\0');
  for (;;) {
    uint32_t got = 0;
    EXPECT_EQ(Stream.Read(buffer.data(), Chunk, &got), S_OK);
    out.append(buffer, 0, got);
    if (got < Chunk) return out;
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
  for (unsigned shift : {9u, 12u}) {
    SCOPED_TRACE(shift);
    TCfbImage image = BuildCompoundFile(kStreams, shift);
    std::unique_ptr<TCfbStorage> storage;
    std::string detail;
    ASSERT_EQ(Open(image.Bytes, storage, &detail), S_OK) << detail;
    EXPECT_EQ(storage->SectorSize(), 1u << shift);
    std::vector<std::u16string> names;
    for (const auto& s : kStreams) names.push_back(s.Name);
    EXPECT_EQ(storage->StreamNames(), names);
    for (const auto& s : kStreams) {
      for (uint32_t chunk : {1u, 7u, 4096u, 100000u}) {
        std::unique_ptr<TCfbStream> stream;
        ASSERT_EQ(storage->OpenStream(s.Name, STGM_READ | STGM_SHARE_EXCLUSIVE, stream), S_OK)
            << storage->LastDetail();
        EXPECT_EQ(stream->Size(), s.Data.size());
        EXPECT_EQ(ReadAll(*stream, chunk), s.Data) << "chunk " << chunk;
      }
    }
  }
}

// Version 4 files keep 64-bit sizes; a size no file could hold is damage, not a stream to read from.
TEST(CompoundFile, RefusesA64BitSizeBeyondTheFile) {
  TCfbImage image = BuildCompoundFile({{u"Big", Pattern(5000, 1)}}, 12);
  image.Put32(image.DirEntryOffset(1) + 120, 0xFFFFFFFFu);
  image.Put32(image.DirEntryOffset(1) + 124, 0xFFFFFFFFu);
  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(Open(image.Bytes, storage), S_OK);
  std::unique_ptr<TCfbStream> stream;
  EXPECT_EQ(storage->OpenStream(u"Big", STGM_READ, stream), STG_E_DOCFILECORRUPT);
  EXPECT_NE(storage->LastDetail().find("beyond the file"), std::string::npos) << storage->LastDetail();
}

TEST(CompoundFile, FindsNamesIgnoringCaseAndRefusesWhatItCannotOpen) {
  TCfbImage image = BuildCompoundFile({{u"Workbook", "abc"}, {u"\u00c4rger", "x"}});
  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(Open(image.Bytes, storage), S_OK);
  std::unique_ptr<TCfbStream> stream;
  EXPECT_EQ(storage->OpenStream(u"workbook", STGM_READ, stream), S_OK);
  EXPECT_EQ(storage->OpenStream(u"WORKBOOK", STGM_READ, stream), S_OK);
  EXPECT_EQ(storage->OpenStream(u"\u00e4RGER", STGM_READ, stream), S_OK);
  EXPECT_EQ(storage->OpenStream(u"book", STGM_READ, stream), STG_E_FILENOTFOUND);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(storage->OpenStream(u"", STGM_READ, stream), STG_E_INVALIDNAME);
  EXPECT_EQ(storage->OpenStream(std::u16string(32, u'a'), STGM_READ, stream), STG_E_INVALIDNAME);
  EXPECT_EQ(storage->OpenStream(u"Workbook", STGM_READWRITE, stream), STG_E_INVALIDFLAG);
  EXPECT_EQ(Open(image.Bytes.substr(0, 0), storage), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(CfbOpenStorage(MakeCfbMemorySource(image.Bytes), STGM_WRITE, storage), STG_E_INVALIDFLAG);
}

TEST(CompoundFile, SeeksAndReadsAtTheEnd) {
  const std::string data = Pattern(5000, 9);
  TCfbImage image = BuildCompoundFile({{u"S", data}});
  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(Open(image.Bytes, storage), S_OK);
  std::unique_ptr<TCfbStream> stream;
  ASSERT_EQ(storage->OpenStream(u"S", STGM_READ, stream), S_OK);
  uint64_t pos = 0;
  char buffer[16];
  uint32_t got = 0;
  EXPECT_EQ(stream->Seek(-3, STREAM_SEEK_END, &pos), S_OK);
  EXPECT_EQ(pos, 4997u);
  EXPECT_EQ(stream->Read(buffer, 16, &got), S_OK);
  EXPECT_EQ(std::string(buffer, got), data.substr(4997));
  EXPECT_EQ(stream->Seek(100, STREAM_SEEK_CUR, &pos), S_OK);  // beyond the end is allowed
  EXPECT_EQ(stream->Read(buffer, 16, &got), S_OK);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, &pos), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Position(), 5100u);
  EXPECT_EQ(stream->Seek(511, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(stream->Read(buffer, 2, &got), S_OK);
  EXPECT_EQ(std::string(buffer, got), data.substr(511, 2));  // across a sector boundary
}

// A header with more than 109 FAT sectors names the rest in DIFAT sectors. Built from a good file: the
// one FAT sector is listed 110 times (the copies only add entries past the file's sectors, and the streams
// make the file long enough for that many FAT sectors) and the 110th entry sits in a DIFAT sector
// appended to the file.
TCfbImage WithDifatSector(const std::vector<TCfbWriterStream>& Streams) {
  TCfbImage image = BuildCompoundFile(Streams);
  const uint32_t fat = image.FatSectors[0];
  const uint32_t difat = static_cast<uint32_t>(image.Bytes.size() / 512 - 1);
  image.Bytes.append(512, '\xFF');
  for (uint32_t k = 0; k < 109; ++k) image.Put32(76 + 4 * k, fat);
  image.Put32(image.SectorOffset(difat), fat);
  image.Put32(image.SectorOffset(difat) + 508, 0xFFFFFFFEu);
  image.Put32(44, 110);    // FAT sectors
  image.Put32(68, difat);  // first DIFAT sector
  image.Put32(72, 1);      // DIFAT sectors
  return image;
}

TEST(CompoundFile, ReadsTheFatThroughDifatSectors) {
  const std::string data = Pattern(60000, 3);
  TCfbImage image = WithDifatSector({{u"Big", data}, {u"Small", "tiny"}});
  std::unique_ptr<TCfbStorage> storage;
  std::string detail;
  ASSERT_EQ(Open(image.Bytes, storage, &detail), S_OK) << detail;
  std::unique_ptr<TCfbStream> stream;
  ASSERT_EQ(storage->OpenStream(u"Big", STGM_READ, stream), S_OK);
  EXPECT_EQ(ReadAll(*stream, 4096), data);
}

// Each case damages one structure of a good file; opening the storage or the stream must fail with the
// code given and a detail naming the check, never loop or read outside the file.
TEST(CompoundFile, RefusesDamagedStructures) {
  const std::vector<TCfbWriterStream> streams = {
      {u"Big", Pattern(9000, 1)}, {u"Small", Pattern(300, 2)}, {u"Other", Pattern(5000, 3)}};
  struct TCase {
    const char* name;
    std::function<void(TCfbImage&)> damage;
    HRESULT storage_code;  // from opening the storage
    const char* stream;    // then the stream opened, when the storage opens
    HRESULT stream_code;
    const char* detail;  // part of LastDetail / the open's detail
  };
  const TCase cases[] = {
      {"truncated header", [](TCfbImage& i) { i.Bytes.resize(300); }, STG_E_INVALIDHEADER, nullptr, S_OK,
       "header cut off"},
      {"not a compound file", [](TCfbImage& i) { i.Bytes[0] = 'P'; }, STG_E_FILEALREADYEXISTS, nullptr, S_OK,
       "signature"},
      {"bad byte order", [](TCfbImage& i) { i.Bytes[28] = 0; }, STG_E_INVALIDHEADER, nullptr, S_OK,
       "byte order"},
      {"bad sector shift", [](TCfbImage& i) { i.Bytes[30] = 10; }, STG_E_INVALIDHEADER, nullptr, S_OK,
       "shift"},
      {"FAT count beyond the file", [](TCfbImage& i) { i.Put32(44, 0x40000000); }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "FAT sector count"},
      {"FAT sector outside the file", [](TCfbImage& i) { i.Put32(76, 0x00FFFFFF); }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "outside the file"},
      {"FAT loop in a stream",
       [](TCfbImage& i) { i.Put32(i.FatEntryOffset(i.StreamStart[0] + 3), i.StreamStart[0]); }, S_OK, "Big",
       STG_E_DOCFILECORRUPT, "loops back"},
      {"chain past the end of the file",
       [](TCfbImage& i) { i.Put32(i.FatEntryOffset(i.StreamStart[2] + 1), 0x00100000); }, S_OK, "Other",
       STG_E_DOCFILECORRUPT, "outside the file"},
      {"chain shorter than the size",
       [](TCfbImage& i) { i.Put32(i.FatEntryOffset(i.StreamStart[2]), 0xFFFFFFFEu); }, S_OK, "Other",
       STG_E_DOCFILECORRUPT, "chain ends after 1 of 10"},
      {"size beyond the chain", [](TCfbImage& i) { i.Put32(i.DirEntryOffset(1) + 120, 9800); }, S_OK, "Big",
       STG_E_DOCFILECORRUPT, "chain ends after 18 of 20"},
      {"size beyond the file", [](TCfbImage& i) { i.Put32(i.DirEntryOffset(1) + 120, 0x7FFFFFFF); }, S_OK,
       "Big", STG_E_DOCFILECORRUPT, "beyond the file"},
      {"mini chain loop",
       [](TCfbImage& i) {
         i.Put32(i.SectorOffset(i.MiniFatStart) + 4 * (i.StreamStart[1] + 1), i.StreamStart[1]);
       },
       S_OK, "Small", STG_E_DOCFILECORRUPT, "loops back"},
      {"directory cycle", [](TCfbImage& i) { i.Put32(i.DirEntryOffset(3) + 72, 1); }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "loops back to entry 1"},
      {"directory entry outside", [](TCfbImage& i) { i.Put32(i.DirEntryOffset(2) + 68, 4000); },
       STG_E_DOCFILECORRUPT, nullptr, S_OK, "outside the directory"},
      {"directory chain loop", [](TCfbImage& i) { i.Put32(i.FatEntryOffset(i.DirStart), i.DirStart); },
       STG_E_DOCFILECORRUPT, nullptr, S_OK, "directory: chain loops"},
      {"root is not first", [](TCfbImage& i) { i.Bytes[i.DirEntryOffset(0) + 66] = 2; }, STG_E_DOCFILECORRUPT,
       nullptr, S_OK, "not the root"},
      {"tail cut inside a stream", [](TCfbImage& i) { i.Bytes.resize(i.SectorOffset(i.StreamStart[2] + 2)); },
       S_OK, "Other", STG_E_DOCFILECORRUPT, "outside the file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCfbImage image = BuildCompoundFile(streams);
    c.damage(image);
    std::unique_ptr<TCfbStorage> storage;
    std::string detail;
    const HRESULT opened = Open(image.Bytes, storage, &detail);
    ASSERT_EQ(opened, c.storage_code) << detail;
    if (opened != S_OK) {
      EXPECT_EQ(storage, nullptr);
      EXPECT_NE(detail.find(c.detail), std::string::npos) << detail;
      continue;
    }
    std::unique_ptr<TCfbStream> stream;
    EXPECT_EQ(storage->OpenStream(std::u16string(c.stream, c.stream + strlen(c.stream)), STGM_READ, stream),
              c.stream_code);
    EXPECT_NE(storage->LastDetail().find(c.detail), std::string::npos) << storage->LastDetail();
    // The undamaged streams still read.
    if (std::string(c.stream) != "Small") {
      EXPECT_EQ(storage->OpenStream(u"Small", STGM_READ, stream), S_OK);
    }
  }
}

TEST(CompoundFile, RefusesADifatLoop) {
  TCfbImage image = WithDifatSector({{u"Big", Pattern(130000, 3)}});
  const uint32_t difat = static_cast<uint32_t>(image.Bytes.size() / 512 - 2);
  image.Put32(image.SectorOffset(difat) + 508, difat);  // links back to itself
  image.Put32(44, 110 + 127 + 1);                       // asks for more FAT sectors than one DIFAT holds
  image.Put32(72, 3);
  std::unique_ptr<TCfbStorage> storage;
  std::string detail;
  EXPECT_EQ(Open(image.Bytes, storage, &detail), STG_E_DOCFILECORRUPT);
  EXPECT_NE(detail.find("DIFAT chain loops back"), std::string::npos) << detail;
}

TEST(CompoundFile, ReportsASectorCutShortWhileReading) {
  const std::string data = Pattern(9000, 4);
  TCfbImage image = BuildCompoundFile({{u"Big", data}});
  // The stream's last sector starts inside the file but ends outside it.
  image.Bytes.resize(image.SectorOffset(image.StreamStart[0] + 17) + 100);
  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(Open(image.Bytes, storage), S_OK);
  std::unique_ptr<TCfbStream> stream;
  ASSERT_EQ(storage->OpenStream(u"Big", STGM_READ, stream), S_OK);
  std::string buffer(9000, '\0');
  uint32_t got = 0;
  EXPECT_EQ(stream->Read(buffer.data(), 9000, &got), STG_E_READFAULT);
  EXPECT_EQ(got, 17u * 512);
  EXPECT_EQ(buffer.substr(0, got), data.substr(0, got));
}

TEST(CompoundFile, OpensFilesAndMapsSystemFailures) {
  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(StgOpenStorage(FixturePath("Simple.xls"), STGM_READ | STGM_SHARE_DENY_WRITE, storage), S_OK);
  std::unique_ptr<TCfbStream> stream;
  ASSERT_EQ(storage->OpenStream(u"workbook", STGM_READ | STGM_SHARE_EXCLUSIVE, stream), S_OK);
  // The workbook stream is a sequence of records (id, length, body) from a BOF to the last sheet's EOF,
  // padded with zeros to the stream's size.
  const std::string bytes = ReadAll(*stream, 4096);
  ASSERT_EQ(bytes.size(), stream->Size());
  std::size_t at = 0, records = 0, eofs = 0, end = 0;
  while (at + 4 <= bytes.size()) {
    const int id = static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8;
    at += 4 + (static_cast<uint8_t>(bytes[at + 2]) | static_cast<uint8_t>(bytes[at + 3]) << 8);
    ++records;
    if (id == 0x000A) {
      ++eofs;
      end = at;
    }
  }
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0x09);  // BOF
  EXPECT_EQ(eofs, 4u);                              // the globals and three sheets
  EXPECT_EQ(bytes.find_first_not_of('\0', end), std::string::npos);
  EXPECT_GT(records, 20u);

  EXPECT_EQ(StgOpenStorage(FixturePath("missing.xls"), STGM_READ, storage), STG_E_FILENOTFOUND);
  EXPECT_EQ(StgOpenStorage(FixturePath("no-folder/x.xls"), STGM_READ, storage), STG_E_PATHNOTFOUND);
  EXPECT_EQ(StgOpenStorage(std::string(SCRYLINE_TEST_DATA), STGM_READ, storage), STG_E_ACCESSDENIED);
  EXPECT_EQ(StgOpenStorage(FixturePath("README.md"), STGM_READ, storage), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(CfbErrorText(STG_E_FILEALREADYEXISTS), "The file is not a storage object");
  EXPECT_EQ(CfbErrorText(STG_E_DOCFILECORRUPT), "");
}

}  // namespace
