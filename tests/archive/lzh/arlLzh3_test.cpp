#include "archive/lzh/arlLzh3.h"

#include <gtest/gtest.h>

#include "tests/archive/lzh/LzhTestUtil.h"

using archivetest::Bytes;
using archivetest::TBitWriter;

namespace {

struct TRealStream {
  const char* File;
  TLzh3Params Params;
};

// Streams cut from archives that the formats' own tools made from mixed.bin (text, random bytes, a run of
// zeros and repeats; 45287 bytes, so that both window sizes wrap).
const TRealStream kRealStreams[] = {
    {"mixed.lh4", kLzh3Lh4},  {"mixed.lh5", kLzh3Lh5},  {"mixed.lh6", kLzh3Lh6},
    {"mixed.arj1", kLzh3Arj}, {"mixed.arj2", kLzh3Arj}, {"mixed.arj3", kLzh3Arj},
};

TEST(Lzh3Decoder, DecodesStreamsOfEveryFormatWholeAndInSmallChunks) {
  const Bytes Expected = archivetest::Fixture("lzh", "mixed.bin");
  ASSERT_EQ(Expected.size(), 45287u);
  for (const auto& S : kRealStreams) {
    const Bytes Packed = archivetest::Fixture("lzh", S.File);
    ASSERT_FALSE(Packed.empty()) << S.File;
    for (size_t Chunk : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}}) {
      TLzh3Decoder D(S.Params);
      Bytes Out;
      EXPECT_EQ(archivetest::DecodeWith(D, Packed, static_cast<int64_t>(Expected.size()), Out, Chunk), lrOk)
          << S.File << " chunk " << Chunk;
      EXPECT_TRUE(Out == Expected) << S.File << " chunk " << Chunk;
      EXPECT_EQ(D.Produced(), static_cast<int64_t>(Expected.size()));
    }
  }
}

TEST(Lzh3Decoder, StopsAtTheDeclaredSizeAndReadsNoMoreThanThePackedSize) {
  const Bytes Expected = archivetest::Fixture("lzh", "mixed.bin");
  Bytes Packed = archivetest::Fixture("lzh", "mixed.lh5");
  const int64_t PackedSize = static_cast<int64_t>(Packed.size());
  Packed.insert(Packed.end(), 100, 0xFF);  // what follows the entry must not be read
  size_t Read = 0;
  auto Counting = [&, Inner = archivetest::SourceOver(Packed)](uint8_t* B, int32_t N) {
    const int32_t Got = Inner(B, N);
    Read += static_cast<size_t>(Got);
    return Got;
  };
  TLzh3Decoder D(kLzh3Lh5);
  Bytes Out;
  EXPECT_EQ(D.Decode(Counting, PackedSize, 30000, archivetest::SinkInto(Out)), lrOk);
  EXPECT_EQ(Out, Bytes(Expected.begin(), Expected.begin() + 30000));
  EXPECT_LE(Read, static_cast<size_t>(PackedSize));
}

TEST(Lzh3Decoder, TruncatedStreamEndsEarlyWithWhatWasDecoded) {
  const Bytes Expected = archivetest::Fixture("lzh", "mixed.bin");
  const Bytes Packed = archivetest::Fixture("lzh", "mixed.arj1");
  for (size_t Keep : {Packed.size() / 3, Packed.size() - 40}) {
    // The declared packed size stays whole; the source runs dry.
    const Bytes Cut(Packed.begin(), Packed.begin() + static_cast<std::ptrdiff_t>(Keep));
    TLzh3Decoder D(kLzh3Arj);
    Bytes Out;
    EXPECT_EQ(D.Decode(archivetest::SourceOver(Cut), static_cast<int64_t>(Packed.size()),
                       static_cast<int64_t>(Expected.size()), archivetest::SinkInto(Out)),
              lrUnexpectedEnd);
    ASSERT_LT(Out.size(), Expected.size());
    ASSERT_GT(Out.size(), 0u);
    // Everything but the last few symbols (decoded from the padding) is right.
    const size_t Sure = Out.size() > 600 ? Out.size() - 600 : 0;
    EXPECT_TRUE(std::equal(Out.begin(), Out.begin() + static_cast<std::ptrdiff_t>(Sure), Expected.begin()));
  }
}

// A block whose three code sets are each given in the single-symbol form (count 0): every code takes no
// bits and decodes to that symbol.
Bytes SingleSymbolBlock(uint16_t BlockSize, int PreSymbol, int Literal, int Position, int PositionBits) {
  TBitWriter W;
  W.Put(BlockSize, 16);
  W.Put(0, 5);
  W.Put(static_cast<uint32_t>(PreSymbol), 5);
  W.Put(0, 9);
  W.Put(static_cast<uint32_t>(Literal), 9);
  W.Put(0, static_cast<uint32_t>(PositionBits));
  W.Put(static_cast<uint32_t>(Position), PositionBits);
  return W.Data();
}

TEST(Lzh3Decoder, SingleSymbolLiteralTreeRepeatsThatSymbol) {
  const Bytes Packed = SingleSymbolBlock(10, 0, 'A', 0, 4);
  TLzh3Decoder D(kLzh3Lh5);
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Packed, 10, Out), lrOk);
  EXPECT_EQ(Out, Bytes(10, 'A'));
}

TEST(Lzh3Decoder, BlockSizeZeroEndsShortOfTheDeclaredSize) {
  Bytes Packed = SingleSymbolBlock(4, 0, 'x', 0, 4);
  // A second block of size 0 (16 zero bits) follows; the padding supplies them too.
  TLzh3Decoder D(kLzh3Lh5);
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Packed, 9, Out), lrUnexpectedEnd);
  EXPECT_EQ(Out, Bytes(4, 'x'));
}

