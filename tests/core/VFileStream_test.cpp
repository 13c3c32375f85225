#include "core/VFileStream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "tests/core/FileFixtures.h"

namespace {

std::string Pattern(size_t n, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// A folder held open for the *at calls while the scope lasts.
struct TFolderFd {
  explicit TFolderFd(const std::string& Path) : Fd(open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~TFolderFd() { close(Fd); }
  TFolderFd(const TFolderFd&) = delete;
  TFolderFd& operator=(const TFolderFd&) = delete;
  int Fd;
};

std::string ReadN(TVStream& s, int32_t n) {
  std::string out(n, '\0');
  out.resize(s.Read(out.data(), n));
  return out;
}

// Drives a TVBufFileStream with random seeks, reads, writes, size changes, closes and refused seeks and
// checks every answer, and at the end the file, against a plain byte vector.
void RunModel(int32_t bufferSize, uint32_t seed, size_t initialSize) {
  SCOPED_TRACE("buffer size " + std::to_string(bufferSize) + ", seed " + std::to_string(seed) +
               ", initial size " + std::to_string(initialSize));
  TTempFolder dir;
  const std::string path = dir / "model.bin";
  std::string model = Pattern(initialSize, seed);
  WriteFileBytes(path, model);
  std::mt19937 rng(seed);
  auto below = [&](int64_t n) { return n <= 0 ? 0 : static_cast<int32_t>(rng() % n); };
  int32_t pos = 0;
  {
    TVBufFileStream s(Utf8ToUtf16(path), bufferSize, fmOpenReadWrite);
    const int32_t maxChunk = 3 * bufferSize;
    for (int step = 0; step < 1000; ++step) {
      const int32_t size = static_cast<int32_t>(model.size());
      switch (rng() % 10) {
        case 0:
        case 1: {  // seek anywhere, often near the position (short steps back and forth)
          pos =
              rng() % 2 ? below(size + 1) : std::clamp(pos + below(2 * bufferSize + 1) - bufferSize, 0, size);
          s.Seek(pos);
          break;
        }
        case 2:
        case 3:
        case 4: {
          const int32_t n = below(maxChunk + 1);
          const std::string got = ReadN(s, n);
          const std::string want = model.substr(pos, n);
          ASSERT_EQ(got, want) << "step " << step << " read " << n << " at " << pos;
          pos += static_cast<int32_t>(want.size());
          break;
        }
        case 5:
        case 6:
        case 7: {
          const int32_t n = rng() % 4 == 0 ? below(maxChunk + 1) : below(bufferSize / 2 + 2);
          const std::string data = Pattern(n, rng());
          s.Write(data.data(), n);
          if (static_cast<int32_t>(model.size()) < pos + n) model.resize(pos + n);
          model.replace(pos, n, data);
          pos += n;
          break;
        }
        case 8: {
          if (rng() % 2) {
            const int32_t n = below(4 * bufferSize + 40);
            s.SetSize(n);
            model.resize(n, '\0');
            pos = std::min(pos, n);
          } else {
            s.Close();
          }
          break;
        }
        case 9: {  // a refused seek changes nothing
          const int32_t bad = rng() % 2 ? size + 1 + below(100) : -1 - below(100);
          EXPECT_THROW(s.Seek(bad), EVFileStream);
          break;
        }
      }
      ASSERT_EQ(s.GetPosition(), pos) << "step " << step;
      ASSERT_EQ(s.GetSize(), static_cast<int32_t>(model.size())) << "step " << step;
    }
    s.Close();
  }
  EXPECT_EQ(ReadFileBytes(path), model);
}

TEST(VBufFileStream, AgreesWithAnInMemoryModel) {
  // An empty file makes the read buffer start small and grow with the file.
  for (int32_t bufferSize : {16, 64, 1000, 32768})
    for (uint32_t seed : {1u, 2u})
      for (size_t initialSize : {size_t{0}, size_t(3 * bufferSize + 17)})
        RunModel(bufferSize, seed, initialSize);
}

TEST(VFileStream, CreateTruncatesAndReopenAfterCloseContinuesWithoutTruncating) {
  TTempFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, "old content");
  TVFileStream s(path, fmCreate);
  EXPECT_EQ(s.GetSize(), 0);
  s.Write("abcdef", 6);
  s.Close();
  EXPECT_FALSE(s.IsOpen());
  EXPECT_EQ(s.GetPosition(), 6);
  s.Write("gh", 2);  // re-opens at the old position
  s.Seek(0);
  EXPECT_EQ(ReadN(s, 100), "abcdefgh");
  s.Close();
  EXPECT_EQ(ReadFileBytes(path), "abcdefgh");
}

TEST(VFileStream, SizeIsAskedAgainAfterClose) {
  // Closing forgot the size; a write in the middle after the re-open then cached a size that was too small.
  TTempFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, std::string(100, 'x'));
  TVFileStream s(path, fmOpenReadWrite);
  s.Close();
  s.Write("ab", 2);
  EXPECT_EQ(s.GetSize(), 100);
  s.Seek(100);  // the end is still reachable
}

TEST(VFileStream, SeekLimitsAndMessages) {
  TTempFolder dir;
  const std::string path = dir / "ten";
  WriteFileBytes(path, "0123456789");
  TVFileStream plain(path, fmShareDenyWrite);
  TVBufFileStream buffered(path, fmShareDenyWrite);
  for (TVStream* s : {static_cast<TVStream*>(&plain), static_cast<TVStream*>(&buffered)}) {
    s->Seek(10);
    EXPECT_TRUE(s->Eof());
    s->Seek(3);
    for (int32_t bad : {11, -1}) {
      try {
        s->Seek(bad);
        FAIL() << bad;
      } catch (const EVFileStream& e) {
        EXPECT_EQ(e.Message(), std::string("Class ") + s->ClassName() + " (file \"" + path +
                                   "\"): seek error (" + std::to_string(bad) + ")");
      }
      EXPECT_EQ(s->GetPosition(), 3);
    }
    EXPECT_EQ(ReadN(*s, 2), "34");
  }
}

TEST(VFileStream, OpenFailuresCarryTheNameAndTheErrorCode) {
  TTempFolder dir;
  struct Case {
    std::string name;
    TFileOpenMode mode;
    std::string text;
    int32_t code;
  } cases[] = {
      {dir / "missing", fmShareDenyWrite, "Can't open file", kErrorFileNotFound},
      {dir / "no/such/folder", fmCreate, "Can't create file", kErrorFileNotFound},
      {dir.Path, fmShareDenyWrite, "Can't open file", kErrorAccessDenied},  // a folder
      {dir / "100%d", fmOpenRead, "Can't open file", kErrorFileNotFound},   // "%" is not a directive
  };
  for (const auto& c : cases) {
    try {
      TVFileStream s(c.name, c.mode);
      FAIL() << c.name;
    } catch (const EVFileStream& e) {
      EXPECT_EQ(e.Message(), "Class TVFileStream (file \"" + c.name + "\"): " + c.text);
      EXPECT_EQ(e.ErrorCode, c.code) << c.name;
    }
  }
}

TEST(VFileStream, FifoIsRefusedWithoutBlocking) {
  TTempFolder dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(TVFileStream(fifo, fmShareDenyWrite), EVFileStream);
  EXPECT_THROW(TVBufFileStream(fifo, fmOpenReadWrite), EVFileStream);
}

TEST(VFileStream, FileOf2GbIsRefused) {
  TTempFolder dir;
  const std::string path = dir / "big";
  WriteFileBytes(path, "");
  ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 31), 0);  // sparse: no disk space is used
  try {
    TVFileStream s(path, fmShareDenyWrite);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVFileStream (file \"" + path + "\"): File is too large (>= 2Gb)");
  }
  ASSERT_EQ(truncate(path.c_str(), (int64_t{1} << 31) - 1), 0);
  TVFileStream s(path, fmShareDenyWrite);
  EXPECT_EQ(s.GetSize(), INT32_MAX);
  // Grown behind the stream's back while it was closed: refused at the re-open.
  s.Close();
  ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 31), 0);
  EXPECT_THROW(s.GetSize(), EVFileStream);
}

