#include "archive/arlStreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "archive/arlFileIo.h"
#include "archive/arlInflate.h"
#include "core/FileLayer.h"
#include "core/WinUtils.h"
#include "tests/archive/arlTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Deflate(const std::string& Text, int Level = 6) {
  z_stream Z{};
  EXPECT_EQ(deflateInit2(&Z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> Out(deflateBound(&Z, Text.size()) + 16);
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Text.data()));
  Z.avail_in = static_cast<uInt>(Text.size());
  Z.next_out = Out.data();
  Z.avail_out = static_cast<uInt>(Out.size());
  EXPECT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

// A text that compresses well but not to nothing: numbered lines.
std::string Lines(int N) {
  std::string S;
  for (int I = 0; I < N; ++I) S += "line " + std::to_string(I) + " of the member\n";
  return S;
}

std::unique_ptr<TMemoryStream32> MemoryOf(const std::vector<uint8_t>& Bytes) {
  auto M = std::make_unique<TMemoryStream32>();
  M->WriteBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  M->SetPosition(0);
  return M;
}

class ArlStreamFiles : public ::testing::Test {
 protected:
  void SetUp() override { Dir_ = arltest::MakeTestDir("arlstreams"); }
  void TearDown() override { arltest::RemoveTestDir(Dir_); }
  fs::path Dir_;
};

// --- CRC -------------------------------------------------------------------------------------------------

TEST(ArlCrc, CheckValuesOfBothPolynomials) {
  const char* Text = "123456789";
  uint32_t Crc32 = 0xFFFFFFFF;
  CrcUpdate32(Text, 9, Crc32);
  EXPECT_EQ(~Crc32, 0xCBF43926u);  // the standard check value; no complement is applied by the routine
  uint16_t Crc16 = 0;
  CrcUpdate16(Text, 9, Crc16);
  EXPECT_EQ(Crc16, 0xBB3D);  // CRC-16/ARC
  // The table is the core's, byte by byte as well.
  uint32_t ByByte = 0xFFFFFFFF;
  for (int I = 0; I < 9; ++I) ByByte = Crc32Byte(static_cast<uint8_t>(Text[I]), ByByte);
  EXPECT_EQ(ByByte, UpdateCrc32(0xFFFFFFFF, Text, 9));
  // Nothing to add leaves the value.
  uint32_t Same = 1234;
  CrcUpdate32(Text, 0, Same);
  EXPECT_EQ(Same, 1234u);
}

// --- Base stream ---------------------------------------------------------------------------------------

// A stream that has only the 32-bit seek of its own.
class TSeek32Only : public TStream32 {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t Count) override { return Count; }
  int32_t Seek32(int32_t Offset, TSeekOrigin) override { return Offset; }
};
// And one with no seek at all.
class TNoSeek : public TStream32 {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t Count) override { return Count; }
};

TEST(ArlStream32, SeekRangesOfTheBase) {
  TSeek32Only S;
  EXPECT_EQ(S.Seek(1000, soBeginning), 1000);
  try {
    S.Seek(int64_t{3} << 30, soBeginning);
    FAIL() << "no range error";
  } catch (const ERangeError& E) {
    EXPECT_STREQ(E.what(), "Range check error");
  }
  EXPECT_THROW(S.SetSize(int64_t{5} << 30), ERangeError);
  TNoSeek N;
  try {
    N.Seek32(0, soCurrent);
    FAIL() << "no stream error";
  } catch (const EStreamError& E) {
    EXPECT_STREQ(E.what(), "Seek not implemented");
  }
}

TEST(ArlStream32, ReadAndWriteBufferRaiseOnShortTransfers) {
  TMemoryStream32 M;
  M.WriteBuffer("abc", 3);
  M.SetPosition(0);
  char Buf[4];
  EXPECT_THROW(M.ReadBuffer(Buf, 4), EReadError);
  TNoSeek Sink;
  EXPECT_NO_THROW(Sink.WriteBuffer("x", 1));
}