TEST(Lzh3Decoder, MatchBeforeTheFirstByteIsCorruptInput) {
  // Literal symbol 256 is a match of length 3; position symbol 0 is distance 1, with nothing produced.
  const Bytes Packed = SingleSymbolBlock(5, 0, 256, 0, 5);
  TLzh3Decoder D(kLzh3Arj);
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Packed, 20, Out), lrCorruptInput);
  EXPECT_TRUE(Out.empty());
}

TEST(Lzh3Decoder, MatchCrossingTheDeclaredSizeIsCut) {
  // One literal block, then a block of matches of length 256 at distance 1: a run of the literal.
  Bytes Packed;
  TBitWriter W;
  auto Block = [&](uint16_t Size, int Literal) {
    W.Put(Size, 16);
    W.Put(0, 5), W.Put(0, 5);
    W.Put(0, 9), W.Put(static_cast<uint32_t>(Literal), 9);
    W.Put(0, 4), W.Put(0, 4);
  };
  Block(1, 'z');
  Block(1, 509);
  Packed = W.Data();
  TLzh3Decoder D(kLzh3Lh5);
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Packed, 100, Out), lrOk);
  EXPECT_EQ(Out, Bytes(100, 'z'));
}

// Malformed code-length tables: each must end the decoding cleanly with lrBadHuffmanCode.
TEST(Lzh3Decoder, MalformedTablesAreRefused) {
  struct TCase {
    const char* Fault;
    std::function<void(TBitWriter&)> Tables;
  };
  auto PreCount = [](TBitWriter& W, int N) { W.Put(static_cast<uint32_t>(N), 5); };
  const TCase Cases[] = {
      {"pre-tree count above 19", [&](TBitWriter& W) { PreCount(W, 20); }},
      {"pre-tree single symbol above 18", [&](TBitWriter& W) { PreCount(W, 0), W.Put(19, 5); }},
      {"pre-tree length above 16",
       [&](TBitWriter& W) {
         PreCount(W, 1);
         W.Put(7, 3);
         W.Put(0x3FF, 10);  // 7 + 10 ones = 17
         W.Put(0, 1);
       }},
      {"pre-tree over-subscribed (three codes of 1 bit)",
       [&](TBitWriter& W) { PreCount(W, 3), W.Put(1, 3), W.Put(1, 3), W.Put(1, 3), W.Put(0, 2); }},
      {"pre-tree incomplete (one code of 1 bit)", [&](TBitWriter& W) { PreCount(W, 1), W.Put(1, 3); }},
      {"literal count above 510", [&](TBitWriter& W) { PreCount(W, 0), W.Put(3, 5), W.Put(511, 9); }},
      {"literal single symbol above 509",
       [&](TBitWriter& W) { PreCount(W, 0), W.Put(3, 5), W.Put(0, 9), W.Put(510, 9); }},
      {"literal zero run past the alphabet",
       [&](TBitWriter& W) {
         PreCount(W, 0), W.Put(2, 5);  // every pre-tree code is "9 bits + 20 zeros"
         W.Put(510, 9);
         W.Put(500, 9);
       }},
      {"literal lengths incomplete (one length of 1)",
       [&](TBitWriter& W) { PreCount(W, 0), W.Put(3, 5), W.Put(1, 9); }},
      {"position count above the alphabet",
       [&](TBitWriter& W) { PreCount(W, 0), W.Put(0, 5), W.Put(0, 9), W.Put('a', 9), W.Put(15, 4); }},
      {"position single symbol above the alphabet",
       [&](TBitWriter& W) {
         PreCount(W, 0), W.Put(0, 5), W.Put(0, 9), W.Put('a', 9), W.Put(0, 4), W.Put(14, 4);
       }},
  };
  for (const auto& C : Cases) {
    TBitWriter W;
    W.Put(100, 16);
    C.Tables(W);
    Bytes Packed = W.Data();
    Packed.resize(Packed.size() + 64, 0x55);
    TLzh3Decoder D(kLzh3Lh5);
    Bytes Out;
    EXPECT_EQ(archivetest::DecodeWith(D, Packed, 100, Out), lrBadHuffmanCode) << C.Fault;
    EXPECT_TRUE(Out.empty()) << C.Fault;
  }
}

TEST(Lzh3Decoder, DamagedStreamsNeverCrashOrOverrun) {
  const int64_t Size = static_cast<int64_t>(archivetest::Fixture("lzh", "mixed.bin").size());
  unsigned Seed = 1;
  for (const auto& S : kRealStreams) {
    SCOPED_TRACE(S.File);
    archivetest::ExpectDamageSurvived([&] { return std::make_unique<TLzh3Decoder>(S.Params); },
                                      archivetest::Fixture("lzh", S.File), Size, Seed++);
  }
}

TEST(Lzh3Decoder, AHugeDeclaredSizeDoesNotOutliveTheData) {
  // Zero bits past the data would decode for ever into the declared size; the decoder stops instead.
  const Bytes Packed = archivetest::Fixture("lzh", "mixed.lh6");
  TLzh3Decoder D(kLzh3Lh6);
  int64_t Written = 0;
  const TLzhResult R = D.Decode(archivetest::SourceOver(Packed), static_cast<int64_t>(Packed.size()),
                                int64_t{1} << 32, [&](const uint8_t*, int32_t N) { Written += N; });
  EXPECT_NE(R, lrOk);
  EXPECT_LT(Written, 200000);
}

}  // namespace
