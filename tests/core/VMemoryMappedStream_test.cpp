#include "core/VMemoryMappedStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/FileLayer.h"
#include "tests/core/FileFixtures.h"

namespace {

int64_t FileSize(const std::string& Path) {
  struct stat St;
  return stat(Path.c_str(), &St) == 0 ? St.st_size : -1;
}

std::string UniqueMapName(const char* What) {
  return std::string("scryline-test-") + What + "-" + std::to_string(getpid());
}

std::string ReadN(TVStream& S, int32_t N) {
  std::string Out(N, '\0');
  Out.resize(S.Read(Out.data(), N));
  return Out;
}

TEST(VMemoryMappedStream, NewFileGrowsIn64KbStepsAndEndsAtItsLogicalSize) {
  TTempFolder Dir;
  const std::string Path = Dir / "mapped";
  {
    TVMemoryMappedStream S(Path, 0, fmCreate, "");
    EXPECT_EQ(S.GetSize(), 0);
    S.Write("0123456789", 10);
    EXPECT_EQ(S.GetMapSize(), 65536);
    EXPECT_EQ(FileSize(Path), 65536);  // the file is as long as the mapping while it is mapped
    EXPECT_EQ(S.GetSize(), 10);
    S.Seek(2);
    EXPECT_EQ(ReadN(S, 3), "234");
  }
  EXPECT_EQ(ReadFileBytes(Path), "0123456789");
}

TEST(VMemoryMappedStream, SizeChangesAndTheFinalFile) {
  TTempFolder Dir;
  const std::string Path = Dir / "m";
  WriteFileBytes(Path, "abc");
  TVMemoryMappedStream S(Path, 100, fmOpenReadWrite, "");
  EXPECT_EQ(S.GetSize(), 3);
  EXPECT_EQ(S.GetMapSize(), 100);
  S.SetSize(70000);
  EXPECT_EQ(S.GetMapSize(), 131072);
  S.Seek(69998);
  S.Write("yz", 2);
  S.Seek(1);
  S.SetSize(2);
  EXPECT_EQ(S.GetPosition(), 1);
  S.Seek(2);
  S.Write("Q", 1);
  S.Close();
  EXPECT_EQ(ReadFileBytes(Path), "abQ");
  try {
    S.Seek(0);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVMemoryMappedStream (file \"" + Path + "\"): Method not applicable");
  }
}

TEST(VMemoryMappedStream, ReadOnlyViewCoversTheWholeFile) {
  // A read-only mapping used to take the requested size while the stream took the file's: reads beyond
  // the requested size went past the view.
  TTempFolder Dir;
  const std::string Path = Dir / "ro";
  const std::string Content = std::string(70000, 'r') + "end";
  WriteFileBytes(Path, Content);
  TVMemoryMappedStream S(Path, 10, fmShareDenyWrite, "");
  EXPECT_EQ(S.GetSize(), 70003);
  S.Seek(69999);
  EXPECT_EQ(ReadN(S, 10), "rend");
  EXPECT_THROW(S.Write("x", 1), EVFileStream);
  S.Close();
  EXPECT_EQ(ReadFileBytes(Path), Content);
}

TEST(VMemoryMappedStream, SharedMemoryOfFixedSize) {
  TVMemoryMappedStream S("", 1000, fmOpenReadWrite, UniqueMapName("fixed"));
  EXPECT_EQ(S.GetSize(), 1000);
  S.Seek(990);
  S.Write("0123456789", 10);
  try {
    S.Write("x", 1);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVMemoryMappedStream (file \"\"): Set size error");
  }
  EXPECT_EQ(S.GetPosition(), 1000);
  try {
    S.Seek(1001);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVMemoryMappedStream (file \"\"): Seek error (1001)");
  }
}

TEST(VMemoryMappedStream, TwoStreamsOfOneNameShareTheMemoryAndLeaveNoNameBehind) {
  const std::string Name = UniqueMapName("shared");
  {
    TVMemoryMappedStream First("", 4096, fmOpenReadWrite, Name);
    TVMemoryMappedStream Second("", 4096, fmOpenReadWrite, Name);
    First.Write("hello", 5);
    EXPECT_EQ(ReadN(Second, 5), "hello");
    Second.Seek(100);
    Second.Write("back", 4);
    First.Seek(100);
    EXPECT_EQ(ReadN(First, 4), "back");
    EXPECT_EQ(FileSize("/dev/shm/" + Name), 4096);
  }
  EXPECT_EQ(FileSize("/dev/shm/" + Name), -1);
}

TEST(VMemoryMappedStream, FindBytesAndFilter) {
  TVMemoryMappedStream S("", 100, fmOpenReadWrite, "");
  S.Write("abcdefghij", 10);
  S.Seek(1);
  EXPECT_FALSE(S.FindBytes("fg", 2, 5));  // the match ends past MaxBytes
  EXPECT_EQ(S.GetPosition(), 1);
  EXPECT_TRUE(S.FindBytes("fg", 2, 6));
  EXPECT_EQ(S.GetPosition(), 5);
  EXPECT_FALSE(S.FindBytes("zz", 2, 100));
  EXPECT_EQ(S.GetPosition(), 5);
  // The filter is applied to what Read delivers, as on every stream, and a filtered search sees it too.
  TUpperCaseFilter Upper;
  S.Filter = &Upper;
  S.Seek(0);
  EXPECT_EQ(ReadN(S, 4), "ABCD");
  EXPECT_TRUE(S.FindBytes("GH", 2, 100));
  EXPECT_EQ(S.GetPosition(), 6);
}

TEST(VMemoryMappedStream, OpenFailures) {
  TTempFolder Dir;
  try {
    TVMemoryMappedStream S(Dir / "missing", 10, fmOpenReadWrite, "");
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(),
              "Class TVMemoryMappedStream (file \"" + Dir / "missing" + "\"): Can't create file");
    EXPECT_EQ(E.ErrorCode, kErrorFileNotFound);
  }
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Truncate, 1, ENOSPC);
  EXPECT_THROW(TVMemoryMappedStream(Dir / "new", 100, fmCreate, ""), EVFileStream);
}

}  // namespace