TEST(ArlStream32, CopyFromCopiesAllOrStopsWhenCancelled) {
  std::string Text(200000, 'q');
  for (size_t I = 0; I < Text.size(); I += 7) Text[I] = static_cast<char>('a' + I % 26);
  auto SrcOwner = MemoryOf(std::vector<uint8_t>(Text.begin(), Text.end()));
  TMemoryStream32& Src = *SrcOwner;
  TMemoryStream32 Dst;
  int Calls = 0;
  EXPECT_EQ(Dst.CopyFrom(
                Src, nullptr, [&](int64_t, int64_t) { ++Calls; }, 0),
            200000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Dst.Memory()), static_cast<size_t>(Dst.GetSize())), Text);
  EXPECT_EQ(Calls, 4);  // 61440-byte chunks

  // A cancel flag that turns true after the first chunk: the result says what was copied.
  bool Cancel = false;
  TMemoryStream32 Part;
  Src.SetPosition(0);
  EXPECT_EQ(Part.CopyFrom(
                Src, &Cancel, [&](int64_t, int64_t) { Cancel = true; }, 150000),
            61440);
  EXPECT_EQ(Part.GetSize(), 61440);
}

TEST(ArlMemoryStream32, SeekBeyondTheEndAndWriteFillsWithZeros) {
  TMemoryStream32 M;
  M.WriteBuffer("ab", 2);
  EXPECT_EQ(M.Seek(5, soBeginning), 5);
  M.WriteBuffer("c", 1);
  ASSERT_EQ(M.GetSize(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(M.Memory()), 6), std::string("ab\0\0\0c", 6));
  EXPECT_EQ(M.Seek(-1, soBeginning), -1);
  M.SetSize(1);
  EXPECT_EQ(M.Position(), 1);
  char C;
  EXPECT_EQ(M.Read(&C, 1), 0);
}

// --- Files ---------------------------------------------------------------------------------------------

TEST_F(ArlStreamFiles, FileStreamOpenNeverRaises) {
  int32_t Error = -1;
  TFileStream32 Missing((Dir_ / "missing.bin").string(), fmOpenRead | fmShareDenyNone, Error);
  EXPECT_EQ(Error, 255);
  EXPECT_EQ(Missing.Handle(), kInvalidHandle);
  char Buf[8];
  EXPECT_EQ(Missing.Read(Buf, 8), 0);

  TFileStream32 NoFolder((Dir_ / "no" / "such" / "x.bin").string(), fmCreate, Error);
  EXPECT_EQ(Error, 254);

  const std::string Name = (Dir_ / "made.bin").string();
  {
    TFileStream32 Made(Name, fmCreate, Error);
    ASSERT_EQ(Error, 0);
    Made.WriteBuffer("0123456789", 10);
    EXPECT_EQ(Made.Size(), 10);
    EXPECT_EQ(Made.Position(), 10);
  }
  TFileStream32 Again(Name, fmOpenRead | fmShareDenyNone, Error);
  ASSERT_EQ(Error, 0);
  EXPECT_EQ(Again.Seek(-4, soEnd), 6);
  EXPECT_EQ(Again.Read(Buf, 8), 4);
  EXPECT_EQ(std::string(Buf, 4), "6789");
  // The handle routines see the stream's position, and the other way round.
  EXPECT_EQ(FilePosition(Again.Handle()), 10);
  EXPECT_TRUE(SeekFile(Again.Handle(), 2, soBeginning));
  EXPECT_EQ(Again.Read(Buf, 1), 1);
  EXPECT_EQ(Buf[0], '2');
  EXPECT_EQ(FileSizeOf(Again.Handle()), 10);
  EXPECT_NE(FileDosTime(Again.Handle(), 0), 0u);
}

