#include "core/VStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Bytes(TVBaseMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

std::string ReadAll(TVStream& S, int32_t Chunk) {
  std::string Out;
  std::string Buf(static_cast<size_t>(Chunk), '\0');
  for (int32_t N; (N = S.Read(Buf.data(), Chunk)) > 0;) Out.append(Buf, 0, static_cast<size_t>(N));
  return Out;
}

// The message of the EVStream that `Action` raises; fails the test when it raises none.
std::string StreamError(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EVStream& E) {
    return E.Message();
  }
  ADD_FAILURE() << "no EVStream raised";
  return {};
}

std::string Filler(size_t N) {
  std::string S(N, '\0');
  for (size_t I = 0; I < N; ++I) S[I] = static_cast<char>('a' + I % 23);  // never contains the patterns below
  return S;
}

TEST(VStreamTest, TypedWritesHaveTheExactLittleEndianLayoutAndReadBack) {
  struct Case {
    const char* Name;
    std::function<void(TVStream&)> Write;
    std::string Bytes;
    std::function<void(TVStream&)> ReadBack;
  };
  const std::vector<Case> Cases = {
      {"byte", [](TVStream& S) { S.WriteByte(0xAB); }, "\xAB",
       [](TVStream& S) { EXPECT_EQ(S.ReadByte(), 0xAB); }},
      {"bool", [](TVStream& S) { S.WriteByte(2); }, "\x02", [](TVStream& S) { EXPECT_TRUE(S.ReadBool()); }},
      {"int16", [](TVStream& S) { S.WriteInt16(0x1234); }, "\x34\x12",
       [](TVStream& S) { EXPECT_EQ(S.ReadInt16(), 0x1234); }},
      {"negative int16", [](TVStream& S) { S.WriteInt16(-2); }, "\xFE\xFF",
       [](TVStream& S) { EXPECT_EQ(S.ReadInt16(), -2); }},
      {"int32", [](TVStream& S) { S.WriteInt32(0x12345678); }, "\x78\x56\x34\x12",
       [](TVStream& S) { EXPECT_EQ(S.ReadInt32(), 0x12345678); }},
      {"int32 min", [](TVStream& S) { S.WriteInt32(INT32_MIN); }, std::string("\0\0\0\x80", 4),
       [](TVStream& S) { EXPECT_EQ(S.ReadInt32(), INT32_MIN); }},
      {"empty string", [](TVStream& S) { S.WriteString(""); }, std::string(4, '\0'),
       [](TVStream& S) { EXPECT_EQ(S.ReadString(), ""); }},
      {"string", [](TVStream& S) { S.WriteString("ab\xE9"); }, std::string("\3\0\0\0ab\xE9", 7),
       [](TVStream& S) { EXPECT_EQ(S.ReadString(), "ab\xE9"); }},
      {"wide string", [](TVStream& S) { S.WriteWideString(u"abc"); },
       std::string("\x03\x00\x00\x00\x61\x00\x62\x00\x63\x00", 10),
       [](TVStream& S) { EXPECT_EQ(S.ReadWideString(), u"abc"); }},
      {"wide string above 255", [](TVStream& S) { S.WriteWideString(u"\u20AC"); },
       std::string("\x01\x00\x00\x00\xAC\x20", 6),
       [](TVStream& S) { EXPECT_EQ(S.ReadWideString(), u"\u20AC"); }},
      {"text", [](TVStream& S) { S.WriteText("hi"); }, "hi",
       [](TVStream& S) { EXPECT_EQ(S.ReadChars(2), "hi"); }},
      {"line", [](TVStream& S) { S.WriteLine("x"); }, "x\r\n",
       [](TVStream& S) { EXPECT_EQ(S.ReadChars(3), "x\r\n"); }},
      {"wide text", [](TVStream& S) { S.WriteWideText(u"\u00E9z"); }, std::string("\xE9\0z\0", 4),
       [](TVStream& S) { EXPECT_EQ(S.ReadChars(4), std::string("\xE9\0z\0", 4)); }},
  };
  TVMemStream All;
  std::string Expected;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream One;
    C.Write(One);
    EXPECT_EQ(Bytes(One), C.Bytes);
    One.Seek(0);
    C.ReadBack(One);
    EXPECT_TRUE(One.Eof());
    C.Write(All);
    Expected += C.Bytes;
  }
  // The same values one after another read back in order.
  EXPECT_EQ(Bytes(All), Expected);
  All.Seek(0);
  for (const Case& C : Cases) C.ReadBack(All);
  EXPECT_TRUE(All.Eof());
}

