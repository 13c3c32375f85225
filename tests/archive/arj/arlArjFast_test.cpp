#include "archive/arj/arlArjFast.h"

#include <gtest/gtest.h>

#include "tests/archive/lzh/LzhTestUtil.h"

using lzhtest::Bytes;
using lzhtest::TBitWriter;

namespace {

TEST(ArjFastDecoder, DecodesAStreamOfTheArchiverWholeAndInSmallChunks) {
  const Bytes Expected = lzhtest::Fixture("lzh", "mixed.bin");
  const Bytes Packed = lzhtest::Fixture("arj", "mixed.arj4");
  for (size_t Chunk : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}}) {
    TArjFastDecoder D;
    Bytes Out;
    EXPECT_EQ(D.Decode(lzhtest::SourceOver(Packed, Chunk), static_cast<int64_t>(Packed.size()),
                       static_cast<int64_t>(Expected.size()), lzhtest::SinkInto(Out)),
              lrOk);
    EXPECT_TRUE(Out == Expected) << "chunk " << Chunk;
  }
}

// Hand-built codes: literal "ab", then a match of length 4 at distance 2 (length value 2: "10" + 1 bit
// 1; position 1: "0" + 9 bits), then the longest codes of each kind.
TEST(ArjFastDecoder, HandBuiltCodes) {
  TBitWriter W;
  W.Put(0, 1), W.Put('a', 8);
  W.Put(0, 1), W.Put('b', 8);
  W.Put(0b10, 2), W.Put(1, 1);  // value 2^1 - 1 + 1 = 2: length 4
  W.Put(0, 1), W.Put(1, 9);     // position 1: distance 2
  const Bytes Packed = W.Data();
  TArjFastDecoder D;
  Bytes Out;
  EXPECT_EQ(
      D.Decode(lzhtest::SourceOver(Packed), static_cast<int64_t>(Packed.size()), 6, lzhtest::SinkInto(Out)),
      lrOk);
  EXPECT_EQ(std::string(Out.begin(), Out.end()), "ababab");
}

TEST(ArjFastDecoder, MatchBeforeTheFirstByteIsCorruptInput) {
  TBitWriter W;
  W.Put(0, 1), W.Put('q', 8);
  W.Put(0b10, 2), W.Put(0, 1);  // length 3
  W.Put(0, 1), W.Put(1, 9);     // distance 2, with one byte produced
  const Bytes Packed = W.Data();
  TArjFastDecoder D;
  Bytes Out;
  EXPECT_EQ(
      D.Decode(lzhtest::SourceOver(Packed), static_cast<int64_t>(Packed.size()), 10, lzhtest::SinkInto(Out)),
      lrCorruptInput);
  EXPECT_EQ(Out, Bytes{'q'});
}

TEST(ArjFastDecoder, TruncatedAndDamagedStreamsEndCleanly) {
  const Bytes Expected = lzhtest::Fixture("lzh", "mixed.bin");
  const Bytes Packed = lzhtest::Fixture("arj", "mixed.arj4");
  {
    const Bytes Cut(Packed.begin(), Packed.begin() + 3000);
    TArjFastDecoder D;
    Bytes Out;
    EXPECT_EQ(D.Decode(lzhtest::SourceOver(Cut), static_cast<int64_t>(Packed.size()),
                       static_cast<int64_t>(Expected.size()), lzhtest::SinkInto(Out)),
              lrUnexpectedEnd);
    EXPECT_LT(Out.size(), Expected.size());
  }
  for (const Bytes& Bad : lzhtest::Damaged(Packed)) {
    TArjFastDecoder D;
    Bytes Out;
    D.Decode(lzhtest::SourceOver(Bad), static_cast<int64_t>(Bad.size()),
             static_cast<int64_t>(Expected.size()), lzhtest::SinkInto(Out));
    EXPECT_LE(Out.size(), Expected.size());
  }
}

}  // namespace
