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

std::string Pattern(size_t N, uint32_t Seed = 1) {
  std::mt19937 Rng(Seed);
  std::string S(N, '\0');
  for (auto& C : S) C = static_cast<char>(Rng());
  return S;
}

// A folder held open for the *at calls while the scope lasts.
struct TFolderFd {
  explicit TFolderFd(const std::string& Path) : Fd(open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~TFolderFd() { close(Fd); }
  TFolderFd(const TFolderFd&) = delete;
  TFolderFd& operator=(const TFolderFd&) = delete;
  int Fd;
};

std::string ReadN(TVStream& S, int32_t N) {
  std::string Out(N, '\0');
  Out.resize(S.Read(Out.data(), N));
  return Out;
}

// Drives a TVBufFileStream with random seeks, reads, writes, size changes, closes and refused seeks and
// checks every answer, and at the end the file, against a plain byte vector.
void RunModel(int32_t BufferSize, uint32_t Seed, size_t InitialSize) {
  SCOPED_TRACE("buffer size " + std::to_string(BufferSize) + ", seed " + std::to_string(Seed) +
               ", initial size " + std::to_string(InitialSize));
  TTempFolder Dir;
  const std::string Path = Dir / "model.bin";
  std::string Model = Pattern(InitialSize, Seed);
  WriteFileBytes(Path, Model);
  std::mt19937 Rng(Seed);
  auto Below = [&](int64_t N) { return N <= 0 ? 0 : static_cast<int32_t>(Rng() % N); };
  int32_t Pos = 0;
  {
    TVBufFileStream S(Utf8ToUtf16(Path), BufferSize, fmOpenReadWrite);
    const int32_t MaxChunk = 3 * BufferSize;
    for (int Step = 0; Step < 1000; ++Step) {
      const int32_t Size = static_cast<int32_t>(Model.size());
      switch (Rng() % 10) {
        case 0:
        case 1: {  // seek anywhere, often near the position (short steps back and forth)
          Pos =
              Rng() % 2 ? Below(Size + 1) : std::clamp(Pos + Below(2 * BufferSize + 1) - BufferSize, 0, Size);
          S.Seek(Pos);
          break;
        }
        case 2:
        case 3:
        case 4: {
          const int32_t N = Below(MaxChunk + 1);
          const std::string Got = ReadN(S, N);
          const std::string Want = Model.substr(Pos, N);
          ASSERT_EQ(Got, Want) << "step " << Step << " read " << N << " at " << Pos;
          Pos += static_cast<int32_t>(Want.size());
          break;
        }
        case 5:
        case 6:
        case 7: {
          const int32_t N = Rng() % 4 == 0 ? Below(MaxChunk + 1) : Below(BufferSize / 2 + 2);
          const std::string Data = Pattern(N, Rng());
          S.Write(Data.data(), N);
          if (static_cast<int32_t>(Model.size()) < Pos + N) Model.resize(Pos + N);
          Model.replace(Pos, N, Data);
          Pos += N;
          break;
        }
        case 8: {
          if (Rng() % 2) {
            const int32_t N = Below(4 * BufferSize + 40);
            S.SetSize(N);
            Model.resize(N, '\0');
            Pos = std::min(Pos, N);
          } else {
            S.Close();
          }
          break;
        }
        case 9: {  // a refused seek changes nothing
          const int32_t Bad = Rng() % 2 ? Size + 1 + Below(100) : -1 - Below(100);
          EXPECT_THROW(S.Seek(Bad), EVFileStream);
          break;
        }
      }
      ASSERT_EQ(S.GetPosition(), Pos) << "step " << Step;
      ASSERT_EQ(S.GetSize(), static_cast<int32_t>(Model.size())) << "step " << Step;
    }
    S.Close();
  }
  EXPECT_EQ(ReadFileBytes(Path), Model);
}

TEST(VBufFileStream, AgreesWithAnInMemoryModel) {
  // An empty file makes the read buffer start small and grow with the file.
  for (int32_t BufferSize : {16, 64, 1000, 32768})
    for (uint32_t Seed : {1u, 2u})
      for (size_t InitialSize : {size_t{0}, size_t(3 * BufferSize + 17)})
        RunModel(BufferSize, Seed, InitialSize);
}

TEST(VFileStream, CreateTruncatesAndReopenAfterCloseContinuesWithoutTruncating) {
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  WriteFileBytes(Path, "old content");
  TVFileStream S(Path, fmCreate);
  EXPECT_EQ(S.GetSize(), 0);
  S.Write("abcdef", 6);
  S.Close();
  EXPECT_FALSE(S.IsOpen());
  EXPECT_EQ(S.GetPosition(), 6);
  S.Write("gh", 2);  // re-opens at the old position
  S.Seek(0);
  EXPECT_EQ(ReadN(S, 100), "abcdefgh");
  S.Close();
  EXPECT_EQ(ReadFileBytes(Path), "abcdefgh");
}

TEST(VFileStream, SizeIsAskedAgainAfterClose) {
  // Closing forgot the size; a write in the middle after the re-open then cached a size that was too small.
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  WriteFileBytes(Path, std::string(100, 'x'));
  TVFileStream S(Path, fmOpenReadWrite);
  S.Close();
  S.Write("ab", 2);
  EXPECT_EQ(S.GetSize(), 100);
  S.Seek(100);  // the end is still reachable
}

TEST(VFileStream, SeekLimitsAndMessages) {
  TTempFolder Dir;
  const std::string Path = Dir / "ten";
  WriteFileBytes(Path, "0123456789");
  TVFileStream Plain(Path, fmShareDenyWrite);
  TVBufFileStream Buffered(Path, fmShareDenyWrite);
  for (TVStream* S : {static_cast<TVStream*>(&Plain), static_cast<TVStream*>(&Buffered)}) {
    S->Seek(10);
    EXPECT_TRUE(S->Eof());
    S->Seek(3);
    for (int32_t Bad : {11, -1}) {
      try {
        S->Seek(Bad);
        FAIL() << Bad;
      } catch (const EVFileStream& E) {
        EXPECT_EQ(E.Message(), std::string("Class ") + S->ClassName() + " (file \"" + Path +
                                   "\"): seek error (" + std::to_string(Bad) + ")");
      }
      EXPECT_EQ(S->GetPosition(), 3);
    }
    EXPECT_EQ(ReadN(*S, 2), "34");
  }
}

TEST(VFileStream, OpenFailuresCarryTheNameAndTheErrorCode) {
  TTempFolder Dir;
  struct Case {
    std::string Name;
    TFileOpenMode Mode;
    std::string Text;
    int32_t Code;
  } Cases[] = {
      {Dir / "missing", fmShareDenyWrite, "Can't open file", kErrorFileNotFound},
      {Dir / "no/such/folder", fmCreate, "Can't create file", kErrorFileNotFound},
      {Dir.Path, fmShareDenyWrite, "Can't open file", kErrorAccessDenied},  // a folder
      {Dir / "100%d", fmOpenRead, "Can't open file", kErrorFileNotFound},   // "%" is not a directive
  };
  for (const auto& C : Cases) {
    try {
      TVFileStream S(C.Name, C.Mode);
      FAIL() << C.Name;
    } catch (const EVFileStream& E) {
      EXPECT_EQ(E.Message(), "Class TVFileStream (file \"" + C.Name + "\"): " + C.Text);
      EXPECT_EQ(E.ErrorCode, C.Code) << C.Name;
    }
  }
}

TEST(VFileStream, FifoIsRefusedWithoutBlocking) {
  TTempFolder Dir;
  const std::string Fifo = Dir / "pipe";
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  EXPECT_THROW(TVFileStream(Fifo, fmShareDenyWrite), EVFileStream);
  EXPECT_THROW(TVBufFileStream(Fifo, fmOpenReadWrite), EVFileStream);
}

TEST(VFileStream, FileOf2GbIsRefused) {
  TTempFolder Dir;
  const std::string Path = Dir / "big";
  WriteFileBytes(Path, "");
  ASSERT_EQ(truncate(Path.c_str(), int64_t{1} << 31), 0);  // sparse: no disk space is used
  try {
    TVFileStream S(Path, fmShareDenyWrite);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVFileStream (file \"" + Path + "\"): File is too large (>= 2Gb)");
  }
  ASSERT_EQ(truncate(Path.c_str(), (int64_t{1} << 31) - 1), 0);
  TVFileStream S(Path, fmShareDenyWrite);
  EXPECT_EQ(S.GetSize(), INT32_MAX);
  // Grown behind the stream's back while it was closed: refused at the re-open.
  S.Close();
  ASSERT_EQ(truncate(Path.c_str(), int64_t{1} << 31), 0);
  EXPECT_THROW(S.GetSize(), EVFileStream);
}

TEST(VFileStream, Utf16NameIsConverted) {
  TTempFolder Dir;
  const std::u16string Name = Utf8ToUtf16(Dir.Path) + u"/\u00e4\u6f22.txt";
  {
    TVBufFileStream S(Name, fmCreate);
    S.Write("x", 1);
    EXPECT_EQ(S.GetWideFileName(), Name);
    EXPECT_EQ(S.GetFileName(), Dir.Path + "/\xc3\xa4\xe6\xbc\xa2.txt");
    S.Close();
  }
  EXPECT_EQ(ReadFileBytes(Dir.Path + "/\xc3\xa4\xe6\xbc\xa2.txt"), "x");
}

TEST(VBufFileStream, BufferedBytesAreVisibleAndLandWhereWritten) {
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  {
    TVBufFileStream S(Path, fmCreate);
    S.Write("0123456789", 10);
    EXPECT_EQ(S.GetSize(), 10);
    S.Seek(0);
    EXPECT_EQ(ReadN(S, 10), "0123456789");
    S.Close();
  }
  const std::string Content = Pattern(100000, 9);
  WriteFileBytes(Path, Content);
  const std::string Big = Pattern(40000, 10);
  {
    TVBufFileStream S(Path, fmOpenReadWrite);
    S.Seek(50000);
    EXPECT_EQ(ReadN(S, 100), Content.substr(50000, 100));
    S.Seek(0);
    S.Write(Big.data(), 40000);
    EXPECT_EQ(S.GetPosition(), 40000);
    S.Close();
  }
  EXPECT_EQ(ReadFileBytes(Path), Big + Content.substr(40000));
}

TEST(VBufFileStream, LargeWriteAfterWaitingBytesDropsTheStaleReadBuffer) {
  // The read buffer was filled from the file while bytes waited to be written over part of it; a large
  // write then sent those bytes to the file but the buffer kept serving the old ones.
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  WriteFileBytes(Path, std::string(20, 'a'));
  TVBufFileStream S(Utf8ToUtf16(Path), 16, fmOpenReadWrite);
  S.Seek(15);
  S.Write("XXXXX", 5);  // waits in the write buffer
  S.Seek(0);
  EXPECT_EQ(ReadN(S, 5), "aaaaa");  // fills the read buffer with bytes 0..15 of the file
  S.Seek(20);
  S.Write(std::string(16, 'Y').data(), 16);  // too big for the room left: goes straight to the file
  S.Seek(15);
  EXPECT_EQ(ReadN(S, 6), "XXXXXY");
}

TEST(VBufFileStream, BackwardStepRefillsFromAQuarterBufferEarlierButNotBeforeZero) {
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  const std::string Content = Pattern(100000, 4);
  WriteFileBytes(Path, Content);
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  TVBufFileStream S(Path, fmShareDenyWrite);
  auto ReadAt = [&](int32_t Pos, int32_t N) {
    S.Seek(Pos);
    EXPECT_EQ(ReadN(S, N), Content.substr(Pos, N));
    return Layer.Calls(TFileOp::Read);
  };
  const int64_t First = ReadAt(50000, 10);
  EXPECT_EQ(ReadAt(49990, 10), First + 1);           // refill from 49990 - 8192
  EXPECT_EQ(ReadAt(49990 - 8192, 8192), First + 1);  // already buffered
  EXPECT_EQ(ReadAt(49990 - 8193, 1), First + 2);     // one before it: another refill
  EXPECT_EQ(ReadAt(5000, 1), First + 3);             // refill from 0, not below
  EXPECT_EQ(ReadAt(0, 5000), First + 3);
}

TEST(VBufFileStream, FilterIsAppliedOnceToWhatIsRead) {
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  WriteFileBytes(Path, "abcdef");
  TVBufFileStream S(Path, fmShareDenyWrite);
  TBigEndianFilter Swap;
  S.Filter = &Swap;
  EXPECT_EQ(ReadN(S, 6), "badcfe");  // applied twice it would give the bytes back unchanged
}

TEST(VFileStream, FailedOrShortWriteKeepsPositionAndFileInStep) {
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  WriteFileBytes(Path, "0123456789");
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  TVFileStream S(Path, fmOpenReadWrite);
  S.Seek(4);
  Layer.MaxWriteBytes = 1;
  Layer.FailCall(TFileOp::Write, 2, ENOSPC);  // one byte gets through, then the disk is full
  try {
    S.Write("abc", 3);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.ErrorCode, kErrorDiskFull);
    EXPECT_EQ(E.Message(), "Class TVFileStream (file \"" + Path + "\"): File write error");
  }
  EXPECT_EQ(S.GetPosition(), 4);
  Layer.MaxWriteBytes = -1;
  S.Write("XY", 2);
  EXPECT_THROW(S.Seek(11), EVFileStream);
  S.Write("Z", 1);
  EXPECT_EQ(ReadFileBytes(Path), "0123XYZ789");
}