// A file stream against a copy of the file in memory: reads of every size (served from the read-ahead
// buffer, straight from the file, or partly each), seeks from all three origins, writes over bytes the
// buffer holds, and the handle routines moving the descriptor between stream calls.
TEST_F(ArlStreamFiles, StreamReadsAgreeWithTheFileAfterSeeksWritesAndHandleUse) {
  std::string Model(50000, '\0');
  for (size_t I = 0; I < Model.size(); ++I) Model[I] = static_cast<char>('a' + (I * 7 + I / 251) % 26);
  const std::string Name = (Dir_ / "model.bin").string();
  { std::ofstream(Name, std::ios::binary) << Model; }
  int32_t Error = 0;
  TFileStream32 S(Name, fmOpenReadWrite, Error);
  ASSERT_EQ(Error, 0);
  const int32_t Sizes[] = {1, 7, 30, 512, 4095, 4096, 5000, 16384, 20000};
  uint32_t Seed = 12345;
  auto Next = [&Seed](uint32_t N) {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 8) % N;
  };
  int64_t Pos = 0;
  std::vector<char> Buf(20000);
  for (int Step = 0; Step < 3000; ++Step) {
    SCOPED_TRACE(Step);
    switch (Next(10)) {
      case 0: {
        const auto To = static_cast<int64_t>(Next(static_cast<uint32_t>(Model.size()) + 100));
        ASSERT_EQ(S.Seek(To, soBeginning), To);
        Pos = To;
        break;
      }
      case 1: {
        const int64_t By = static_cast<int64_t>(Next(9000)) - 4500;
        const int64_t Want = Pos + By < 0 ? -1 : Pos + By;
        ASSERT_EQ(S.Seek(By, soCurrent), Want);
        if (Want >= 0) Pos = Want;
        break;
      }
      case 2: {
        const auto Back = static_cast<int64_t>(Next(3000));
        ASSERT_EQ(S.Seek(-Back, soEnd), static_cast<int64_t>(Model.size()) - Back);
        Pos = static_cast<int64_t>(Model.size()) - Back;
        break;
      }
      case 3: {
        // A write inside the file, over bytes a read may have buffered.
        if (Pos >= static_cast<int64_t>(Model.size()) - 40) break;
        const std::string Text(static_cast<size_t>(1 + Next(40)), static_cast<char>('A' + Next(26)));
        ASSERT_EQ(S.Write(Text.data(), static_cast<int32_t>(Text.size())), static_cast<int32_t>(Text.size()));
        Model.replace(static_cast<size_t>(Pos), Text.size(), Text);
        Pos += static_cast<int64_t>(Text.size());
        break;
      }
      case 4: {
        // The handle routines: the descriptor is where the stream is, and the stream goes on from where they
        // leave it; a raw write is seen by the stream's next read.
        const THandle H = S.Handle();
        ASSERT_EQ(FilePosition(H), Pos);
        // Near the stream's position, where its buffer may hold the byte written.
        const int64_t To = std::clamp<int64_t>(Pos - 1 - static_cast<int64_t>(Next(50)), 0,
                                               static_cast<int64_t>(Model.size()) - 10);
        ASSERT_TRUE(SeekFile(H, To, soBeginning));
        ASSERT_EQ(FileWrite(H, "#", 1), 1);
        Model[static_cast<size_t>(To)] = '#';
        ASSERT_EQ(FileRead(H, Buf.data(), 3), 3);
        ASSERT_EQ(std::string(Buf.data(), 3), Model.substr(static_cast<size_t>(To) + 1, 3));
        ASSERT_EQ(S.Position(), To + 4);
        ASSERT_EQ(S.Seek(To, soBeginning), To);
        ASSERT_EQ(S.Read(Buf.data(), 8), 8);
        ASSERT_EQ(std::string(Buf.data(), 8), Model.substr(static_cast<size_t>(To), 8));
        Pos = To + 8;
        break;
      }
      default: {
        const int32_t N = Sizes[Next(std::size(Sizes))];
        const int64_t Left = std::max<int64_t>(static_cast<int64_t>(Model.size()) - Pos, 0);
        const auto Want = static_cast<int32_t>(std::min<int64_t>(N, Left));
        ASSERT_EQ(S.Read(Buf.data(), N), Want);
        ASSERT_EQ(
            std::string(Buf.data(), static_cast<size_t>(Want)),
            Model.substr(static_cast<size_t>(std::min<int64_t>(Pos, static_cast<int64_t>(Model.size()))),
                         static_cast<size_t>(Want)));
        Pos += Want;
        break;
      }
    }
    ASSERT_EQ(S.Position(), Pos);
  }
}

