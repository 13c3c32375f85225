#include "archive/lha/arlLhaPack.h"

#include <gtest/gtest.h>

#include "tests/archive/lzh/LzhTestUtil.h"

using lzhtest::Bytes;

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
    const Bytes Expected = lzhtest::Fixture(C.Folder, C.Expected);
    const Bytes Packed = lzhtest::Fixture("lha", C.Packed);
    ASSERT_FALSE(Expected.empty());
    for (size_t Chunk : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}}) {
      TLhaPackDecoder D;
      Bytes Out;
      EXPECT_EQ(D.Decode(lzhtest::SourceOver(Packed, Chunk), static_cast<int64_t>(Packed.size()),
                         static_cast<int64_t>(Expected.size()), lzhtest::SinkInto(Out)),
                lrOk)
          << C.Packed;
      EXPECT_TRUE(Out == Expected) << C.Packed << " chunk " << Chunk;
    }
  }
}

TEST(LhaPackDecoder, TruncatedAndDamagedStreamsEndCleanly) {
  const Bytes Expected = lzhtest::Fixture("lzh", "mixed.bin");
  const Bytes Packed = lzhtest::Fixture("lha", "mixed.lh1");
  {
    const Bytes Cut(Packed.begin(), Packed.begin() + 2000);
    TLhaPackDecoder D;
    Bytes Out;
    EXPECT_EQ(D.Decode(lzhtest::SourceOver(Cut), static_cast<int64_t>(Packed.size()),
                       static_cast<int64_t>(Expected.size()), lzhtest::SinkInto(Out)),
              lrUnexpectedEnd);
    EXPECT_LT(Out.size(), Expected.size());
  }
  for (const Bytes& Bad : lzhtest::Damaged(Packed)) {
    TLhaPackDecoder D;
    Bytes Out;
    D.Decode(lzhtest::SourceOver(Bad), static_cast<int64_t>(Bad.size()), static_cast<int64_t>(Expected.size()),
             lzhtest::SinkInto(Out));
    EXPECT_LE(Out.size(), Expected.size());
  }
}

}  // namespace