TEST(VBufFileStream, CloseReportsLostOutputAndTheDestructorReportsWhatWasNeverClosed) {
  TTempFolder Dir;
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  std::vector<std::string> Lost;
  SetLostOutputHandler([&](const std::string& M) { Lost.push_back(M); });
  {
    TVBufFileStream S(Dir / "a", fmCreate);
    S.Write("data", 4);
    Layer.FailCall(TFileOp::Write, 1, EIO);
    EXPECT_THROW(S.Close(), EVFileStream);
    EXPECT_FALSE(S.IsOpen());
  }
  EXPECT_TRUE(Lost.empty());  // reported once, by Close
  {
    TVBufFileStream S(Dir / "b", fmCreate);
    S.Write("data", 4);
    Layer.FailFrom(TFileOp::Write, ENOSPC);
  }
  ASSERT_EQ(Lost.size(), 1u);
  EXPECT_EQ(Lost[0], "Class TVBufFileStream (file \"" + Dir / "b" + "\"): File write error");
  SetLostOutputHandler(nullptr);
}

TEST(VFileStream, OpensGoThroughTheFileLayer) {
  TTempFolder Dir;
  const std::string Path = Dir / "f";
  WriteFileBytes(Path, "x");
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  Layer.FailCall(TFileOp::Open, 1, ETXTBSY);
  try {
    TVBufFileStream S(Path, fmShareDenyWrite);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.ErrorCode, kErrorSharingViolation);
  }
  TVFileStream S(Path, fmShareDenyWrite);
  S.Close();
  S.GetSize();  // the lazy re-open
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 3);
}

