#include "archive/arj/arlArjFast.h"

#include <gtest/gtest.h>

#include "tests/archive/lzh/LzhTestUtil.h"

using archivetest::Bytes;
using archivetest::TBitWriter;

namespace {

TEST(ArjFastDecoder, DecodesAStreamOfTheArchiverWholeAndInSmallChunks) {
  const Bytes Expected = archivetest::Fixture("lzh", "mixed.bin");
  const Bytes Packed = archivetest::Fixture("arj", "mixed.arj4");
  for (size_t Chunk : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}}) {
    TArjFastDecoder D;
    Bytes Out;
    EXPECT_EQ(archivetest::DecodeWith(D, Packed, static_cast<int64_t>(Expected.size()), Out, Chunk), lrOk);
    EXPECT_TRUE(Out == Expected) << "chunk " << Chunk;
  }
}

// Hand-built codes: literals "ab"; a match of length 4 at distance 2 (length value 2: "10" and the bit
// 1; position 1: "0" and 9 bits); then the longest length code, 7 ones with no 0 after them and 7 bits
// (value 127: length 129), at distance 1.
TEST(ArjFastDecoder, HandBuiltCodes) {
  TBitWriter W;
  W.Put(0, 1), W.Put('a', 8);
  W.Put(0, 1), W.Put('b', 8);
  W.Put(0b10, 2), W.Put(1, 1);
  W.Put(0, 1), W.Put(1, 9);
  W.Put(0x7F, 7), W.Put(0, 7);
  W.Put(0, 1), W.Put(0, 9);
  Bytes Out;
  TArjFastDecoder D;
  EXPECT_EQ(archivetest::DecodeWith(D, W.Data(), 135, Out), lrOk);
  EXPECT_EQ(std::string(Out.begin(), Out.end()), "ababab" + std::string(129, 'b'));
}

TEST(ArjFastDecoder, MatchBeforeTheFirstByteIsCorruptInput) {
  TBitWriter W;
  W.Put(0, 1), W.Put('q', 8);
  W.Put(0b10, 2), W.Put(0, 1);  // length 3
  W.Put(0, 1), W.Put(1, 9);     // distance 2, with one byte produced
  Bytes Out;
  TArjFastDecoder D;
  EXPECT_EQ(archivetest::DecodeWith(D, W.Data(), 10, Out), lrCorruptInput);
  EXPECT_EQ(Out, Bytes{'q'});
}

TEST(ArjFastDecoder, TruncatedAndDamagedStreamsEndCleanly) {
  const int64_t Size = static_cast<int64_t>(archivetest::Fixture("lzh", "mixed.bin").size());
  const Bytes Packed = archivetest::Fixture("arj", "mixed.arj4");
  const Bytes Cut(Packed.begin(), Packed.begin() + 3000);
  TArjFastDecoder D;
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Cut, Size, Out, 0, static_cast<int64_t>(Packed.size())),
            lrUnexpectedEnd);
  EXPECT_LT(static_cast<int64_t>(Out.size()), Size);
  archivetest::ExpectDamageSurvived([] { return std::make_unique<TArjFastDecoder>(); }, Packed, Size);
}

}  // namespace