TEST(VFileStream, Utf16NameIsConverted) {
  TTempFolder dir;
  const std::u16string name = Utf8ToUtf16(dir.Path) + u"/\u00e4\u6f22.txt";
  {
    TVBufFileStream s(name, fmCreate);
    s.Write("x", 1);
    EXPECT_EQ(s.GetWideFileName(), name);
    EXPECT_EQ(s.GetFileName(), dir.Path + "/\xc3\xa4\xe6\xbc\xa2.txt");
    s.Close();
  }
  EXPECT_EQ(ReadFileBytes(dir.Path + "/\xc3\xa4\xe6\xbc\xa2.txt"), "x");
}

TEST(VBufFileStream, BufferedBytesAreVisibleAndLandWhereWritten) {
  TTempFolder dir;
  const std::string path = dir / "f";
  {
    TVBufFileStream s(path, fmCreate);
    s.Write("0123456789", 10);
    EXPECT_EQ(s.GetSize(), 10);
    s.Seek(0);
    EXPECT_EQ(ReadN(s, 10), "0123456789");
    s.Close();
  }
  const std::string content = Pattern(100000, 9);
  WriteFileBytes(path, content);
  const std::string big = Pattern(40000, 10);
  {
    TVBufFileStream s(path, fmOpenReadWrite);
    s.Seek(50000);
    EXPECT_EQ(ReadN(s, 100), content.substr(50000, 100));
    s.Seek(0);
    s.Write(big.data(), 40000);
    EXPECT_EQ(s.GetPosition(), 40000);
    s.Close();
  }
  EXPECT_EQ(ReadFileBytes(path), big + content.substr(40000));
}