// A stream opened at a folder descriptor takes the caller's size and asks nothing again: one open, no
// fstat. A re-open after Close goes by the full name and asks the size anew.
TEST(VFileStream, OpenAtAFolderTakesTheSizeTheCallerSaw) {
  TTempFolder Dir;
  WriteFileBytes(Dir / "f", "0123456789");
  TFolderFd Folder(Dir.Path);
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  const std::u16string Name = Utf8ToUtf16(Dir / "f");
  TVBufFileStream S(Name, 4, fmShareDenyWrite, TFileAt{Folder.Fd, "f", 10});
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 1);
  EXPECT_EQ(Layer.Calls(TFileOp::Stat), 0);
  EXPECT_EQ(S.GetSize(), 10);
  EXPECT_EQ(ReadN(S, 10), "0123456789");
  S.Close();
  WriteFileBytes(Dir / "f", "0123456789ab");
  EXPECT_EQ(S.GetSize(), 12);
  EXPECT_EQ(ReadN(S, 2), "ab");
  EXPECT_EQ(Layer.Calls(TFileOp::Open), 2);

  Layer.FailCall(TFileOp::Open, 1, EBUSY);
  try {
    TVBufFileStream Locked(Name, 4, fmShareDenyWrite, TFileAt{Folder.Fd, "f", 12});
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.ErrorCode, kErrorSharingViolation);
    EXPECT_EQ(E.Message(), "Class TVFileStream (file \"" + Dir / "f" + "\"): Can't open file");
  }
  EXPECT_THROW(TVFileStream(Name, fmShareDenyWrite, TFileAt{Folder.Fd, "gone", 12}), EVFileStream);
}

