#include "core/VStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Bytes(TVBaseMemStream& s) {
  return std::string(reinterpret_cast<const char*>(s.GetMemory()), static_cast<size_t>(s.GetSize()));
}

std::string ReadAll(TVStream& s, int32_t chunk) {
  std::string out;
  std::string buf(static_cast<size_t>(chunk), '\0');
  for (int32_t n; (n = s.Read(buf.data(), chunk)) > 0;) out.append(buf, 0, static_cast<size_t>(n));
  return out;
}

// The message of the EVStream that `action` raises; fails the test when it raises none.
std::string StreamError(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVStream& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no EVStream raised";
  return {};
}

std::string Filler(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 23);  // never contains the patterns below
  return s;
}

TEST(VStreamTest, TypedWritesHaveTheExactLittleEndianLayoutAndReadBack) {
  struct Case {
    const char* name;
    std::function<void(TVStream&)> write;
    std::string bytes;
    std::function<void(TVStream&)> readBack;
  };
  const std::vector<Case> cases = {
      {"byte", [](TVStream& s) { s.WriteByte(0xAB); }, "\xAB",
       [](TVStream& s) { EXPECT_EQ(s.ReadByte(), 0xAB); }},
      {"bool", [](TVStream& s) { s.WriteByte(2); }, "\x02", [](TVStream& s) { EXPECT_TRUE(s.ReadBool()); }},
      {"int16", [](TVStream& s) { s.WriteInt16(0x1234); }, "\x34\x12",
       [](TVStream& s) { EXPECT_EQ(s.ReadInt16(), 0x1234); }},
      {"negative int16", [](TVStream& s) { s.WriteInt16(-2); }, "\xFE\xFF",
       [](TVStream& s) { EXPECT_EQ(s.ReadInt16(), -2); }},
      {"int32", [](TVStream& s) { s.WriteInt32(0x12345678); }, "\x78\x56\x34\x12",
       [](TVStream& s) { EXPECT_EQ(s.ReadInt32(), 0x12345678); }},
      {"int32 min", [](TVStream& s) { s.WriteInt32(INT32_MIN); }, std::string("\0\0\0\x80", 4),
       [](TVStream& s) { EXPECT_EQ(s.ReadInt32(), INT32_MIN); }},
      {"empty string", [](TVStream& s) { s.WriteString(""); }, std::string(4, '\0'),
       [](TVStream& s) { EXPECT_EQ(s.ReadString(), ""); }},
      {"string", [](TVStream& s) { s.WriteString("ab\xE9"); }, std::string("\3\0\0\0ab\xE9", 7),
       [](TVStream& s) { EXPECT_EQ(s.ReadString(), "ab\xE9"); }},
      {"wide string", [](TVStream& s) { s.WriteWideString(u"abc"); },
       std::string("\x03\x00\x00\x00\x61\x00\x62\x00\x63\x00", 10),
       [](TVStream& s) { EXPECT_EQ(s.ReadWideString(), u"abc"); }},
      {"wide string above 255", [](TVStream& s) { s.WriteWideString(u"\u20AC"); },
       std::string("\x01\x00\x00\x00\xAC\x20", 6),
       [](TVStream& s) { EXPECT_EQ(s.ReadWideString(), u"\u20AC"); }},
      {"text", [](TVStream& s) { s.WriteText("hi"); }, "hi",
       [](TVStream& s) { EXPECT_EQ(s.ReadChars(2), "hi"); }},
      {"line", [](TVStream& s) { s.WriteLine("x"); }, "x\r\n",
       [](TVStream& s) { EXPECT_EQ(s.ReadChars(3), "x\r\n"); }},
      {"wide text", [](TVStream& s) { s.WriteWideText(u"\u00E9z"); }, std::string("\xE9\0z\0", 4),
       [](TVStream& s) { EXPECT_EQ(s.ReadChars(4), std::string("\xE9\0z\0", 4)); }},
  };
  TVMemStream all;
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVMemStream one;
    c.write(one);
    EXPECT_EQ(Bytes(one), c.bytes);
    one.Seek(0);
    c.readBack(one);
    EXPECT_TRUE(one.Eof());
    c.write(all);
    expected += c.bytes;
  }
  // The same values one after another read back in order.
  EXPECT_EQ(Bytes(all), expected);
  all.Seek(0);
  for (const Case& c : cases) c.readBack(all);
  EXPECT_TRUE(all.Eof());
}

