// The storage layer of the office converters over the compound-file reader: the texts of its failures,
// the end of a stream, and the result-code helpers of VComUtil.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "plugins/common/OleStorage.h"
#include "plugins/common/VComUtil.h"
#include "tests/platform/cfb/CfbWriter.h"
#include "tests/plugins/TestLibraries.h"

namespace {

std::string MessageOf(const std::function<void()>& Call) {
  try {
    Call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

class StorageAccess : public ::testing::Test {
 protected:
  std::string Write(const TCfbImage& Image) { return folder_.Write("s.cfb", Image.Bytes); }
  TTestFolder folder_;
};

TEST_F(StorageAccess, TextsOfOpeningAndReading) {
  std::string data(9000, 'd');
  TCfbImage good = BuildCompoundFile({{u"Data", data}, {u"Small", "0123456789"}});
  TCfbImage dir_cycle = good;
  dir_cycle.Put32(dir_cycle.DirEntryOffset(2) + 72, 1);
  TCfbImage chain_loop = good;
  chain_loop.Put32(chain_loop.FatEntryOffset(chain_loop.StreamStart[0] + 1), chain_loop.StreamStart[0]);
  struct TCase {
    const char* name;
    std::function<void()> call;
    const char* text;
  };
  const TCase cases[] = {
      {"missing file", [&] { OpenStorage(folder_.Path + "/none.xls"); },
       "The stream with specified name does not exist"},
      {"missing folder", [&] { OpenStorage(folder_.Path + "/none/x.xls"); },
       "The path specified does not exist"},
      {"not a compound file", [&] { OpenStorage(folder_.Write("t.txt", std::string(600, 't'))); },
       "The file is not a storage object"},
      {"damaged directory", [&] { OpenStorage(Write(dir_cycle)); }, "Can't open storage: unknown error"},
      {"missing stream", [&] { OpenStorage(Write(good))->OpenStream(u"Workbook"); },
       "The stream with specified name does not exist"},
      {"name too long", [&] { OpenStorage(Write(good))->OpenStream(std::u16string(40, u'n')); },
       "Error in parameters"},
      {"damaged chain", [&] { OpenStorage(Write(chain_loop))->OpenStream(u"Data"); },
       "Can't open stream: unknown error"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(MessageOf(c.call), c.text) << c.name;
  }
}

TEST_F(StorageAccess, ReadingToTheEnd) {
  std::unique_ptr<Storage> storage = OpenStorage(Write(BuildCompoundFile({{u"Small", "0123456789"}})));
  std::unique_ptr<Stream> stream = storage->OpenStream(u"small");
  EXPECT_EQ(stream->Size(), 10u);
  EXPECT_EQ(ReadStreamUInt16(*stream), 0x3130);
  EXPECT_EQ(ReadStreamUInt32(*stream), 0x35343332u);
  EXPECT_EQ(stream->Remaining(), 4u);
  EXPECT_THROW(ReadStreamUInt64(*stream), Stream_eof);
  stream->Seek(8);
  EXPECT_EQ(ReadStreamUInt8(*stream), '8');
  // A skip is never backwards: the largest one goes past the end, and the next read is the end.
  stream->Seek(0);
  stream->Skip(0xFFFFFFF8u);
  EXPECT_EQ(stream->Remaining(), 0u);
  EXPECT_THROW(ReadStreamUInt8(*stream), Stream_eof);
}

// A sector that cannot be read in the middle of a stream is damage, not the end of the document.
TEST_F(StorageAccess, ADamagedSectorIsAReadError) {
  TCfbImage image = BuildCompoundFile({{u"Data", std::string(9000, 'd')}});
  image.Bytes.resize(image.SectorOffset(image.StreamStart[0] + 17) + 10);
  std::unique_ptr<Storage> storage = OpenStorage(Write(image));
  std::unique_ptr<Stream> stream = storage->OpenStream(u"Data");
  std::string buffer(9000, '\0');
  EXPECT_EQ(MessageOf([&] { stream->Read(buffer.data(), 9000); }), "IStream read error");
}

TEST_F(StorageAccess, ResultCodesOfVComUtil) {
  EXPECT_NO_THROW(ComCheck(S_OK));
  struct TCase {
    HRESULT code;
    const char* text;
  };
  const TCase cases[] = {
      {S_FALSE, "OLE/COM error 00000001h"},
      {STG_E_DOCFILECORRUPT, "OLE/COM error 80030109h"},
      {STG_E_FILEALREADYEXISTS, "The file is not a storage object"},
      {STG_E_FILENOTFOUND, "The stream with specified name does not exist"},
  };
  for (const TCase& c : cases) {
    try {
      ComCheck(c.code);
      ADD_FAILURE() << c.code;
    } catch (const EComError& e) {
      EXPECT_EQ(e.ErrorCode, c.code);
      EXPECT_STREQ(e.what(), c.text);
    }
  }

  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(
      StgOpenStorage(Write(BuildCompoundFile({{u"WordDocument", "abcdef"}})), STGM_SHARE_DENY_WRITE, storage),
      S_OK);
  std::unique_ptr<TCfbStream> stream;
  ComCheck(storage->OpenStream(u"WordDocument", STGM_SHARE_EXCLUSIVE, stream));
  char buffer[8] = {};
  SeekOleStream(*stream, 2);
  ReadOleStreamExact(*stream, buffer, 3);
  EXPECT_EQ(std::string(buffer, 3), "cde");
  EXPECT_EQ(MessageOf([&] { ReadOleStreamExact(*stream, buffer, 2); }), "OLE/COM error 00000001h");
  EXPECT_EQ(MessageOf([&] { SeekOleStream(*stream, -1); }), "Error in parameters");
}

}  // namespace
