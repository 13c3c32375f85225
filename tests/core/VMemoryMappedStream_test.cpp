#include "core/VMemoryMappedStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/FileLayer.h"
#include "tests/core/FileFixtures.h"

namespace {

int64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

std::string UniqueMapName(const char* what) {
  return std::string("scryline-test-") + what + "-" + std::to_string(getpid());
}

std::string ReadN(TVStream& s, int32_t n) {
  std::string out(n, '\0');
  out.resize(s.Read(out.data(), n));
  return out;
}

TEST(VMemoryMappedStream, NewFileGrowsIn64KbStepsAndEndsAtItsLogicalSize) {
  TTempFolder dir;
  const std::string path = dir / "mapped";
  {
    TVMemoryMappedStream s(path, 0, fmCreate, "");
    EXPECT_EQ(s.GetSize(), 0);
    s.Write("0123456789", 10);
    EXPECT_EQ(s.GetMapSize(), 65536);
    EXPECT_EQ(FileSize(path), 65536);  // the file is as long as the mapping while it is mapped
    EXPECT_EQ(s.GetSize(), 10);
    s.Seek(2);
    EXPECT_EQ(ReadN(s, 3), "234");
  }
  EXPECT_EQ(ReadFileBytes(path), "0123456789");
}

TEST(VMemoryMappedStream, SizeChangesAndTheFinalFile) {
  TTempFolder dir;
  const std::string path = dir / "m";
  WriteFileBytes(path, "abc");
  TVMemoryMappedStream s(path, 100, fmOpenReadWrite, "");
  EXPECT_EQ(s.GetSize(), 3);
  EXPECT_EQ(s.GetMapSize(), 100);
  s.SetSize(70000);
  EXPECT_EQ(s.GetMapSize(), 131072);
  s.Seek(69998);
  s.Write("yz", 2);
  s.Seek(1);
  s.SetSize(2);
  EXPECT_EQ(s.GetPosition(), 1);
  s.Seek(2);
  s.Write("Q", 1);
  s.Close();
  EXPECT_EQ(ReadFileBytes(path), "abQ");
  try {
    s.Seek(0);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVMemoryMappedStream (file \"" + path + "\"): Method not applicable");
  }
}

TEST(VMemoryMappedStream, ReadOnlyViewCoversTheWholeFile) {
  // A read-only mapping used to take the requested size while the stream took the file's: reads beyond
  // the requested size went past the view.
  TTempFolder dir;
  const std::string path = dir / "ro";
  const std::string content = std::string(70000, 'r') + "end";
  WriteFileBytes(path, content);
  TVMemoryMappedStream s(path, 10, fmShareDenyWrite, "");
  EXPECT_EQ(s.GetSize(), 70003);
  s.Seek(69999);
  EXPECT_EQ(ReadN(s, 10), "rend");
  EXPECT_THROW(s.Write("x", 1), EVFileStream);
  s.Close();
  EXPECT_EQ(ReadFileBytes(path), content);
}

TEST(VMemoryMappedStream, SharedMemoryOfFixedSize) {
  TVMemoryMappedStream s("", 1000, fmOpenReadWrite, UniqueMapName("fixed"));
  EXPECT_EQ(s.GetSize(), 1000);
  s.Seek(990);
  s.Write("0123456789", 10);
  try {
    s.Write("x", 1);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVMemoryMappedStream (file \"\"): Set size error");
  }
  EXPECT_EQ(s.GetPosition(), 1000);
  try {
    s.Seek(1001);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVMemoryMappedStream (file \"\"): Seek error (1001)");
  }
}

TEST(VMemoryMappedStream, TwoStreamsOfOneNameShareTheMemoryAndLeaveNoNameBehind) {
  const std::string name = UniqueMapName("shared");
  {
    TVMemoryMappedStream first("", 4096, fmOpenReadWrite, name);
    TVMemoryMappedStream second("", 4096, fmOpenReadWrite, name);
    first.Write("hello", 5);
    EXPECT_EQ(ReadN(second, 5), "hello");
    second.Seek(100);
    second.Write("back", 4);
    first.Seek(100);
    EXPECT_EQ(ReadN(first, 4), "back");
    EXPECT_EQ(FileSize("/dev/shm/" + name), 4096);
  }
  EXPECT_EQ(FileSize("/dev/shm/" + name), -1);
}

TEST(VMemoryMappedStream, FindBytesAndFilter) {
  TVMemoryMappedStream s("", 100, fmOpenReadWrite, "");
  s.Write("abcdefghij", 10);
  s.Seek(1);
  EXPECT_FALSE(s.FindBytes("fg", 2, 5));  // the match ends past MaxBytes
  EXPECT_EQ(s.GetPosition(), 1);
  EXPECT_TRUE(s.FindBytes("fg", 2, 6));
  EXPECT_EQ(s.GetPosition(), 5);
  EXPECT_FALSE(s.FindBytes("zz", 2, 100));
  EXPECT_EQ(s.GetPosition(), 5);
  // The filter is applied to what Read delivers, as on every stream, and a filtered search sees it too.
  TUpperCaseFilter upper;
  s.Filter = &upper;
  s.Seek(0);
  EXPECT_EQ(ReadN(s, 4), "ABCD");
  EXPECT_TRUE(s.FindBytes("GH", 2, 100));
  EXPECT_EQ(s.GetPosition(), 6);
}

TEST(VMemoryMappedStream, OpenFailures) {
  TTempFolder dir;
  try {
    TVMemoryMappedStream s(dir / "missing", 10, fmOpenReadWrite, "");
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(),
              "Class TVMemoryMappedStream (file \"" + dir / "missing" + "\"): Can't create file");
    EXPECT_EQ(e.ErrorCode, kErrorFileNotFound);
  }
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Truncate, 1, ENOSPC);
  EXPECT_THROW(TVMemoryMappedStream(dir / "new", 100, fmCreate, ""), EVFileStream);
}

}  // namespace