// A stream given a descriptor the caller opened takes it over: no open and no fstat of its own, the
// descriptor closed with the stream, also when the constructor raises.
TEST(VFileStream, OpenAtTakesOverTheCallersDescriptor) {
  TTempFolder Dir;
  WriteFileBytes(Dir / "f", "0123456789");
  TFolderFd Folder(Dir.Path);
  const std::u16string Name = Utf8ToUtf16(Dir / "f");
  const int Fd = ::openat(Folder.Fd, "f", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(Fd, 0);
  {
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    TVBufFileStream S(Name, 4, fmShareDenyWrite, TFileAt{Folder.Fd, "f", 10, Fd});
    EXPECT_EQ(Layer.Calls(TFileOp::Open), 0);
    EXPECT_EQ(Layer.Calls(TFileOp::Stat), 0);
    EXPECT_EQ(S.Handle(), Fd);
    EXPECT_EQ(ReadN(S, 10), "0123456789");
  }
  EXPECT_EQ(::fcntl(Fd, F_GETFD), -1);  // closed with the stream
  const int Big = ::openat(Folder.Fd, "f", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(Big, 0);
  EXPECT_THROW(TVFileStream(Name, fmShareDenyWrite, TFileAt{Folder.Fd, "f", int64_t{1} << 31, Big}),
               EVFileStream);
  EXPECT_EQ(::fcntl(Big, F_GETFD), -1);
}

// What the caller saw can be stale: a FIFO found in the file's place blocks neither the open nor the
// read, which fails; a size of 2 GB or more is refused as when the system gives it.
TEST(VFileStream, OpenAtAStaleLookNeverBlocks) {
  TTempFolder Dir;
  ASSERT_EQ(mkfifo((Dir / "pipe").c_str(), 0600), 0);
  WriteFileBytes(Dir / "big", "x");
  TFolderFd Folder(Dir.Path);
  TVBufFileStream S(Utf8ToUtf16(Dir / "pipe"), 16, fmShareDenyWrite, TFileAt{Folder.Fd, "pipe", 5});
  EXPECT_THROW(ReadN(S, 5), EVFileStream);
  try {
    TVFileStream Big(Utf8ToUtf16(Dir / "big"), fmShareDenyWrite, TFileAt{Folder.Fd, "big", int64_t{1} << 31});
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVFileStream (file \"" + Dir / "big" + "\"): File is too large (>= 2Gb)");
  }
}

TEST(VBufFileStream, BufferSizeMustBePositive) {
  TTempFolder Dir;
  try {
    TVBufFileStream S(Utf8ToUtf16(Dir / "f"), 0, fmCreate);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVBufFileStream (file \"" + Dir / "f" + "\"): Error in parameters");
  }
}

}  // namespace