TEST_F(ArlStreamFiles, SmallReadsShareReadsOfTheFile) {
  const std::string Name = (Dir_ / "small.bin").string();
  { std::ofstream(Name, std::ios::binary) << std::string(100000, 'x'); }
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  int32_t Error = 0;
  TFileStream32 S(Name, fmOpenRead | fmShareDenyNone, Error);
  ASSERT_EQ(Error, 0);
  char Header[30];
  int32_t Total = 0;
  S.SetPosition(90000);
  for (int32_t N = 0; (N = S.Read(Header, sizeof Header)) > 0;) Total += N;
  EXPECT_EQ(Total, 10000);
  EXPECT_LE(Layer.Calls(TFileOp::Read), 3);

  // Back and forth between two places, as a directory and the headers it points to are read.
  const int64_t Before = Layer.Calls(TFileOp::Read);
  for (int I = 0; I < 200; ++I) {
    ASSERT_TRUE(S.Seek(I * 30, soBeginning) == I * 30 && S.Read(Header, sizeof Header) == 30);
    ASSERT_TRUE(S.Seek(50000 + I * 30, soBeginning) == 50000 + I * 30 && S.Read(Header, sizeof Header) == 30);
  }
  EXPECT_LE(Layer.Calls(TFileOp::Read) - Before, 4);

  // A failed read is a short read, and the stream stays where it was.
  TFileStream32 Again(Name, fmOpenRead | fmShareDenyNone, Error);
  ASSERT_EQ(Error, 0);
  Again.SetPosition(9000);
  Layer.FailCall(TFileOp::Read, 1, EIO);
  EXPECT_EQ(Again.Read(Header, sizeof Header), 0);
  EXPECT_EQ(Again.Position(), 9000);
  EXPECT_EQ(Again.Read(Header, sizeof Header), 30);
}

TEST_F(ArlStreamFiles, FailedWritesOfTheFileLayerAreShortWrites) {
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  int32_t Error = 0;
  TFileStream32 Out((Dir_ / "out.bin").string(), fmCreate, Error);
  ASSERT_EQ(Error, 0);
  Layer.FailCall(TFileOp::Write, 1, ENOSPC);
  EXPECT_EQ(Out.Write("abc", 3), 0);
  Layer.FailCall(TFileOp::Write, 1, ENOSPC);
  EXPECT_THROW(Out.WriteBuffer("abc", 3), EWriteError);
  EXPECT_EQ(Out.Size(), 0);
}

