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
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> out(deflateBound(&z, Text.size()) + 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Text.data()));
  z.avail_in = static_cast<uInt>(Text.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// A text that compresses well but not to nothing: numbered lines.
std::string Lines(int N) {
  std::string s;
  for (int i = 0; i < N; ++i) s += "line " + std::to_string(i) + " of the member\n";
  return s;
}

std::unique_ptr<TMemoryStream32> MemoryOf(const std::vector<uint8_t>& Bytes) {
  auto m = std::make_unique<TMemoryStream32>();
  m->WriteBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  m->SetPosition(0);
  return m;
}

class ArlStreamFiles : public ::testing::Test {
 protected:
  void SetUp() override { Dir = arltest::MakeTestDir("arlstreams"); }
  void TearDown() override { arltest::RemoveTestDir(Dir); }
  fs::path Dir;
};

// --- CRC -------------------------------------------------------------------------------------------------

TEST(ArlCrc, CheckValuesOfBothPolynomials) {
  const char* text = "123456789";
  uint32_t crc32 = 0xFFFFFFFF;
  CrcUpdate32(text, 9, crc32);
  EXPECT_EQ(~crc32, 0xCBF43926u);  // the standard check value; no complement is applied by the routine
  uint16_t crc16 = 0;
  CrcUpdate16(text, 9, crc16);
  EXPECT_EQ(crc16, 0xBB3D);  // CRC-16/ARC
  // The table is the core's, byte by byte as well.
  uint32_t byByte = 0xFFFFFFFF;
  for (int i = 0; i < 9; ++i) byByte = Crc32Byte(static_cast<uint8_t>(text[i]), byByte);
  EXPECT_EQ(byByte, UpdateCrc32(0xFFFFFFFF, text, 9));
  // Nothing to add leaves the value.
  uint32_t same = 1234;
  CrcUpdate32(text, 0, same);
  EXPECT_EQ(same, 1234u);
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
  TSeek32Only s;
  EXPECT_EQ(s.Seek(1000, soBeginning), 1000);
  try {
    s.Seek(int64_t{3} << 30, soBeginning);
    FAIL() << "no range error";
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Range check error");
  }
  EXPECT_THROW(s.SetSize(int64_t{5} << 30), ERangeError);
  TNoSeek n;
  try {
    n.Seek32(0, soCurrent);
    FAIL() << "no stream error";
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Seek not implemented");
  }
}

TEST(ArlStream32, ReadAndWriteBufferRaiseOnShortTransfers) {
  TMemoryStream32 m;
  m.WriteBuffer("abc", 3);
  m.SetPosition(0);
  char buf[4];
  EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);
  TNoSeek sink;
  EXPECT_NO_THROW(sink.WriteBuffer("x", 1));
}

TEST(ArlStream32, CopyFromCopiesAllOrStopsWhenCancelled) {
  std::string text(200000, 'q');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 26);
  auto srcOwner = MemoryOf(std::vector<uint8_t>(text.begin(), text.end()));
  TMemoryStream32& src = *srcOwner;
  TMemoryStream32 dst;
  int calls = 0;
  EXPECT_EQ(dst.CopyFrom(
                src, nullptr, [&](int64_t, int64_t) { ++calls; }, 0),
            200000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), static_cast<size_t>(dst.GetSize())), text);
  EXPECT_EQ(calls, 4);  // 61440-byte chunks

  // A cancel flag that turns true after the first chunk: the result says what was copied.
  bool cancel = false;
  TMemoryStream32 part;
  src.SetPosition(0);
  EXPECT_EQ(part.CopyFrom(
                src, &cancel, [&](int64_t, int64_t) { cancel = true; }, 150000),
            61440);
  EXPECT_EQ(part.GetSize(), 61440);
}

TEST(ArlMemoryStream32, SeekBeyondTheEndAndWriteFillsWithZeros) {
  TMemoryStream32 m;
  m.WriteBuffer("ab", 2);
  EXPECT_EQ(m.Seek(5, soBeginning), 5);
  m.WriteBuffer("c", 1);
  ASSERT_EQ(m.GetSize(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), 6), std::string("ab\0\0\0c", 6));
  EXPECT_EQ(m.Seek(-1, soBeginning), -1);
  m.SetSize(1);
  EXPECT_EQ(m.Position(), 1);
  char c;
  EXPECT_EQ(m.Read(&c, 1), 0);
}

// --- Files ---------------------------------------------------------------------------------------------