TEST(VStreamTest, MemoryStreamCapacityFollowsTheGrowthRule) {
  struct Case {
    std::vector<int32_t> writes;  // sizes of consecutive writes from an empty stream
    int32_t capacity;
  };
  const std::vector<Case> cases = {
      {{10}, 16},
      {{100}, 100},
      {{100, 1}, 128},          // a quarter of 100, raised to a multiple of 4
      {{64, 1}, 80},            // up to 64 bytes the stream grows by 16
      {{68, 1}, 88},            // 68 + 17, raised to a multiple of 4
      {{65, 3}, 68},            // 65 was raised to 68, so 68 bytes need no growth
      {{1048580, 1}, 1310724},  // beyond 1 MB: an eighth plus 128 KB
      {{3}, 16},
  };
  for (const Case& c : cases) {
    TVMemStream s;
    int32_t total = 0;
    for (int32_t n : c.writes) {
      s.Write(std::string(static_cast<size_t>(n), 'x').data(), n);
      total += n;
    }
    EXPECT_EQ(s.GetCapacity(), c.capacity) << "after writing " << total << " bytes";
    EXPECT_EQ(s.GetSize(), total);
    EXPECT_EQ(s.GetPosition(), total);
  }
}

TEST(VStreamTest, SetSizeMovesCapacityBothWaysAndKeepsContent) {
  TVMemStream s;
  s.WriteText("abcdefgh");
  s.SetSize(5);
  EXPECT_EQ(s.GetCapacity(), 8);
  EXPECT_EQ(s.GetPosition(), 5);
  EXPECT_EQ(Bytes(s), "abcde");
  s.SetSize(1);
  EXPECT_EQ(s.GetCapacity(), 4);
  s.SetSize(13);
  EXPECT_EQ(s.GetCapacity(), 16);
  EXPECT_EQ(s.GetPosition(), 1);
  EXPECT_EQ(s.GetMemory()[0], 'a');
  s.SetSize(0);
  EXPECT_EQ(s.GetCapacity(), 0);
  EXPECT_EQ(s.GetMemory(), nullptr);

  s.WriteText("abc");
  s.ResizeBuffer(100);
  EXPECT_EQ(s.GetCapacity(), 100);
  EXPECT_EQ(s.GetSize(), 3);
  EXPECT_EQ(StreamError([&] { s.ResizeBuffer(2); }), "Class TVMemStream:\r\nSet size error");
  EXPECT_EQ(StreamError([&] { s.SetCapacity(0); }), "Class TVMemStream:\r\nSet size error");
  EXPECT_EQ(StreamError([&] { s.SetCapacity(-4); }), "Class TVMemStream:\r\nError in parameters");
  EXPECT_EQ(StreamError([&] { s.SetCapacity(INT32_MAX); }), "Class TVMemStream:\r\nError in parameters");
  EXPECT_EQ(StreamError([&] { s.SetSize(-1); }), "Class TVMemStream:\r\nError in parameters");
  EXPECT_EQ(Bytes(s), "abc");
}

TEST(VStreamTest, SeekAcceptsTheSizeAndReportsTheRequestedPositionBeyondIt) {
  TVMemStream s;
  s.SetSize(100);
  s.Seek(100);
  EXPECT_TRUE(s.Eof());
  EXPECT_EQ(StreamError([&] { s.Seek(101); }), "Class TVMemStream:\r\nSeek error (101)");
  EXPECT_EQ(StreamError([&] { s.Seek(70000); }), "Class TVMemStream:\r\nSeek error (70000)");
  EXPECT_EQ(StreamError([&] { s.Seek(-1); }), "Class TVMemStream:\r\nSeek error (-1)");
  EXPECT_EQ(s.GetPosition(), 100);
  s.Seek(40);
  s.Skip(10);
  EXPECT_EQ(s.GetPosition(), 50);
}