TEST(VStreamTest, MemoryStreamCapacityFollowsTheGrowthRule) {
  struct Case {
    std::vector<int32_t> Writes;  // sizes of consecutive writes from an empty stream
    int32_t Capacity;
  };
  const std::vector<Case> Cases = {
      {{10}, 16},
      {{100}, 100},
      {{100, 1}, 128},          // a quarter of 100, raised to a multiple of 4
      {{64, 1}, 80},            // up to 64 bytes the stream grows by 16
      {{68, 1}, 88},            // 68 + 17, raised to a multiple of 4
      {{65, 3}, 68},            // 65 was raised to 68, so 68 bytes need no growth
      {{1048580, 1}, 1310724},  // beyond 1 MB: an eighth plus 128 KB
      {{3}, 16},
  };
  for (const Case& C : Cases) {
    TVMemStream S;
    int32_t Total = 0;
    for (int32_t N : C.Writes) {
      S.Write(std::string(static_cast<size_t>(N), 'x').data(), N);
      Total += N;
    }
    EXPECT_EQ(S.GetCapacity(), C.Capacity) << "after writing " << Total << " bytes";
    EXPECT_EQ(S.GetSize(), Total);
    EXPECT_EQ(S.GetPosition(), Total);
  }
}

TEST(VStreamTest, SetSizeMovesCapacityBothWaysAndKeepsContent) {
  TVMemStream S;
  S.WriteText("abcdefgh");
  S.SetSize(5);
  EXPECT_EQ(S.GetCapacity(), 8);
  EXPECT_EQ(S.GetPosition(), 5);
  EXPECT_EQ(Bytes(S), "abcde");
  S.SetSize(1);
  EXPECT_EQ(S.GetCapacity(), 4);
  S.SetSize(13);
  EXPECT_EQ(S.GetCapacity(), 16);
  EXPECT_EQ(S.GetPosition(), 1);
  EXPECT_EQ(S.GetMemory()[0], 'a');
  S.SetSize(0);
  EXPECT_EQ(S.GetCapacity(), 0);
  EXPECT_EQ(S.GetMemory(), nullptr);

  S.WriteText("abc");
  S.ResizeBuffer(100);
  EXPECT_EQ(S.GetCapacity(), 100);
  EXPECT_EQ(S.GetSize(), 3);
  EXPECT_EQ(StreamError([&] { S.ResizeBuffer(2); }), "Class TVMemStream:\r\nSet size error");
  EXPECT_EQ(StreamError([&] { S.SetCapacity(0); }), "Class TVMemStream:\r\nSet size error");
  EXPECT_EQ(StreamError([&] { S.SetCapacity(-4); }), "Class TVMemStream:\r\nError in parameters");
  EXPECT_EQ(StreamError([&] { S.SetCapacity(INT32_MAX); }), "Class TVMemStream:\r\nError in parameters");
  EXPECT_EQ(StreamError([&] { S.SetSize(-1); }), "Class TVMemStream:\r\nError in parameters");
  EXPECT_EQ(Bytes(S), "abc");
}

TEST(VStreamTest, SeekAcceptsTheSizeAndReportsTheRequestedPositionBeyondIt) {
  TVMemStream S;
  S.SetSize(100);
  S.Seek(100);
  EXPECT_TRUE(S.Eof());
  EXPECT_EQ(StreamError([&] { S.Seek(101); }), "Class TVMemStream:\r\nSeek error (101)");
  EXPECT_EQ(StreamError([&] { S.Seek(70000); }), "Class TVMemStream:\r\nSeek error (70000)");
  EXPECT_EQ(StreamError([&] { S.Seek(-1); }), "Class TVMemStream:\r\nSeek error (-1)");
  EXPECT_EQ(S.GetPosition(), 100);
  S.Seek(40);
  S.Skip(10);
  EXPECT_EQ(S.GetPosition(), 50);
}