TEST_F(ArlStreamFiles, FileStreamOpenNeverRaises) {
  int32_t error = -1;
  TFileStream32 missing((Dir / "missing.bin").string(), fmOpenRead | fmShareDenyNone, error);
  EXPECT_EQ(error, 255);
  EXPECT_EQ(missing.Handle(), kInvalidHandle);
  char buf[8];
  EXPECT_EQ(missing.Read(buf, 8), 0);

  TFileStream32 noFolder((Dir / "no" / "such" / "x.bin").string(), fmCreate, error);
  EXPECT_EQ(error, 254);

  const std::string name = (Dir / "made.bin").string();
  {
    TFileStream32 made(name, fmCreate, error);
    ASSERT_EQ(error, 0);
    made.WriteBuffer("0123456789", 10);
    EXPECT_EQ(made.Size(), 10);
    EXPECT_EQ(made.Position(), 10);
  }
  TFileStream32 again(name, fmOpenRead | fmShareDenyNone, error);
  ASSERT_EQ(error, 0);
  EXPECT_EQ(again.Seek(-4, soEnd), 6);
  EXPECT_EQ(again.Read(buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "6789");
  // The handle routines see the stream's position, and the other way round.
  EXPECT_EQ(FilePosition(again.Handle()), 10);
  EXPECT_TRUE(SeekFile(again.Handle(), 2, soBeginning));
  EXPECT_EQ(again.Read(buf, 1), 1);
  EXPECT_EQ(buf[0], '2');
  EXPECT_EQ(FileSizeOf(again.Handle()), 10);
  EXPECT_NE(FileDosTime(again.Handle(), 0), 0u);
}

// A file stream against a copy of the file in memory: reads of every size (served from the read-ahead
// buffer, straight from the file, or partly each), seeks from all three origins, writes over bytes the
// buffer holds, and the handle routines moving the descriptor between stream calls.
TEST_F(ArlStreamFiles, StreamReadsAgreeWithTheFileAfterSeeksWritesAndHandleUse) {
  std::string model(50000, '\0');
  for (size_t i = 0; i < model.size(); ++i) model[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  const std::string name = (Dir / "model.bin").string();
  { std::ofstream(name, std::ios::binary) << model; }
  int32_t error = 0;
  TFileStream32 s(name, fmOpenReadWrite, error);
  ASSERT_EQ(error, 0);
  const int32_t sizes[] = {1, 7, 30, 512, 4095, 4096, 5000, 16384, 20000};
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  int64_t pos = 0;
  std::vector<char> buf(20000);
  for (int step = 0; step < 3000; ++step) {
    SCOPED_TRACE(step);
    switch (next(10)) {
      case 0: {
        const auto to = static_cast<int64_t>(next(static_cast<uint32_t>(model.size()) + 100));
        ASSERT_EQ(s.Seek(to, soBeginning), to);
        pos = to;
        break;
      }
      case 1: {
        const int64_t by = static_cast<int64_t>(next(9000)) - 4500;
        const int64_t want = pos + by < 0 ? -1 : pos + by;
        ASSERT_EQ(s.Seek(by, soCurrent), want);
        if (want >= 0) pos = want;
        break;
      }
      case 2: {
        const auto back = static_cast<int64_t>(next(3000));
        ASSERT_EQ(s.Seek(-back, soEnd), static_cast<int64_t>(model.size()) - back);
        pos = static_cast<int64_t>(model.size()) - back;
        break;
      }
      case 3: {
        // A write inside the file, over bytes a read may have buffered.
        if (pos >= static_cast<int64_t>(model.size()) - 40) break;
        const std::string text(static_cast<size_t>(1 + next(40)), static_cast<char>('A' + next(26)));
        ASSERT_EQ(s.Write(text.data(), static_cast<int32_t>(text.size())), static_cast<int32_t>(text.size()));
        model.replace(static_cast<size_t>(pos), text.size(), text);
        pos += static_cast<int64_t>(text.size());
        break;
      }
      case 4: {
        // The handle routines: the descriptor is where the stream is, and the stream goes on from where they
        // leave it; a raw write is seen by the stream's next read.
        const THandle h = s.Handle();
        ASSERT_EQ(FilePosition(h), pos);
        // Near the stream's position, where its buffer may hold the byte written.
        const int64_t to = std::clamp<int64_t>(pos - 1 - static_cast<int64_t>(next(50)), 0,
                                               static_cast<int64_t>(model.size()) - 10);
        ASSERT_TRUE(SeekFile(h, to, soBeginning));
        ASSERT_EQ(FileWrite(h, "#", 1), 1);
        model[static_cast<size_t>(to)] = '#';
        ASSERT_EQ(FileRead(h, buf.data(), 3), 3);
        ASSERT_EQ(std::string(buf.data(), 3), model.substr(static_cast<size_t>(to) + 1, 3));
        ASSERT_EQ(s.Position(), to + 4);
        ASSERT_EQ(s.Seek(to, soBeginning), to);
        ASSERT_EQ(s.Read(buf.data(), 8), 8);
        ASSERT_EQ(std::string(buf.data(), 8), model.substr(static_cast<size_t>(to), 8));
        pos = to + 8;
        break;
      }
      default: {
        const int32_t n = sizes[next(std::size(sizes))];
        const int64_t left = std::max<int64_t>(static_cast<int64_t>(model.size()) - pos, 0);
        const auto want = static_cast<int32_t>(std::min<int64_t>(n, left));
        ASSERT_EQ(s.Read(buf.data(), n), want);
        ASSERT_EQ(
            std::string(buf.data(), static_cast<size_t>(want)),
            model.substr(static_cast<size_t>(std::min<int64_t>(pos, static_cast<int64_t>(model.size()))),
                         static_cast<size_t>(want)));
        pos += want;
        break;
      }
    }
    ASSERT_EQ(s.Position(), pos);
  }
}

TEST_F(ArlStreamFiles, SmallReadsShareReadsOfTheFile) {
  const std::string name = (Dir / "small.bin").string();
  { std::ofstream(name, std::ios::binary) << std::string(100000, 'x'); }
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  int32_t error = 0;
  TFileStream32 s(name, fmOpenRead | fmShareDenyNone, error);
  ASSERT_EQ(error, 0);
  char header[30];
  int32_t total = 0;
  s.SetPosition(90000);
  for (int32_t n = 0; (n = s.Read(header, sizeof header)) > 0;) total += n;
  EXPECT_EQ(total, 10000);
  EXPECT_LE(layer.Calls(TFileOp::Read), 3);

  // Back and forth between two places, as a directory and the headers it points to are read.
  const int64_t before = layer.Calls(TFileOp::Read);
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(s.Seek(i * 30, soBeginning) == i * 30 && s.Read(header, sizeof header) == 30);
    ASSERT_TRUE(s.Seek(50000 + i * 30, soBeginning) == 50000 + i * 30 && s.Read(header, sizeof header) == 30);
  }
  EXPECT_LE(layer.Calls(TFileOp::Read) - before, 4);

  // A failed read is a short read, and the stream stays where it was.
  TFileStream32 again(name, fmOpenRead | fmShareDenyNone, error);
  ASSERT_EQ(error, 0);
  again.SetPosition(9000);
  layer.FailCall(TFileOp::Read, 1, EIO);
  EXPECT_EQ(again.Read(header, sizeof header), 0);
  EXPECT_EQ(again.Position(), 9000);
  EXPECT_EQ(again.Read(header, sizeof header), 30);
}

TEST_F(ArlStreamFiles, FailedWritesOfTheFileLayerAreShortWrites) {
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  int32_t error = 0;
  TFileStream32 out((Dir / "out.bin").string(), fmCreate, error);
  ASSERT_EQ(error, 0);
  layer.FailCall(TFileOp::Write, 1, ENOSPC);
  EXPECT_EQ(out.Write("abc", 3), 0);
  layer.FailCall(TFileOp::Write, 1, ENOSPC);
  EXPECT_THROW(out.WriteBuffer("abc", 3), EWriteError);
  EXPECT_EQ(out.Size(), 0);
}

TEST(ArlFileIo, DosStampsOfUnixTimes) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  // 2020-05-06 07:08:10 UTC.
  const uint32_t stamp = UnixToDosTime(1588748890);
  EXPECT_EQ(stamp >> 25, 40u);
  EXPECT_EQ((stamp >> 21) & 15, 5u);
  EXPECT_EQ((stamp >> 16) & 31, 6u);
  EXPECT_EQ((stamp >> 11) & 31, 7u);
  EXPECT_EQ((stamp >> 5) & 63, 8u);
  EXPECT_EQ((stamp & 31) * 2, 10u);
  EXPECT_EQ(UnixToDosTime(0), 0u);  // 1970 is before the DOS range
  if (oldTz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

// --- Inflating stream ---------------------------------------------------------------------------------

TEST(ArlDecompressStream, InflatesInPiecesOfAnySize) {
  const std::string text = Lines(5000);
  const auto packed = Deflate(text);
  for (int32_t piece : {1, 7, 4096, 65536 + 3}) {
    auto srcOwner = MemoryOf(packed);
    TMemoryStream32& src = *srcOwner;
    TDecompressStream z(src);
    std::string out;
    std::vector<char> buf(static_cast<size_t>(piece));
    for (int32_t n; (n = z.Read(buf.data(), piece)) > 0;) out.append(buf.data(), static_cast<size_t>(n));
    EXPECT_EQ(out, text) << "piece " << piece;
    EXPECT_TRUE(z.AtStreamEnd());
    EXPECT_FALSE(z.Failed());
  }
}

// A member whose last symbol is a long match: zlib takes in the last input bytes before it has handed
// out the whole match. Small reads used to stop when the source ran out and lost the rest of it.
TEST(ArlDecompressStream, ALongMatchAtTheEndComesOutWhole) {
  for (int32_t run = 200; run < 300; ++run)
    for (int32_t piece : {1, 7, 4096}) {
      const std::string text = "hello archive\n" + std::string(static_cast<size_t>(run), '\xff');
      const auto packed = Deflate(text);
      auto srcOwner = MemoryOf(packed);
      TDecompressStream z(*srcOwner);
      std::string out;
      std::vector<char> buf(static_cast<size_t>(piece));
      for (int32_t n; (n = z.Read(buf.data(), piece)) > 0;) out.append(buf.data(), static_cast<size_t>(n));
      ASSERT_EQ(out, text) << "run " << run << ", piece " << piece;
      EXPECT_TRUE(z.AtStreamEnd()) << "run " << run << ", piece " << piece;
    }
}

TEST(ArlDecompressStream, LeavesTheSourceRightAfterTheMember) {
  const std::string text = Lines(300);
  auto bytes = Deflate(text);
  const auto memberEnd = static_cast<int64_t>(bytes.size()) + 5;
  std::vector<uint8_t> archive = {'H', 'E', 'A', 'D', '!'};
  archive.insert(archive.end(), bytes.begin(), bytes.end());
  const std::string trailer = "NEXT HEADER and more data that follows the member";
  archive.insert(archive.end(), trailer.begin(), trailer.end());
  auto srcOwner = MemoryOf(archive);
  TMemoryStream32& src = *srcOwner;
  src.SetPosition(5);
  {
    TDecompressStream z(src);
    std::vector<char> buf(text.size() + 100);
    EXPECT_EQ(z.Read(buf.data(), static_cast<int32_t>(buf.size())), static_cast<int32_t>(text.size()));
    EXPECT_EQ(src.Position(), static_cast<int64_t>(archive.size()));  // the whole buffer was taken
  }
  EXPECT_EQ(src.Position(), memberEnd);
}

TEST(ArlDecompressStream, SeekingForwardDiscardsAndSeekingToZeroStartsTheMemberOver) {
  const std::string text = Lines(2000);
  auto bytes = Deflate(text);
  std::vector<uint8_t> archive(100, 'x');  // the member does not start at the source's start
  archive.insert(archive.end(), bytes.begin(), bytes.end());
  auto srcOwner = MemoryOf(archive);
  TMemoryStream32& src = *srcOwner;
  src.SetPosition(100);
  TDecompressStream z(src);
  EXPECT_EQ(z.Seek(10000, soBeginning), 10000);
  char buf[16];
  ASSERT_EQ(z.Read(buf, 16), 16);
  EXPECT_EQ(std::string(buf, 16), text.substr(10000, 16));
  EXPECT_EQ(z.Seek(-50, soCurrent), 10016);  // backwards: stays
  // Starting over inflates the member again, not the bytes in front of it.
  EXPECT_EQ(z.Seek(0, soBeginning), 0);
  ASSERT_EQ(z.Read(buf, 16), 16);
  EXPECT_EQ(std::string(buf, 16), text.substr(0, 16));
  EXPECT_EQ(z.Write("a", 1), -1);
}

TEST(ArlDecompressStream, DamagedAndTruncatedDataEndCleanly) {
  const std::string text = Lines(3000);
  auto bytes = Deflate(text);
  // A block type of 3 does not exist: the first byte 0x07 says "final, type 3".
  std::vector<uint8_t> bad = bytes;
  bad[0] = 0x07;
  auto srcOwner = MemoryOf(bad);
  TMemoryStream32& src = *srcOwner;
  TDecompressStream z(src);
  char buf[4096];
  const int32_t r = z.Read(buf, sizeof buf);
  EXPECT_LT(r, 0);
  EXPECT_TRUE(z.Failed());
  EXPECT_EQ(z.Read(buf, sizeof buf), r);  // and stays failed

  // Cut in the middle: what was produced comes out, then the input is exhausted without an end.
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
  auto src2Owner = MemoryOf(cut);
  TMemoryStream32& src2 = *src2Owner;
  TDecompressStream z2(src2);
  std::string out;
  for (int32_t n; (n = z2.Read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  EXPECT_TRUE(z2.InputExhausted());
  EXPECT_FALSE(z2.AtStreamEnd());
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out, text.substr(0, out.size()));
}

TEST(ArlDecompressStream, DeciphersEachBufferBeforeInflating) {
  const std::string text = Lines(100);
  auto bytes = Deflate(text);
  for (auto& b : bytes) b ^= 0x5A;
  auto srcOwner = MemoryOf(bytes);
  TMemoryStream32& src = *srcOwner;
  TDecompressStream z(src, [](uint8_t* p, int32_t n) {
    for (int32_t i = 0; i < n; ++i) p[i] ^= 0x5A;
  });
  std::vector<char> buf(text.size());
  EXPECT_EQ(z.Read(buf.data(), static_cast<int32_t>(buf.size())), static_cast<int32_t>(text.size()));
  EXPECT_EQ(std::string(buf.data(), buf.size()), text);
}

TEST(ArlDecompressStream, ContinuesFromANewSourceWhenTheFirstRunsOut) {
  const std::string text = Lines(4000);
  auto bytes = Deflate(text);
  const size_t half = bytes.size() / 2;
  auto firstOwner = MemoryOf(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(half)));
  TMemoryStream32& first = *firstOwner;
  auto secondOwner = MemoryOf(std::vector<uint8_t>(bytes.begin() + static_cast<long>(half), bytes.end()));
  TMemoryStream32& second = *secondOwner;
  TDecompressStream z(first);
  std::string out;
  char buf[1000];
  for (int32_t n; (n = z.Read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  ASSERT_TRUE(z.InputExhausted());
  z.ContinueFrom(second);
  for (int32_t n; (n = z.Read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  EXPECT_TRUE(z.AtStreamEnd());
  EXPECT_EQ(out, text);
}

// --- InflateBuffer ---------------------------------------------------------------------------------------

TEST(ArlInflateBuffer, GrowsInStepsToTheExactSize) {
  // 300 KB of a repeated pattern deflates to well under a kilobyte.
  std::string text;
  while (text.size() < 300 * 1024) text += "pattern of the resource ";
  text.resize(300 * 1024);
  const auto packed = Deflate(text, 9);
  ASSERT_LT(packed.size(), 1024u);
  std::vector<uint8_t> out;
  InflateBuffer(packed.data(), static_cast<int32_t>(packed.size()), out, 0);
  ASSERT_EQ(out.size(), text.size());
  EXPECT_EQ(std::memcmp(out.data(), text.data(), text.size()), 0);
  // An estimate that is right from the start, and one far too small, give the same.
  std::vector<uint8_t> out2;
  InflateBuffer(packed.data(), static_cast<int32_t>(packed.size()), out2, 434176);
  EXPECT_EQ(out2, out);
}

TEST(ArlInflateBuffer, DamagedTruncatedOrOversizedInputRaises) {
  const std::string text = Lines(2000);
  auto packed = Deflate(text);
  std::vector<uint8_t> out = {1, 2, 3};
  auto bad = packed;
  bad[0] = 0x07;  // block type 3
  EXPECT_THROW(InflateBuffer(bad.data(), static_cast<int32_t>(bad.size()), out, 0), EInflateError);
  EXPECT_TRUE(out.empty());
  // Cut short: no end of the deflated data, and no endless growing.
  EXPECT_THROW(InflateBuffer(packed.data(), static_cast<int32_t>(packed.size() / 3), out, 0), EInflateError);
  EXPECT_THROW(InflateBuffer(packed.data(), 0, out, 0), EInflateError);
  // More output than allowed.
  EXPECT_THROW(InflateBuffer(packed.data(), static_cast<int32_t>(packed.size()), out, 0, 1000),
               EInflateError);
  InflateBuffer(packed.data(), static_cast<int32_t>(packed.size()), out, 0,
                static_cast<int64_t>(text.size()));
  EXPECT_EQ(out.size(), text.size());
}

}  // namespace