TEST(VStreamTest, ShortTypedReadRaisesAndConsumesWhatWasThere) {
  TVMemStream s;
  s.WriteText("abcdef");
  s.Seek(4);
  EXPECT_EQ(StreamError([&] { s.ReadInt32(); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(s.GetPosition(), 6);
  EXPECT_EQ(StreamError([&] { s.ReadByte(); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(StreamError([&] { s.ReadInt16(); }), "Class TVMemStream:\r\nRead after end error");
}

// A stored count that is negative, larger than the bytes left, or whose byte size overflows, is corrupt
// data: the read raises before anything is allocated for it.
TEST(VStreamTest, CorruptStoredCountsRaiseTheReadError) {
  struct Case {
    const char* name;
    int32_t count;
    int32_t bytesAfter;
    bool wide;
  };
  const std::vector<Case> cases = {
      {"negative", -1, 8, false},        {"most negative", INT32_MIN, 8, false},
      {"huge", INT32_MAX, 8, false},     {"one more than left", 5, 4, false},
      {"negative wide", -2, 8, true},    {"wide bytes overflow 32 bits", 0x40000001, 8, true},
      {"huge wide", INT32_MAX, 8, true}, {"wide one unit more than left", 3, 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVMemStream s;
    s.WriteInt32(c.count);
    s.WriteText(std::string(static_cast<size_t>(c.bytesAfter), 'z'));
    s.Seek(0);
    EXPECT_EQ(StreamError([&] { c.wide ? (void)s.ReadWideString() : (void)s.ReadString(); }),
              "Class TVMemStream:\r\nRead after end error");
    EXPECT_EQ(s.GetPosition(), 4);  // only the count was consumed
  }
  TVMemStream s;
  s.WriteText("abc");
  s.Seek(0);
  EXPECT_EQ(StreamError([&] { s.ReadChars(-1); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(StreamError([&] { s.ReadChars(4); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(s.ReadChars(3), "abc");
}

// A stream whose block cannot grow past a limit, standing in for an allocation failure.
class TLimitedMemStream : public TVMemStream {
 public:
  void SetCapacity(int32_t N) override {
    if (N > 32) throw EOutOfMemory();
    TVMemStream::SetCapacity(N);
  }
};

// The stream once raised its size before growing the block: a failed growth left Size past Capacity, and
// the next Read or FindBytes touched memory beyond the block.
TEST(VStreamTest, WriteWhoseGrowthFailsLeavesTheStreamAsItWas) {
  TLimitedMemStream s;
  s.WriteText("0123456789");
  s.Seek(4);
  EXPECT_THROW(s.Write(std::string(40, 'x').data(), 40), EOutOfMemory);
  EXPECT_EQ(s.GetSize(), 10);
  EXPECT_EQ(s.GetPosition(), 4);
  EXPECT_EQ(s.GetCapacity(), 16);
  EXPECT_EQ(Bytes(s), "0123456789");
  s.Seek(0);
  EXPECT_EQ(ReadAll(s, 100), "0123456789");
}

TEST(VStreamTest, WriteFromTheStreamsOwnBlockSurvivesGrowth) {
  TVMemStream s;
  s.WriteText("0123456789abcdef");  // capacity 16: the next write moves the block
  s.Write(s.GetMemory(), 16);
  EXPECT_EQ(Bytes(s), "0123456789abcdef0123456789abcdef");
}

// Start positions and pattern offsets around the reads of the general search, which reads 32768 bytes,
// then 32768 - (PatLen - 1) bytes behind the PatLen - 1 bytes it carries over.
TEST(VStreamTest, FindBytesFindsMatchesAcrossInternalReadBorders) {
  const std::string pattern = "NEEDLE";
  const int32_t len = static_cast<int32_t>(pattern.size());
  const int32_t firstBorder = 32768;
  const int32_t secondBorder = 2 * 32768 - (len - 1);
  const std::vector<int32_t> offsets = {
      0,           firstBorder - len, firstBorder - len + 1, firstBorder - 1,
      firstBorder, secondBorder - 3,  secondBorder - 1,      65536 - 3,
      100000 - len};
  for (int32_t at : offsets) {
    std::string data = Filler(100000);
    data.replace(static_cast<size_t>(at), pattern.size(), pattern);
    TVReadOnlyMemStream direct(data.data(), static_cast<int32_t>(data.size()));
    TVStreamOnStream forwarded(new TVReadOnlyMemStream(data.data(), static_cast<int32_t>(data.size())), true);
    TVLimitedStream window(new TVReadOnlyMemStream(data.data(), static_cast<int32_t>(data.size())), 0, 100000,
                           true);
    for (TVStream* s : std::vector<TVStream*>{&direct, &forwarded, &window}) {
      SCOPED_TRACE(std::string(s->ClassName()) + " at " + std::to_string(at));
      s->Seek(0);
      ASSERT_TRUE(s->FindString(pattern, INT32_MAX));
      EXPECT_EQ(s->GetPosition(), at);
      EXPECT_EQ(s->ReadChars(len), pattern);
      // Bounded: exactly enough bytes finds it, one fewer does not and keeps the position.
      s->Seek(0);
      EXPECT_FALSE(s->FindString(pattern, at + len - 1));
      EXPECT_EQ(s->GetPosition(), 0);
      EXPECT_TRUE(s->FindString(pattern, at + len));
      // A miss from after the match keeps the position.
      s->Seek(at + 1);
      EXPECT_FALSE(s->FindString(pattern, INT32_MAX));
      EXPECT_EQ(s->GetPosition(), at + 1);
    }
  }
}

TEST(VStreamTest, FindBytesEdgeCases) {
  TVMemStream s;
  s.WriteText("abcabc");
  s.Seek(1);
  EXPECT_FALSE(s.FindBytes("a", 0, 100));
  EXPECT_FALSE(s.FindBytes("a", -1, 100));
  EXPECT_FALSE(s.FindString("abcabcx", INT32_MAX));
  EXPECT_FALSE(s.FindString("a", 0));
  EXPECT_FALSE(s.FindString("a", -5));
  EXPECT_EQ(s.GetPosition(), 1);
  EXPECT_TRUE(s.FindString("abc", INT32_MAX));
  EXPECT_EQ(s.GetPosition(), 3);
  EXPECT_TRUE(s.FindString("abc", INT32_MAX));  // a match at the position itself
  EXPECT_EQ(s.GetPosition(), 3);
}

TEST(VStreamTest, FindBytesSearchesTheFilteredBytes) {
  std::string data = Filler(50000);
  data.replace(40000, 6, "needle");
  TVReadOnlyMemStream s(data.data(), static_cast<int32_t>(data.size()));
  TUpperCaseFilter upper;
  s.Filter = &upper;
  ASSERT_TRUE(s.FindString("NEEDLE", INT32_MAX));
  EXPECT_EQ(s.GetPosition(), 40000);
  s.Filter = nullptr;
  EXPECT_EQ(s.ReadChars(6), "needle");
  EXPECT_EQ(data.substr(40000, 6), "needle");  // the filter works on read copies, never on the block
}

// The big-endian filter swaps the pairs of each read buffer; a search read 32768 - (PatLen - 1) bytes
// behind its carry-over, an odd length for a UTF-16 pattern, so from the third read on every unit came
// out with its bytes crossed and a match there was missed.
TEST(VStreamTest, SearchThroughTheBigEndianFilterStaysInStep) {
  std::u16string text(60000, u'\u0431');  // a Cyrillic letter: both bytes differ
  text.replace(40000, 6, u"target");      // bytes 80000..80011, inside the third read of the search
  std::string be;
  for (char16_t c : text) {
    be += static_cast<char>(c >> 8);
    be += static_cast<char>(c & 0xFF);
  }
  std::string le;
  for (char16_t c : text) {
    le += static_cast<char>(c & 0xFF);
    le += static_cast<char>(c >> 8);
  }
  TBigEndianFilter swap;
  for (int32_t chunk : {2, 4096, 32768}) {
    TVReadOnlyMemStream s(be.data(), static_cast<int32_t>(be.size()));
    s.Filter = &swap;
    EXPECT_TRUE(ReadAll(s, chunk) == le) << "chunk " << chunk;
  }
  TVReadOnlyMemStream s(be.data(), static_cast<int32_t>(be.size()));
  s.Filter = &swap;
  const std::string pattern("t\0a\0r\0g\0e\0t\0", 12);
  ASSERT_TRUE(s.FindString(pattern, INT32_MAX));
  EXPECT_EQ(s.GetPosition(), 80000);
  // The same through an adapter, whose reads go to the filtered inner stream.
  TVReadOnlyMemStream inner(be.data(), static_cast<int32_t>(be.size()));
  inner.Filter = &swap;
  TVStreamOnStream outer(&inner, false);
  ASSERT_TRUE(outer.FindString(pattern, INT32_MAX));
  EXPECT_EQ(outer.GetPosition(), 80000);
}

TEST(VStreamTest, FiltersChangeOnlyWhatTheyShould) {
  uint8_t five[] = {1, 2, 3, 4, 5};
  TBigEndianFilter swap;
  swap.Apply(nullptr, five, 5);
  EXPECT_EQ(std::vector<uint8_t>(five, five + 5), (std::vector<uint8_t>{2, 1, 4, 3, 5}));

  char text[] = "az{`AZ\xE9";
  TUpperCaseFilter upper;
  upper.Apply(nullptr, text, 7);
  EXPECT_STREQ(text, "AZ{`AZ\xE9");

  // A chain: the next filter runs first.
  char pair[] = "aB";
  TBigEndianFilter chained(&upper);
  chained.Apply(nullptr, pair, 2);
  EXPECT_STREQ(pair, "BA");
}

TEST(VStreamTest, LimitedStreamIsAWindowOfItsInnerStream) {
  std::string data = Filler(200);
  TVMemStream inner;
  inner.WriteText(data);
  TVLimitedStream w(&inner, 100, 10, false);
  EXPECT_EQ(w.GetSize(), 10);
  EXPECT_EQ(w.GetPosition(), 0);
  EXPECT_EQ(inner.GetPosition(), 100);
  char buf[20];
  EXPECT_EQ(w.Read(buf, 20), 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(100, 10));
  EXPECT_TRUE(w.Eof());
  EXPECT_EQ(w.Read(buf, 20), 0);
  w.Seek(0);
  EXPECT_EQ(StreamError([&] { w.Write(buf, 11); }), "Class TVLimitedStream:\r\nError in parameters");
  EXPECT_EQ(inner.GetPosition(), 100);
  w.Write("0123456789", 10);
  EXPECT_EQ(inner.GetSize(), 200);
  EXPECT_EQ(Bytes(inner).substr(100, 10), "0123456789");
  EXPECT_EQ(StreamError([&] { w.SetSize(5); }), "Class TVLimitedStream:\r\nMethod not implemented");
  EXPECT_EQ(StreamError([&] { w.Seek(101); }), "Class TVMemStream:\r\nSeek error (201)");
  EXPECT_EQ(StreamError([] {
              TVMemStream s;
              TVLimitedStream bad(&s, -1, 5, false);
            }),
            "Class TVLimitedStream:\r\nError in parameters");

  // The window's own filter is applied to what it reads.
  TUpperCaseFilter upper;
  w.Filter = &upper;
  w.Seek(0);
  inner.Seek(100);
  inner.WriteText("abcdefghij");
  w.Seek(2);
  EXPECT_EQ(w.ReadChars(3), "CDE");
  EXPECT_EQ(w.GetPosition(), 5);
}

TEST(VStreamTest, ReadOnlyMemStreamNeverChangesTheCallersBlock) {
  std::vector<char> block(10, 'q');  // freed by the vector; a free by the stream shows under ASan
  {
    TVReadOnlyMemStream s(block.data(), 10);
    EXPECT_EQ(s.GetCapacity(), 0);
    EXPECT_EQ(ReadAll(s, 3), std::string(10, 'q'));
    EXPECT_EQ(StreamError([&] { s.Write("x", 1); }), "Class TVReadOnlyMemStream:\r\nMethod not applicable");
    EXPECT_EQ(StreamError([&] { s.SetSize(4); }), "Class TVReadOnlyMemStream:\r\nMethod not applicable");
    EXPECT_EQ(StreamError([&] { s.ResizeBuffer(20); }),
              "Class TVReadOnlyMemStream:\r\nMethod not applicable");
    EXPECT_EQ(s.GetSize(), 10);
  }
  EXPECT_EQ(std::string(block.begin(), block.end()), std::string(10, 'q'));
  TVReadOnlyMemStream empty(nullptr, 0);
  empty.SetSize(0);
  EXPECT_EQ(StreamError([] { TVReadOnlyMemStream bad(nullptr, 5); }),
            "Class TVReadOnlyMemStream:\r\nError in parameters");
}

TEST(VStreamTest, GlobalMemStreamHandsItsBlockOver) {
  void* handle = nullptr;
  {
    TGMEMStream s(10, 0x2002);
    EXPECT_EQ(s.GetCapacity(), 10);  // exactly as asked
    s.WriteText("0123456789");
    EXPECT_EQ(s.GetCapacity(), 10);
    s.WriteText("a");
    EXPECT_EQ(s.GetCapacity(), 26);  // grows by 16, not raised to a multiple of 4
    EXPECT_EQ(s.ReleaseHandle(handle), 26);
    EXPECT_EQ(s.GetSize(), 11);
    EXPECT_EQ(s.GetCapacity(), 0);
    // Released: reads nothing, refuses to grow.
    s.Seek(0);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(StreamError([&] {
                s.Seek(11);
                s.Write("x", 1);
              }),
              "Class TGMEMStream:\r\nMethod not applicable");
  }
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(handle), 11), "0123456789a");
  std::free(handle);
}

TEST(VStreamTest, CopyAppendAndSave) {
  TVMemStream src;
  src.WriteText(Filler(100000));
  TVMemStream dest;
  src.Seek(99990);
  EXPECT_EQ(src.CopyBytesTo(dest, 50), 10);
  EXPECT_EQ(src.CopyBytesTo(dest, 0), 0);
  EXPECT_EQ(src.CopyBytesTo(dest, -5), 0);
  src.Seek(0);
  char buf[7];
  EXPECT_EQ(src.CopyBytesWithBuffer(dest, 100, 0, buf),
            0);  // no room to copy through: nothing, no endless loop
  EXPECT_EQ(src.CopyBytesWithBuffer(dest, 100, 7, buf), 100);
  EXPECT_EQ(Bytes(dest), Filler(100000).substr(99990) + Filler(100));

  dest.Seek(0);
  src.AppendToStream(dest);
  EXPECT_EQ(dest.GetSize(), 100110);
  EXPECT_EQ(Bytes(dest).substr(110), Filler(100000));
  src.SaveToStream(dest);
  EXPECT_EQ(Bytes(dest), Filler(100000));

  // A source that delivers fewer bytes than its size.
  TVMemStream shortInner;
  shortInner.WriteText("abcde");
  TVLimitedStream tooLong(&shortInner, 0, 10, false);
  EXPECT_EQ(StreamError([&] { tooLong.AppendToStream(dest); }), "Class TVLimitedStream:\r\nStream error");
  EXPECT_EQ(Bytes(dest), Filler(100000) + "abcde");
}

TEST(VStreamTest, CharStreamReadsThroughItsBufferAndKeepsPositions) {
  const std::string data = Filler(1300);
  TVMemStream inner;
  inner.WriteText(data);
  inner.Seek(0);
  TVCharStreamOnStream s(&inner, false);
  std::string got;
  for (int i = 0; i < 600; ++i) got += s.ReadChar();
  EXPECT_EQ(got, data.substr(0, 600));
  EXPECT_EQ(s.GetPosition(), 600);
  EXPECT_EQ(inner.GetPosition(), 1024);
  s.Seek(1299);
  EXPECT_EQ(s.ReadChar(), data[1299]);
  EXPECT_TRUE(s.Eof());
  EXPECT_EQ(StreamError([&] { s.ReadChar(); }), "Class TVCharStreamOnStream:\r\nRead after end error");
  s.Seek(0);
  EXPECT_FALSE(s.Eof());
}

TEST(VStreamTest, OwnedInnerStreamIsFreedWithTheAdapter) {
  // Without the delete, the leak check of the sanitizer build reports the inner stream.
  auto* inner = new TVMemStream;
  inner->WriteText("abc");
  TVStreamOnStream outer(inner, true);
  outer.Seek(0);
  EXPECT_EQ(outer.ReadChars(3), "abc");
  EXPECT_EQ(StreamError([] { TVStreamOnStream bad(nullptr, false); }),
            "Class TVStreamOnStream:\r\nError in parameters");
}

TEST(VStreamTest, ErrorFormatsOnlyTextsWithAPercent) {
  TVMemStream s;
  EXPECT_EQ(StreamError([&] { s.Error("Seek error (%d)", {70000}); }),
            "Class TVMemStream:\r\nSeek error (70000)");
  EXPECT_EQ(StreamError([&] { s.Error("plain text"); }), "Class TVMemStream:\r\nplain text");
  try {
    s.Error("x");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EVStream");
  }
}

}  // namespace