TEST(ArlFileIo, DosStampsOfUnixTimes) {
  const char* OldTz = std::getenv("TZ");
  const std::string Saved = OldTz ? OldTz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  // 2020-05-06 07:08:10 UTC.
  const uint32_t Stamp = UnixToDosTime(1588748890);
  EXPECT_EQ(Stamp >> 25, 40u);
  EXPECT_EQ((Stamp >> 21) & 15, 5u);
  EXPECT_EQ((Stamp >> 16) & 31, 6u);
  EXPECT_EQ((Stamp >> 11) & 31, 7u);
  EXPECT_EQ((Stamp >> 5) & 63, 8u);
  EXPECT_EQ((Stamp & 31) * 2, 10u);
  EXPECT_EQ(UnixToDosTime(0), 0u);  // 1970 is before the DOS range
  if (OldTz)
    setenv("TZ", Saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

// --- Inflating stream ---------------------------------------------------------------------------------

TEST(ArlDecompressStream, InflatesInPiecesOfAnySize) {
  const std::string Text = Lines(5000);
  const auto Packed = Deflate(Text);
  for (int32_t Piece : {1, 7, 4096, 65536 + 3}) {
    auto SrcOwner = MemoryOf(Packed);
    TMemoryStream32& Src = *SrcOwner;
    TDecompressStream Z(Src);
    std::string Out;
    std::vector<char> Buf(static_cast<size_t>(Piece));
    for (int32_t N; (N = Z.Read(Buf.data(), Piece)) > 0;) Out.append(Buf.data(), static_cast<size_t>(N));
    EXPECT_EQ(Out, Text) << "piece " << Piece;
    EXPECT_TRUE(Z.AtStreamEnd());
    EXPECT_FALSE(Z.Failed());
  }
}

// A member whose last symbol is a long match: zlib takes in the last input bytes before it has handed
// out the whole match. Small reads used to stop when the source ran out and lost the rest of it.
TEST(ArlDecompressStream, ALongMatchAtTheEndComesOutWhole) {
  for (int32_t Run = 200; Run < 300; ++Run)
    for (int32_t Piece : {1, 7, 4096}) {
      const std::string Text = "hello archive\n" + std::string(static_cast<size_t>(Run), '\xff');
      const auto Packed = Deflate(Text);
      auto SrcOwner = MemoryOf(Packed);
      TDecompressStream Z(*SrcOwner);
      std::string Out;
      std::vector<char> Buf(static_cast<size_t>(Piece));
      for (int32_t N; (N = Z.Read(Buf.data(), Piece)) > 0;) Out.append(Buf.data(), static_cast<size_t>(N));
      ASSERT_EQ(Out, Text) << "run " << Run << ", piece " << Piece;
      EXPECT_TRUE(Z.AtStreamEnd()) << "run " << Run << ", piece " << Piece;
    }
}

TEST(ArlDecompressStream, LeavesTheSourceRightAfterTheMember) {
  const std::string Text = Lines(300);
  auto Bytes = Deflate(Text);
  const auto MemberEnd = static_cast<int64_t>(Bytes.size()) + 5;
  std::vector<uint8_t> Archive = {'H', 'E', 'A', 'D', '!'};
  Archive.insert(Archive.end(), Bytes.begin(), Bytes.end());
  const std::string Trailer = "NEXT HEADER and more data that follows the member";
  Archive.insert(Archive.end(), Trailer.begin(), Trailer.end());
  auto SrcOwner = MemoryOf(Archive);
  TMemoryStream32& Src = *SrcOwner;
  Src.SetPosition(5);
  {
    TDecompressStream Z(Src);
    std::vector<char> Buf(Text.size() + 100);
    EXPECT_EQ(Z.Read(Buf.data(), static_cast<int32_t>(Buf.size())), static_cast<int32_t>(Text.size()));
    EXPECT_EQ(Src.Position(), static_cast<int64_t>(Archive.size()));  // the whole buffer was taken
  }
  EXPECT_EQ(Src.Position(), MemberEnd);
}

TEST(ArlDecompressStream, SeekingForwardDiscardsAndSeekingToZeroStartsTheMemberOver) {
  const std::string Text = Lines(2000);
  auto Bytes = Deflate(Text);
  std::vector<uint8_t> Archive(100, 'x');  // the member does not start at the source's start
  Archive.insert(Archive.end(), Bytes.begin(), Bytes.end());
  auto SrcOwner = MemoryOf(Archive);
  TMemoryStream32& Src = *SrcOwner;
  Src.SetPosition(100);
  TDecompressStream Z(Src);
  EXPECT_EQ(Z.Seek(10000, soBeginning), 10000);
  char Buf[16];
  ASSERT_EQ(Z.Read(Buf, 16), 16);
  EXPECT_EQ(std::string(Buf, 16), Text.substr(10000, 16));
  EXPECT_EQ(Z.Seek(-50, soCurrent), 10016);  // backwards: stays
  // Starting over inflates the member again, not the bytes in front of it.
  EXPECT_EQ(Z.Seek(0, soBeginning), 0);
  ASSERT_EQ(Z.Read(Buf, 16), 16);
  EXPECT_EQ(std::string(Buf, 16), Text.substr(0, 16));
  EXPECT_EQ(Z.Write("a", 1), -1);
}

TEST(ArlDecompressStream, DamagedAndTruncatedDataEndCleanly) {
  const std::string Text = Lines(3000);
  auto Bytes = Deflate(Text);
  // A block type of 3 does not exist: the first byte 0x07 says "final, type 3".
  std::vector<uint8_t> Bad = Bytes;
  Bad[0] = 0x07;
  auto SrcOwner = MemoryOf(Bad);
  TMemoryStream32& Src = *SrcOwner;
  TDecompressStream Z(Src);
  char Buf[4096];
  const int32_t R = Z.Read(Buf, sizeof Buf);
  EXPECT_LT(R, 0);
  EXPECT_TRUE(Z.Failed());
  EXPECT_EQ(Z.Read(Buf, sizeof Buf), R);  // and stays failed

  // Cut in the middle: what was produced comes out, then the input is exhausted without an end.
  std::vector<uint8_t> Cut(Bytes.begin(), Bytes.begin() + static_cast<long>(Bytes.size() / 2));
  auto Src2Owner = MemoryOf(Cut);
  TMemoryStream32& Src2 = *Src2Owner;
  TDecompressStream Z2(Src2);
  std::string Out;
  for (int32_t N; (N = Z2.Read(Buf, sizeof Buf)) > 0;) Out.append(Buf, static_cast<size_t>(N));
  EXPECT_TRUE(Z2.InputExhausted());
  EXPECT_FALSE(Z2.AtStreamEnd());
  EXPECT_FALSE(Out.empty());
  EXPECT_EQ(Out, Text.substr(0, Out.size()));
}

TEST(ArlDecompressStream, DeciphersEachBufferBeforeInflating) {
  const std::string Text = Lines(100);
  auto Bytes = Deflate(Text);
  for (auto& B : Bytes) B ^= 0x5A;
  auto SrcOwner = MemoryOf(Bytes);
  TMemoryStream32& Src = *SrcOwner;
  TDecompressStream Z(Src, [](uint8_t* P, int32_t N) {
    for (int32_t I = 0; I < N; ++I) P[I] ^= 0x5A;
  });
  std::vector<char> Buf(Text.size());
  EXPECT_EQ(Z.Read(Buf.data(), static_cast<int32_t>(Buf.size())), static_cast<int32_t>(Text.size()));
  EXPECT_EQ(std::string(Buf.data(), Buf.size()), Text);
}

TEST(ArlDecompressStream, ContinuesFromANewSourceWhenTheFirstRunsOut) {
  const std::string Text = Lines(4000);
  auto Bytes = Deflate(Text);
  const size_t Half = Bytes.size() / 2;
  auto FirstOwner = MemoryOf(std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + static_cast<long>(Half)));
  TMemoryStream32& First = *FirstOwner;
  auto SecondOwner = MemoryOf(std::vector<uint8_t>(Bytes.begin() + static_cast<long>(Half), Bytes.end()));
  TMemoryStream32& Second = *SecondOwner;
  TDecompressStream Z(First);
  std::string Out;
  char Buf[1000];
  for (int32_t N; (N = Z.Read(Buf, sizeof Buf)) > 0;) Out.append(Buf, static_cast<size_t>(N));
  ASSERT_TRUE(Z.InputExhausted());
  Z.ContinueFrom(Second);
  for (int32_t N; (N = Z.Read(Buf, sizeof Buf)) > 0;) Out.append(Buf, static_cast<size_t>(N));
  EXPECT_TRUE(Z.AtStreamEnd());
  EXPECT_EQ(Out, Text);
}

// --- InflateBuffer ---------------------------------------------------------------------------------------

TEST(ArlInflateBuffer, GrowsInStepsToTheExactSize) {
  // 300 KB of a repeated pattern deflates to well under a kilobyte.
  std::string Text;
  while (Text.size() < 300 * 1024) Text += "pattern of the resource ";
  Text.resize(300 * 1024);
  const auto Packed = Deflate(Text, 9);
  ASSERT_LT(Packed.size(), 1024u);
  std::vector<uint8_t> Out;
  InflateBuffer(Packed.data(), static_cast<int32_t>(Packed.size()), Out, 0);
  ASSERT_EQ(Out.size(), Text.size());
  EXPECT_EQ(std::memcmp(Out.data(), Text.data(), Text.size()), 0);
  // An estimate that is right from the start, and one far too small, give the same.
  std::vector<uint8_t> Out2;
  InflateBuffer(Packed.data(), static_cast<int32_t>(Packed.size()), Out2, 434176);
  EXPECT_EQ(Out2, Out);
}

TEST(ArlInflateBuffer, DamagedTruncatedOrOversizedInputRaises) {
  const std::string Text = Lines(2000);
  auto Packed = Deflate(Text);
  std::vector<uint8_t> Out = {1, 2, 3};
  auto Bad = Packed;
  Bad[0] = 0x07;  // block type 3
  EXPECT_THROW(InflateBuffer(Bad.data(), static_cast<int32_t>(Bad.size()), Out, 0), EInflateError);
  EXPECT_TRUE(Out.empty());
  // Cut short: no end of the deflated data, and no endless growing.
  EXPECT_THROW(InflateBuffer(Packed.data(), static_cast<int32_t>(Packed.size() / 3), Out, 0), EInflateError);
  EXPECT_THROW(InflateBuffer(Packed.data(), 0, Out, 0), EInflateError);
  // More output than allowed.
  EXPECT_THROW(InflateBuffer(Packed.data(), static_cast<int32_t>(Packed.size()), Out, 0, 1000),
               EInflateError);
  InflateBuffer(Packed.data(), static_cast<int32_t>(Packed.size()), Out, 0,
                static_cast<int64_t>(Text.size()));
  EXPECT_EQ(Out.size(), Text.size());
}

}  // namespace