TEST(VBufFileStream, LargeWriteAfterWaitingBytesDropsTheStaleReadBuffer) {
  // The read buffer was filled from the file while bytes waited to be written over part of it; a large
  // write then sent those bytes to the file but the buffer kept serving the old ones.
  TTempFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, std::string(20, 'a'));
  TVBufFileStream s(Utf8ToUtf16(path), 16, fmOpenReadWrite);
  s.Seek(15);
  s.Write("XXXXX", 5);  // waits in the write buffer
  s.Seek(0);
  EXPECT_EQ(ReadN(s, 5), "aaaaa");  // fills the read buffer with bytes 0..15 of the file
  s.Seek(20);
  s.Write(std::string(16, 'Y').data(), 16);  // too big for the room left: goes straight to the file
  s.Seek(15);
  EXPECT_EQ(ReadN(s, 6), "XXXXXY");
}

TEST(VBufFileStream, BackwardStepRefillsFromAQuarterBufferEarlierButNotBeforeZero) {
  TTempFolder dir;
  const std::string path = dir / "f";
  const std::string content = Pattern(100000, 4);
  WriteFileBytes(path, content);
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  TVBufFileStream s(path, fmShareDenyWrite);
  auto readAt = [&](int32_t pos, int32_t n) {
    s.Seek(pos);
    EXPECT_EQ(ReadN(s, n), content.substr(pos, n));
    return layer.Calls(TFileOp::Read);
  };
  const int64_t first = readAt(50000, 10);
  EXPECT_EQ(readAt(49990, 10), first + 1);           // refill from 49990 - 8192
  EXPECT_EQ(readAt(49990 - 8192, 8192), first + 1);  // already buffered
  EXPECT_EQ(readAt(49990 - 8193, 1), first + 2);     // one before it: another refill
  EXPECT_EQ(readAt(5000, 1), first + 3);             // refill from 0, not below
  EXPECT_EQ(readAt(0, 5000), first + 3);
}

TEST(VBufFileStream, FilterIsAppliedOnceToWhatIsRead) {
  TTempFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, "abcdef");
  TVBufFileStream s(path, fmShareDenyWrite);
  TBigEndianFilter swap;
  s.Filter = &swap;
  EXPECT_EQ(ReadN(s, 6), "badcfe");  // applied twice it would give the bytes back unchanged
}

TEST(VFileStream, FailedOrShortWriteKeepsPositionAndFileInStep) {
  TTempFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, "0123456789");
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  TVFileStream s(path, fmOpenReadWrite);
  s.Seek(4);
  layer.MaxWriteBytes = 1;
  layer.FailCall(TFileOp::Write, 2, ENOSPC);  // one byte gets through, then the disk is full
  try {
    s.Write("abc", 3);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.ErrorCode, kErrorDiskFull);
    EXPECT_EQ(e.Message(), "Class TVFileStream (file \"" + path + "\"): File write error");
  }
  EXPECT_EQ(s.GetPosition(), 4);
  layer.MaxWriteBytes = -1;
  s.Write("XY", 2);
  EXPECT_THROW(s.Seek(11), EVFileStream);
  s.Write("Z", 1);
  EXPECT_EQ(ReadFileBytes(path), "0123XYZ789");
}

