#include "search/Bits.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(BitPlanes, CreateMakesZeroRowsOfWholeWords) {
  struct Case {
    int32_t Bits;
    int32_t Words;
  };
  for (const Case& C : {Case{0, 0}, Case{1, 1}, Case{32, 1}, Case{33, 2}, Case{64, 2}, Case{65, 3}}) {
    TBitPlanes P(3, C.Bits);
    EXPECT_EQ(P.Rows(), 3);
    EXPECT_EQ(P.Bits(), C.Bits);
    EXPECT_EQ(P.WordsPerRow(), C.Words) << C.Bits;
    ASSERT_EQ(P.Planes().size(), 3u);
    for (const TOneBitPlane& Row : P.Planes()) EXPECT_EQ(Row, TOneBitPlane(C.Words, 0));
  }
}

TEST(BitPlanes, PositionZeroIsTheHighestBitOfTheFirstWord) {
  TBitPlanes P(2, 70);
  P.SetBit(1, 0, true);
  P.SetBit(1, 31, true);
  P.SetBit(1, 32, true);
  P.SetBit(1, 69, true);
  EXPECT_EQ(P.GetPlane(1), (TOneBitPlane{0x80000001u, 0x80000000u, 0x04000000u}));
  EXPECT_EQ(P.GetPlane(0), TOneBitPlane(3, 0));
  EXPECT_TRUE(P.TestBit(1, 32));
  EXPECT_FALSE(P.TestBit(1, 33));
  P.SetBit(1, 32, false);
  EXPECT_FALSE(P.TestBit(1, 32));
  EXPECT_EQ(P.GetPlane(1), (TOneBitPlane{0x80000001u, 0, 0x04000000u}));
}

TEST(BitPlanes, OnesPlaneSetsThePrefixOnly) {
  struct Case {
    int32_t N;
    TOneBitPlane Expected;
  };
  TBitPlanes P(1, 70);  // three words, the last one holding positions 64..69
  for (const Case& C :
       {Case{0, {0, 0, 0}}, Case{1, {0x80000000u, 0, 0}}, Case{31, {0xFFFFFFFEu, 0, 0}},
        Case{32, {0xFFFFFFFFu, 0, 0}}, Case{33, {0xFFFFFFFFu, 0x80000000u, 0}},
        Case{64, {0xFFFFFFFFu, 0xFFFFFFFFu, 0}}, Case{70, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFC000000u}},
        Case{500, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFC000000u}}}) {
    EXPECT_EQ(P.OnesPlane(C.N), C.Expected) << C.N;
  }
  // A row of exactly 64 bits: 64 ones fill both words and write nothing past them.
  TBitPlanes Full(1, 64);
  EXPECT_EQ(Full.OnesPlane(64), (TOneBitPlane{0xFFFFFFFFu, 0xFFFFFFFFu}));
}

TEST(BitPlanes, ShiftMovesEveryPositionUpByOneAcrossWords) {
  TBitPlanes P(1, 96);
  // Positions 0, 31, 63 and 95: each moves to the next position; 31 and 63 cross into the next word
  // and 95 leaves the row.
  EXPECT_EQ(P.ShiftPlane({0x80000001u, 0x00000001u, 0x00000001u}),
            (TOneBitPlane{0x40000000u, 0x80000000u, 0x80000000u}));
  EXPECT_EQ(P.ShiftPlane({0, 0, 0}), TOneBitPlane(3, 0));
}

TEST(BitPlanes, AndOrAreWordWise) {
  TBitPlanes P(1, 64);
  const TOneBitPlane A{0xF0F0F0F0u, 0x0000FFFFu};
  const TOneBitPlane B{0xFF00FF00u, 0xFFFF0001u};
  EXPECT_EQ(P.AndPlanes(A, B), (TOneBitPlane{0xF000F000u, 0x00000001u}));
  EXPECT_EQ(P.OrPlanes(A, B), (TOneBitPlane{0xFFF0FFF0u, 0xFFFFFFFFu}));
}

TEST(BitPlanes, SetPlaneReplacesOneRow) {
  TBitPlanes P(3, 40);
  P.SetPlane(2, {0x12345678u, 0x80000000u});
  EXPECT_EQ(P.GetPlane(2), (TOneBitPlane{0x12345678u, 0x80000000u}));
  EXPECT_TRUE(P.TestBit(2, 32));
  EXPECT_EQ(P.GetPlane(1), TOneBitPlane(2, 0));
}

TEST(BitPlanes, OutOfRangeArgumentsRaiseAndChangeNothing) {
  TBitPlanes P(2, 40);
  EXPECT_THROW(P.TestBit(2, 0), EBitPlanes);
  EXPECT_THROW(P.TestBit(-1, 0), EBitPlanes);
  EXPECT_THROW(P.TestBit(0, 40), EBitPlanes);
  EXPECT_THROW(P.SetBit(0, -1, true), EBitPlanes);
  EXPECT_THROW(P.GetPlane(5), EBitPlanes);
  EXPECT_THROW(P.SetPlane(0, TOneBitPlane(3, ~0u)), EBitPlanes);
  EXPECT_THROW(P.AndPlanes(TOneBitPlane(2, 0), TOneBitPlane(1, 0)), EBitPlanes);
  EXPECT_THROW(P.ShiftPlane(TOneBitPlane(5, 0)), EBitPlanes);
  EXPECT_THROW(P.OnesPlane(-1), EBitPlanes);
  EXPECT_THROW(TBitPlanes(-1, 8), EBitPlanes);
  EXPECT_THROW(TBitPlanes(1, -8), EBitPlanes);
  for (const TOneBitPlane& Row : P.Planes()) EXPECT_EQ(Row, TOneBitPlane(2, 0));
  try {
    P.TestBit(0, 40);
  } catch (const EBitPlanes& E) {
    EXPECT_STREQ(E.what(), "Bit plane position 40 out of range (0..39)");
  }
}

}  // namespace