TEST(VStreamTest, ShortTypedReadRaisesAndConsumesWhatWasThere) {
  TVMemStream S;
  S.WriteText("abcdef");
  S.Seek(4);
  EXPECT_EQ(StreamError([&] { S.ReadInt32(); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(S.GetPosition(), 6);
  EXPECT_EQ(StreamError([&] { S.ReadByte(); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(StreamError([&] { S.ReadInt16(); }), "Class TVMemStream:\r\nRead after end error");
}

// A stored count that is negative, larger than the bytes left, or whose byte size overflows, is corrupt
// data: the read raises before anything is allocated for it.
TEST(VStreamTest, CorruptStoredCountsRaiseTheReadError) {
  struct Case {
    const char* Name;
    int32_t Count;
    int32_t BytesAfter;
    bool Wide;
  };
  const std::vector<Case> Cases = {
      {"negative", -1, 8, false},        {"most negative", INT32_MIN, 8, false},
      {"huge", INT32_MAX, 8, false},     {"one more than left", 5, 4, false},
      {"negative wide", -2, 8, true},    {"wide bytes overflow 32 bits", 0x40000001, 8, true},
      {"huge wide", INT32_MAX, 8, true}, {"wide one unit more than left", 3, 5, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream S;
    S.WriteInt32(C.Count);
    S.WriteText(std::string(static_cast<size_t>(C.BytesAfter), 'z'));
    S.Seek(0);
    EXPECT_EQ(StreamError([&] { C.Wide ? (void)S.ReadWideString() : (void)S.ReadString(); }),
              "Class TVMemStream:\r\nRead after end error");
    EXPECT_EQ(S.GetPosition(), 4);  // only the count was consumed
  }
  TVMemStream S;
  S.WriteText("abc");
  S.Seek(0);
  EXPECT_EQ(StreamError([&] { S.ReadChars(-1); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(StreamError([&] { S.ReadChars(4); }), "Class TVMemStream:\r\nRead after end error");
  EXPECT_EQ(S.ReadChars(3), "abc");
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
  TLimitedMemStream S;
  S.WriteText("0123456789");
  S.Seek(4);
  EXPECT_THROW(S.Write(std::string(40, 'x').data(), 40), EOutOfMemory);
  EXPECT_EQ(S.GetSize(), 10);
  EXPECT_EQ(S.GetPosition(), 4);
  EXPECT_EQ(S.GetCapacity(), 16);
  EXPECT_EQ(Bytes(S), "0123456789");
  S.Seek(0);
  EXPECT_EQ(ReadAll(S, 100), "0123456789");
}

TEST(VStreamTest, WriteFromTheStreamsOwnBlockSurvivesGrowth) {
  TVMemStream S;
  S.WriteText("0123456789abcdef");  // capacity 16: the next write moves the block
  S.Write(S.GetMemory(), 16);
  EXPECT_EQ(Bytes(S), "0123456789abcdef0123456789abcdef");
}

// Start positions and pattern offsets around the reads of the general search, which reads 32768 bytes,
// then 32768 - (PatLen - 1) bytes behind the PatLen - 1 bytes it carries over.
TEST(VStreamTest, FindBytesFindsMatchesAcrossInternalReadBorders) {
  const std::string Pattern = "NEEDLE";
  const int32_t Len = static_cast<int32_t>(Pattern.size());
  const int32_t FirstBorder = 32768;
  const int32_t SecondBorder = 2 * 32768 - (Len - 1);
  const std::vector<int32_t> Offsets = {
      0,           FirstBorder - Len, FirstBorder - Len + 1, FirstBorder - 1,
      FirstBorder, SecondBorder - 3,  SecondBorder - 1,      65536 - 3,
      100000 - Len};
  for (int32_t At : Offsets) {
    std::string Data = Filler(100000);
    Data.replace(static_cast<size_t>(At), Pattern.size(), Pattern);
    TVReadOnlyMemStream Direct(Data.data(), static_cast<int32_t>(Data.size()));
    TVStreamOnStream Forwarded(new TVReadOnlyMemStream(Data.data(), static_cast<int32_t>(Data.size())), true);
    TVLimitedStream Window(new TVReadOnlyMemStream(Data.data(), static_cast<int32_t>(Data.size())), 0, 100000,
                           true);
    for (TVStream* S : std::vector<TVStream*>{&Direct, &Forwarded, &Window}) {
      SCOPED_TRACE(std::string(S->ClassName()) + " at " + std::to_string(At));
      S->Seek(0);
      ASSERT_TRUE(S->FindString(Pattern, INT32_MAX));
      EXPECT_EQ(S->GetPosition(), At);
      EXPECT_EQ(S->ReadChars(Len), Pattern);
      // Bounded: exactly enough bytes finds it, one fewer does not and keeps the position.
      S->Seek(0);
      EXPECT_FALSE(S->FindString(Pattern, At + Len - 1));
      EXPECT_EQ(S->GetPosition(), 0);
      EXPECT_TRUE(S->FindString(Pattern, At + Len));
      // A miss from after the match keeps the position.
      S->Seek(At + 1);
      EXPECT_FALSE(S->FindString(Pattern, INT32_MAX));
      EXPECT_EQ(S->GetPosition(), At + 1);
    }
  }
}

TEST(VStreamTest, FindBytesEdgeCases) {
  TVMemStream S;
  S.WriteText("abcabc");
  S.Seek(1);
  EXPECT_FALSE(S.FindBytes("a", 0, 100));
  EXPECT_FALSE(S.FindBytes("a", -1, 100));
  EXPECT_FALSE(S.FindString("abcabcx", INT32_MAX));
  EXPECT_FALSE(S.FindString("a", 0));
  EXPECT_FALSE(S.FindString("a", -5));
  EXPECT_EQ(S.GetPosition(), 1);
  EXPECT_TRUE(S.FindString("abc", INT32_MAX));
  EXPECT_EQ(S.GetPosition(), 3);
  EXPECT_TRUE(S.FindString("abc", INT32_MAX));  // a match at the position itself
  EXPECT_EQ(S.GetPosition(), 3);
}

TEST(VStreamTest, FindBytesSearchesTheFilteredBytes) {
  std::string Data = Filler(50000);
  Data.replace(40000, 6, "needle");
  TVReadOnlyMemStream S(Data.data(), static_cast<int32_t>(Data.size()));
  TUpperCaseFilter Upper;
  S.Filter = &Upper;
  ASSERT_TRUE(S.FindString("NEEDLE", INT32_MAX));
  EXPECT_EQ(S.GetPosition(), 40000);
  S.Filter = nullptr;
  EXPECT_EQ(S.ReadChars(6), "needle");
  EXPECT_EQ(Data.substr(40000, 6), "needle");  // the filter works on read copies, never on the block
}

// The big-endian filter swaps the pairs of each read buffer; a search read 32768 - (PatLen - 1) bytes
// behind its carry-over, an odd length for a UTF-16 pattern, so from the third read on every unit came
// out with its bytes crossed and a match there was missed.
TEST(VStreamTest, SearchThroughTheBigEndianFilterStaysInStep) {
  std::u16string Text(60000, u'\u0431');  // a Cyrillic letter: both bytes differ
  Text.replace(40000, 6, u"target");      // bytes 80000..80011, inside the third read of the search
  std::string Be;
  for (char16_t C : Text) {
    Be += static_cast<char>(C >> 8);
    Be += static_cast<char>(C & 0xFF);
  }
  std::string Le;
  for (char16_t C : Text) {
    Le += static_cast<char>(C & 0xFF);
    Le += static_cast<char>(C >> 8);
  }
  TBigEndianFilter Swap;
  for (int32_t Chunk : {2, 4096, 32768}) {
    TVReadOnlyMemStream S(Be.data(), static_cast<int32_t>(Be.size()));
    S.Filter = &Swap;
    EXPECT_TRUE(ReadAll(S, Chunk) == Le) << "chunk " << Chunk;
  }
  TVReadOnlyMemStream S(Be.data(), static_cast<int32_t>(Be.size()));
  S.Filter = &Swap;
  const std::string Pattern("t\0a\0r\0g\0e\0t\0", 12);
  ASSERT_TRUE(S.FindString(Pattern, INT32_MAX));
  EXPECT_EQ(S.GetPosition(), 80000);
  // The same through an adapter, whose reads go to the filtered inner stream.
  TVReadOnlyMemStream Inner(Be.data(), static_cast<int32_t>(Be.size()));
  Inner.Filter = &Swap;
  TVStreamOnStream Outer(&Inner, false);
  ASSERT_TRUE(Outer.FindString(Pattern, INT32_MAX));
  EXPECT_EQ(Outer.GetPosition(), 80000);
}

TEST(VStreamTest, FiltersChangeOnlyWhatTheyShould) {
  uint8_t Five[] = {1, 2, 3, 4, 5};
  TBigEndianFilter Swap;
  Swap.Apply(nullptr, Five, 5);
  EXPECT_EQ(std::vector<uint8_t>(Five, Five + 5), (std::vector<uint8_t>{2, 1, 4, 3, 5}));

  char Text[] = "az{`AZ\xE9";
  TUpperCaseFilter Upper;
  Upper.Apply(nullptr, Text, 7);
  EXPECT_STREQ(Text, "AZ{`AZ\xE9");

  // A chain: the next filter runs first.
  char Pair[] = "aB";
  TBigEndianFilter Chained(&Upper);
  Chained.Apply(nullptr, Pair, 2);
  EXPECT_STREQ(Pair, "BA");
}

TEST(VStreamTest, LimitedStreamIsAWindowOfItsInnerStream) {
  std::string Data = Filler(200);
  TVMemStream Inner;
  Inner.WriteText(Data);
  TVLimitedStream W(&Inner, 100, 10, false);
  EXPECT_EQ(W.GetSize(), 10);
  EXPECT_EQ(W.GetPosition(), 0);
  EXPECT_EQ(Inner.GetPosition(), 100);
  char Buf[20];
  EXPECT_EQ(W.Read(Buf, 20), 10);
  EXPECT_EQ(std::string(Buf, 10), Data.substr(100, 10));
  EXPECT_TRUE(W.Eof());
  EXPECT_EQ(W.Read(Buf, 20), 0);
  W.Seek(0);
  EXPECT_EQ(StreamError([&] { W.Write(Buf, 11); }), "Class TVLimitedStream:\r\nError in parameters");
  EXPECT_EQ(Inner.GetPosition(), 100);
  W.Write("0123456789", 10);
  EXPECT_EQ(Inner.GetSize(), 200);
  EXPECT_EQ(Bytes(Inner).substr(100, 10), "0123456789");
  EXPECT_EQ(StreamError([&] { W.SetSize(5); }), "Class TVLimitedStream:\r\nMethod not implemented");
  EXPECT_EQ(StreamError([&] { W.Seek(101); }), "Class TVMemStream:\r\nSeek error (201)");
  EXPECT_EQ(StreamError([] {
              TVMemStream s;
              TVLimitedStream bad(&s, -1, 5, false);
            }),
            "Class TVLimitedStream:\r\nError in parameters");

  // The window's own filter is applied to what it reads.
  TUpperCaseFilter Upper;
  W.Filter = &Upper;
  W.Seek(0);
  Inner.Seek(100);
  Inner.WriteText("abcdefghij");
  W.Seek(2);
  EXPECT_EQ(W.ReadChars(3), "CDE");
  EXPECT_EQ(W.GetPosition(), 5);
}

TEST(VStreamTest, ReadOnlyMemStreamNeverChangesTheCallersBlock) {
  std::vector<char> Block(10, 'q');  // freed by the vector; a free by the stream shows under ASan
  {
    TVReadOnlyMemStream S(Block.data(), 10);
    EXPECT_EQ(S.GetCapacity(), 0);
    EXPECT_EQ(ReadAll(S, 3), std::string(10, 'q'));
    EXPECT_EQ(StreamError([&] { S.Write("x", 1); }), "Class TVReadOnlyMemStream:\r\nMethod not applicable");
    EXPECT_EQ(StreamError([&] { S.SetSize(4); }), "Class TVReadOnlyMemStream:\r\nMethod not applicable");
    EXPECT_EQ(StreamError([&] { S.ResizeBuffer(20); }),
              "Class TVReadOnlyMemStream:\r\nMethod not applicable");
    EXPECT_EQ(S.GetSize(), 10);
  }
  EXPECT_EQ(std::string(Block.begin(), Block.end()), std::string(10, 'q'));
  TVReadOnlyMemStream Empty(nullptr, 0);
  Empty.SetSize(0);
  EXPECT_EQ(StreamError([] { TVReadOnlyMemStream bad(nullptr, 5); }),
            "Class TVReadOnlyMemStream:\r\nError in parameters");
}

TEST(VStreamTest, GlobalMemStreamHandsItsBlockOver) {
  void* Handle = nullptr;
  {
    TGMEMStream S(10, 0x2002);
    EXPECT_EQ(S.GetCapacity(), 10);  // exactly as asked
    S.WriteText("0123456789");
    EXPECT_EQ(S.GetCapacity(), 10);
    S.WriteText("a");
    EXPECT_EQ(S.GetCapacity(), 26);  // grows by 16, not raised to a multiple of 4
    EXPECT_EQ(S.ReleaseHandle(Handle), 26);
    EXPECT_EQ(S.GetSize(), 11);
    EXPECT_EQ(S.GetCapacity(), 0);
    // Released: reads nothing, refuses to grow.
    S.Seek(0);
    char C;
    EXPECT_EQ(S.Read(&C, 1), 0);
    EXPECT_EQ(StreamError([&] {
                S.Seek(11);
                S.Write("x", 1);
              }),
              "Class TGMEMStream:\r\nMethod not applicable");
  }
  ASSERT_NE(Handle, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(Handle), 11), "0123456789a");
  std::free(Handle);
}

TEST(VStreamTest, CopyAppendAndSave) {
  TVMemStream Src;
  Src.WriteText(Filler(100000));
  TVMemStream Dest;
  Src.Seek(99990);
  EXPECT_EQ(Src.CopyBytesTo(Dest, 50), 10);
  EXPECT_EQ(Src.CopyBytesTo(Dest, 0), 0);
  EXPECT_EQ(Src.CopyBytesTo(Dest, -5), 0);
  Src.Seek(0);
  char Buf[7];
  EXPECT_EQ(Src.CopyBytesWithBuffer(Dest, 100, 0, Buf),
            0);  // no room to copy through: nothing, no endless loop
  EXPECT_EQ(Src.CopyBytesWithBuffer(Dest, 100, 7, Buf), 100);
  EXPECT_EQ(Bytes(Dest), Filler(100000).substr(99990) + Filler(100));

  Dest.Seek(0);
  Src.AppendToStream(Dest);
  EXPECT_EQ(Dest.GetSize(), 100110);
  EXPECT_EQ(Bytes(Dest).substr(110), Filler(100000));
  Src.SaveToStream(Dest);
  EXPECT_EQ(Bytes(Dest), Filler(100000));

  // A source that delivers fewer bytes than its size.
  TVMemStream ShortInner;
  ShortInner.WriteText("abcde");
  TVLimitedStream TooLong(&ShortInner, 0, 10, false);
  EXPECT_EQ(StreamError([&] { TooLong.AppendToStream(Dest); }), "Class TVLimitedStream:\r\nStream error");
  EXPECT_EQ(Bytes(Dest), Filler(100000) + "abcde");
}

TEST(VStreamTest, CharStreamReadsThroughItsBufferAndKeepsPositions) {
  const std::string Data = Filler(1300);
  TVMemStream Inner;
  Inner.WriteText(Data);
  Inner.Seek(0);
  TVCharStreamOnStream S(&Inner, false);
  std::string Got;
  for (int I = 0; I < 600; ++I) Got += S.ReadChar();
  EXPECT_EQ(Got, Data.substr(0, 600));
  EXPECT_EQ(S.GetPosition(), 600);
  EXPECT_EQ(Inner.GetPosition(), 1024);
  S.Seek(1299);
  EXPECT_EQ(S.ReadChar(), Data[1299]);
  EXPECT_TRUE(S.Eof());
  EXPECT_EQ(StreamError([&] { S.ReadChar(); }), "Class TVCharStreamOnStream:\r\nRead after end error");
  S.Seek(0);
  EXPECT_FALSE(S.Eof());
}

TEST(VStreamTest, OwnedInnerStreamIsFreedWithTheAdapter) {
  // Without the delete, the leak check of the sanitizer build reports the inner stream.
  auto* Inner = new TVMemStream;
  Inner->WriteText("abc");
  TVStreamOnStream Outer(Inner, true);
  Outer.Seek(0);
  EXPECT_EQ(Outer.ReadChars(3), "abc");
  EXPECT_EQ(StreamError([] { TVStreamOnStream bad(nullptr, false); }),
            "Class TVStreamOnStream:\r\nError in parameters");
}

TEST(VStreamTest, ErrorFormatsOnlyTextsWithAPercent) {
  TVMemStream S;
  EXPECT_EQ(StreamError([&] { S.Error("Seek error (%d)", {70000}); }),
            "Class TVMemStream:\r\nSeek error (70000)");
  EXPECT_EQ(StreamError([&] { S.Error("plain text"); }), "Class TVMemStream:\r\nplain text");
  try {
    S.Error("x");
  } catch (const Exception& E) {
    EXPECT_STREQ(E.ClassName(), "EVStream");
  }
}

}  // namespace