TEST(VBufFileStream, CloseReportsLostOutputAndTheDestructorReportsWhatWasNeverClosed) {
  TTempFolder dir;
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  std::vector<std::string> lost;
  SetLostOutputHandler([&](const std::string& m) { lost.push_back(m); });
  {
    TVBufFileStream s(dir / "a", fmCreate);
    s.Write("data", 4);
    layer.FailCall(TFileOp::Write, 1, EIO);
    EXPECT_THROW(s.Close(), EVFileStream);
    EXPECT_FALSE(s.IsOpen());
  }
  EXPECT_TRUE(lost.empty());  // reported once, by Close
  {
    TVBufFileStream s(dir / "b", fmCreate);
    s.Write("data", 4);
    layer.FailFrom(TFileOp::Write, ENOSPC);
  }
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0], "Class TVBufFileStream (file \"" + dir / "b" + "\"): File write error");
  SetLostOutputHandler(nullptr);
}

TEST(VFileStream, OpensGoThroughTheFileLayer) {
  TTempFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, "x");
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  layer.FailCall(TFileOp::Open, 1, ETXTBSY);
  try {
    TVBufFileStream s(path, fmShareDenyWrite);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.ErrorCode, kErrorSharingViolation);
  }
  TVFileStream s(path, fmShareDenyWrite);
  s.Close();
  s.GetSize();  // the lazy re-open
  EXPECT_EQ(layer.Calls(TFileOp::Open), 3);
}

// A stream opened at a folder descriptor takes the caller's size and asks nothing again: one open, no
// fstat. A re-open after Close goes by the full name and asks the size anew.
TEST(VFileStream, OpenAtAFolderTakesTheSizeTheCallerSaw) {
  TTempFolder dir;
  WriteFileBytes(dir / "f", "0123456789");
  TFolderFd folder(dir.Path);
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  const std::u16string name = Utf8ToUtf16(dir / "f");
  TVBufFileStream s(name, 4, fmShareDenyWrite, TFileAt{folder.Fd, "f", 10});
  EXPECT_EQ(layer.Calls(TFileOp::Open), 1);
  EXPECT_EQ(layer.Calls(TFileOp::Stat), 0);
  EXPECT_EQ(s.GetSize(), 10);
  EXPECT_EQ(ReadN(s, 10), "0123456789");
  s.Close();
  WriteFileBytes(dir / "f", "0123456789ab");
  EXPECT_EQ(s.GetSize(), 12);
  EXPECT_EQ(ReadN(s, 2), "ab");
  EXPECT_EQ(layer.Calls(TFileOp::Open), 2);

  layer.FailCall(TFileOp::Open, 1, EBUSY);
  try {
    TVBufFileStream locked(name, 4, fmShareDenyWrite, TFileAt{folder.Fd, "f", 12});
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.ErrorCode, kErrorSharingViolation);
    EXPECT_EQ(e.Message(), "Class TVFileStream (file \"" + dir / "f" + "\"): Can't open file");
  }
  EXPECT_THROW(TVFileStream(name, fmShareDenyWrite, TFileAt{folder.Fd, "gone", 12}), EVFileStream);
}

// What the caller saw can be stale: a FIFO found in the file's place blocks neither the open nor the
// read, which fails; a size of 2 GB or more is refused as when the system gives it.
TEST(VFileStream, OpenAtAStaleLookNeverBlocks) {
  TTempFolder dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  WriteFileBytes(dir / "big", "x");
  TFolderFd folder(dir.Path);
  TVBufFileStream s(Utf8ToUtf16(dir / "pipe"), 16, fmShareDenyWrite, TFileAt{folder.Fd, "pipe", 5});
  EXPECT_THROW(ReadN(s, 5), EVFileStream);
  try {
    TVFileStream big(Utf8ToUtf16(dir / "big"), fmShareDenyWrite, TFileAt{folder.Fd, "big", int64_t{1} << 31});
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVFileStream (file \"" + dir / "big" + "\"): File is too large (>= 2Gb)");
  }
}

TEST(VBufFileStream, BufferSizeMustBePositive) {
  TTempFolder dir;
  try {
    TVBufFileStream s(Utf8ToUtf16(dir / "f"), 0, fmCreate);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVBufFileStream (file \"" + dir / "f" + "\"): Error in parameters");
  }
}

}  // namespace
