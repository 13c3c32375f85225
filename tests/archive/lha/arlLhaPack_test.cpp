#include "archive/lha/arlLhaPack.h"

#include <gtest/gtest.h>

#include "tests/archive/lzh/LzhTestUtil.h"

using archivetest::Bytes;

namespace {

TEST(LhaPackDecoder, DecodesStreamsWholeAndInSmallChunks) {
  struct TCase {
    const char* Packed;
    const char* Folder;
    const char* Expected;
  };
  // mixed.bin is 45287 bytes: the tree is rebuilt many times and the output buffer fills.
  const TCase Cases[] = {{"mixed.lh1", "lzh", "mixed.bin"}, {"spaces.lh1", "lha", "spaces.txt"}};
  for (const auto& C : Cases) {
    const Bytes Expected = archivetest::Fixture(C.Folder, C.Expected);
    const Bytes Packed = archivetest::Fixture("lha", C.Packed);
    ASSERT_FALSE(Expected.empty());
    for (size_t Chunk : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}}) {
      TLhaPackDecoder D;
      Bytes Out;
      EXPECT_EQ(archivetest::DecodeWith(D, Packed, static_cast<int64_t>(Expected.size()), Out, Chunk), lrOk)
          << C.Packed;
      EXPECT_TRUE(Out == Expected) << C.Packed << " chunk " << Chunk;
    }
  }
}

// The code of Symbol in the tree every stream starts with: the symbols' leaves paired in order, each
// pair under the next free node, up to the root (a 0 bit takes a node's first child).
std::vector<int> InitialCode(int Symbol) {
  constexpr int N = TLhaPackDecoder::kSymbols, T = TLhaPackDecoder::kNodes;
  std::vector<int> Son(T), Parent(T + N);
  for (int I = 0; I < N; ++I) Son[I] = I + T, Parent[I + T] = I;
  for (int I = 0, J = N; J < T; I += 2, ++J) Son[J] = I, Parent[I] = Parent[I + 1] = J;
  std::vector<int> Bits;
  int C = Parent[Symbol + T];
  Bits.insert(Bits.begin(), Son[C] == Symbol ? 0 : 1);  // which child of C the leaf is
  while (C != T - 1) {
    const int Up = Parent[C];
    Bits.insert(Bits.begin(), Son[Up] == C ? 0 : 1);
    C = Up;
  }
  return Bits;
}

// The first symbol is a match of length 5 that starts 100 bytes back, inside the blanks the window
// starts with.
TEST(LhaPackDecoder, FirstMatchIntoTheInitialBlanksGivesBlanks) {
  archivetest::TBitWriter W;
  for (int Bit : InitialCode(256 + 5 - 3)) W.Put(static_cast<uint32_t>(Bit), 1);
  // Position 99: upper 6 bits 1 ("0010" in 4 bits), then the lower 6 bits 100011.
  W.Put(0b0010, 4);
  W.Put(99 & 0x3F, 6);
  const Bytes Packed = W.Data();
  TLhaPackDecoder D;
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Packed, 5, Out), lrOk);
  EXPECT_EQ(Out, Bytes(5, ' '));
}

TEST(LhaPackDecoder, TruncatedAndDamagedStreamsEndCleanly) {
  const int64_t Size = static_cast<int64_t>(archivetest::Fixture("lzh", "mixed.bin").size());
  const Bytes Packed = archivetest::Fixture("lha", "mixed.lh1");
  const Bytes Cut(Packed.begin(), Packed.begin() + 2000);
  TLhaPackDecoder D;
  Bytes Out;
  EXPECT_EQ(archivetest::DecodeWith(D, Cut, Size, Out, 0, static_cast<int64_t>(Packed.size())),
            lrUnexpectedEnd);
  EXPECT_LT(static_cast<int64_t>(Out.size()), Size);
  archivetest::ExpectDamageSurvived([] { return std::make_unique<TLhaPackDecoder>(); }, Packed, Size);
}

}  // namespace
