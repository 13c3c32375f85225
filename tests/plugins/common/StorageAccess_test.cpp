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
  } catch (const std::exception& E) {
    return E.what();
  }
  return "(no failure)";
}

class StorageAccess : public ::testing::Test {
 protected:
  std::string Write(const TCfbImage& Image) { return Folder_.Write("s.cfb", Image.Bytes); }
  TTestFolder Folder_;
};

TEST_F(StorageAccess, TextsOfOpeningAndReading) {
  std::string Data(9000, 'd');
  TCfbImage Good = BuildCompoundFile({{u"Data", Data}, {u"Small", "0123456789"}});
  TCfbImage DirCycle = Good;
  DirCycle.Put32(DirCycle.DirEntryOffset(2) + 72, 1);
  TCfbImage ChainLoop = Good;
  ChainLoop.Put32(ChainLoop.FatEntryOffset(ChainLoop.StreamStart[0] + 1), ChainLoop.StreamStart[0]);
  struct TCase {
    const char* Name;
    std::function<void()> Call;
    const char* Text;
  };
  const TCase Cases[] = {
      {"missing file", [&] { OpenStorage(Folder_.Path + "/none.xls"); },
       "The stream with specified name does not exist"},
      {"missing folder", [&] { OpenStorage(Folder_.Path + "/none/x.xls"); },
       "The path specified does not exist"},
      {"not a compound file", [&] { OpenStorage(Folder_.Write("t.txt", std::string(600, 't'))); },
       "The file is not a storage object"},
      {"damaged directory", [&] { OpenStorage(Write(DirCycle)); }, "Can't open storage: unknown error"},
      {"missing stream", [&] { OpenStorage(Write(Good))->OpenStream(u"Workbook"); },
       "The stream with specified name does not exist"},
      {"name too long", [&] { OpenStorage(Write(Good))->OpenStream(std::u16string(40, u'n')); },
       "Error in parameters"},
      {"damaged chain", [&] { OpenStorage(Write(ChainLoop))->OpenStream(u"Data"); },
       "Can't open stream: unknown error"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(MessageOf(C.Call), C.Text) << C.Name;
  }
}

TEST_F(StorageAccess, ReadingToTheEnd) {
  std::unique_ptr<Storage> Storage = OpenStorage(Write(BuildCompoundFile({{u"Small", "0123456789"}})));
  std::unique_ptr<Stream> Stream = Storage->OpenStream(u"small");
  EXPECT_EQ(Stream->Size(), 10u);
  EXPECT_EQ(ReadStreamUInt16(*Stream), 0x3130);
  EXPECT_EQ(ReadStreamUInt32(*Stream), 0x35343332u);
  EXPECT_EQ(Stream->Remaining(), 4u);
  EXPECT_THROW(ReadStreamUInt64(*Stream), Stream_eof);
  Stream->Seek(8);
  EXPECT_EQ(ReadStreamUInt8(*Stream), '8');
  // A skip is never backwards: the largest one goes past the end, and the next read is the end.
  Stream->Seek(0);
  Stream->Skip(0xFFFFFFF8u);
  EXPECT_EQ(Stream->Remaining(), 0u);
  EXPECT_THROW(ReadStreamUInt8(*Stream), Stream_eof);
}

// A sector that cannot be read in the middle of a stream is damage, not the end of the document.
TEST_F(StorageAccess, ADamagedSectorIsAReadError) {
  TCfbImage Image = BuildCompoundFile({{u"Data", std::string(9000, 'd')}});
  Image.Bytes.resize(Image.SectorOffset(Image.StreamStart[0] + 17) + 10);
  std::unique_ptr<Storage> Storage = OpenStorage(Write(Image));
  std::unique_ptr<Stream> Stream = Storage->OpenStream(u"Data");
  std::string Buffer(9000, '\0');
  EXPECT_EQ(MessageOf([&] { Stream->Read(Buffer.data(), 9000); }), "IStream read error");
}

TEST_F(StorageAccess, ResultCodesOfVComUtil) {
  EXPECT_NO_THROW(ComCheck(S_OK));
  struct TCase {
    HRESULT Code;
    const char* Text;
  };
  const TCase Cases[] = {
      {S_FALSE, "OLE/COM error 00000001h"},
      {STG_E_DOCFILECORRUPT, "OLE/COM error 80030109h"},
      {STG_E_FILEALREADYEXISTS, "The file is not a storage object"},
      {STG_E_FILENOTFOUND, "The stream with specified name does not exist"},
  };
  for (const TCase& C : Cases) {
    try {
      ComCheck(C.Code);
      ADD_FAILURE() << C.Code;
    } catch (const EComError& E) {
      EXPECT_EQ(E.ErrorCode, C.Code);
      EXPECT_STREQ(E.what(), C.Text);
    }
  }

  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(
      StgOpenStorage(Write(BuildCompoundFile({{u"WordDocument", "abcdef"}})), STGM_SHARE_DENY_WRITE, Storage),
      S_OK);
  std::unique_ptr<TCfbStream> Stream;
  ComCheck(Storage->OpenStream(u"WordDocument", STGM_SHARE_EXCLUSIVE, Stream));
  char Buffer[8] = {};
  SeekOleStream(*Stream, 2);
  ReadOleStreamExact(*Stream, Buffer, 3);
  EXPECT_EQ(std::string(Buffer, 3), "cde");
  EXPECT_EQ(MessageOf([&] { ReadOleStreamExact(*Stream, Buffer, 2); }), "OLE/COM error 00000001h");
  EXPECT_EQ(MessageOf([&] { SeekOleStream(*Stream, -1); }), "Error in parameters");
}

}  // namespace
