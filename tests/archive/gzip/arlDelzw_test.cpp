#include "archive/gzip/arlDelzw.h"

#include <gtest/gtest.h>

#include "tests/archive/lzh/LzhTestUtil.h"

using archivetest::Bytes;

namespace {

// Codes of 9 bits packed least significant bit first (fewer than eight, so that no width change or
// group boundary comes into play).
Bytes Pack9(const std::vector<int>& Codes) {
  Bytes Out;
  uint32_t Acc = 0;
  int N = 0;
  for (int C : Codes) {
    Acc |= static_cast<uint32_t>(C) << N;
    for (N += 9; N >= 8; N -= 8, Acc >>= 8) Out.push_back(static_cast<uint8_t>(Acc));
  }
  if (N) Out.push_back(static_cast<uint8_t>(Acc));
  return Out;
}

Bytes Decode(TDelzwDecoder& D, const Bytes& In, int64_t Max, TLzhResult& R, size_t Chunk = 0) {
  Bytes Out;
  R = D.Decode(archivetest::SourceOver(In, Chunk), Max, archivetest::SinkInto(Out));
  return Out;
}

// Code 256 is the clear code in block mode, after which the rest of the group of eight codes is
// skipped; without block mode it is the first table entry.
TEST(Delzw, BlockModeDecidesWhatCode256Is) {
  const Bytes In = Pack9({'A', 'B', 256, 0, 0, 0, 0, 0, 'C'});  // 'C' starts the second group
  TLzhResult R;
  TDelzwDecoder Plain(12, false);
  EXPECT_EQ(Decode(Plain, In, 100, R), archivetest::Bytes({'A', 'B', 'A', 'B', 0, 0, 0, 0, 0, 'C'}));
  EXPECT_EQ(R, lrOk);
  TDelzwDecoder Block(12, true);
  EXPECT_EQ(Decode(Block, In, 100, R), archivetest::Bytes({'A', 'B', 'C'}));
  EXPECT_EQ(R, lrOk);
}

// A code equal to the next free one is the previous string plus its own first byte.
TEST(Delzw, CodeEqualToTheNextFreeOne) {
  TLzhResult R;
  TDelzwDecoder D(16, true);
  EXPECT_EQ(Decode(D, Pack9({'x', 257, 258}), 100, R), archivetest::Bytes({'x', 'x', 'x', 'x', 'x', 'x'}));
  EXPECT_EQ(R, lrOk);
}

// The compress body of a real file, read through sources of every chunk size, and stopped at a cap.
TEST(Delzw, ChunkSizesAndCap) {
  const Bytes File = archivetest::Fixture("gzip", "clears12.Z");
  int MaxBits = 0;
  bool BlockMode = false;
  ASSERT_EQ(ReadCompressHeader(File.data(), static_cast<int32_t>(File.size()), MaxBits, BlockMode), chOk);
  EXPECT_EQ(MaxBits, 12);
  EXPECT_TRUE(BlockMode);
  const Bytes Body(File.begin() + TDelzwDecoder::kHeaderSize, File.end());
  TDelzwDecoder D(MaxBits, BlockMode);
  TLzhResult R;
  const Bytes Whole = Decode(D, Body, INT64_MAX, R);
  ASSERT_EQ(R, lrOk);
  ASSERT_EQ(Whole.size(), 55401u);
  for (size_t Chunk : {size_t{1}, size_t{7}, size_t{4096}}) {
    EXPECT_EQ(Decode(D, Body, INT64_MAX, R, Chunk), Whole) << Chunk;
    EXPECT_EQ(R, lrOk);
  }
  const Bytes Capped = Decode(D, Body, 1000, R);
  EXPECT_EQ(Capped, Bytes(Whole.begin(), Whole.begin() + 1000));
  EXPECT_EQ(D.Produced(), 1000);
}

TEST(Delzw, Headers) {
  struct TCase {
    Bytes Header;
    TCompressHeader Result;
  };
  const TCase Cases[] = {
      {{0x1F, 0x9D, 0x90}, chOk},           {{0x1F, 0x9D, 0x10}, chOk},
      {{0x1F, 0x9D, 0xB0}, chReservedBits}, {{0x1F, 0x9D, 0xD0}, chReservedBits},
      {{0x1F, 0x9D, 0x91}, chBadWidth},     {{0x1F, 0x9D, 0x88}, chBadWidth},
      {{0x1F, 0x8B, 0x08}, chNotCompress},  {{0x1F, 0x9D}, chNotCompress},
  };
  for (const auto& C : Cases) {
    int Bits = 0;
    bool Block = false;
    EXPECT_EQ(ReadCompressHeader(C.Header.data(), static_cast<int32_t>(C.Header.size()), Bits, Block),
              C.Result);
  }
}

// Random and damaged code streams end cleanly, within the cap.
TEST(Delzw, DamagedStreamsAreSurvived) {
  const Bytes File = archivetest::Fixture("gzip", "clears12.Z");
  const Bytes Body(File.begin() + TDelzwDecoder::kHeaderSize, File.end());
  for (int Bits : {9, 12, 16}) {
    TDelzwDecoder D(Bits, true);
    for (const Bytes& Bad : archivetest::Damaged(Body, static_cast<unsigned>(Bits))) {
      TLzhResult R;
      EXPECT_LE(Decode(D, Bad, 60000, R).size(), 60000u);
    }
  }
}

}  // namespace
