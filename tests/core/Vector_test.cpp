// The vector base: capacity rules, size checks, block operations, the shared quicksort with companion
// vectors and several keys, and the stream header with its checks against corrupt input.
#include "core/Vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/NumVector.h"
#include "core/VStream.h"

namespace {

std::vector<int32_t> Values(const TInt32Vector& V) {
  std::vector<int32_t> Out;
  for (int32_t I = 0; I < V.GetCount(); ++I) Out.push_back(V.Get(I));
  return Out;
}

void Fill(TInt32Vector& V, std::initializer_list<int32_t> Items) {
  V.Clear();
  for (int32_t X : Items) V.Add(X);
}

std::string Bytes(TVMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

TEST(VectorCapacity, SetCountRoundsToFourAndFollowsTheCountBothWays) {
  struct Case {
    int32_t From, To, Capacity;
  };
  const Case Cases[] = {{0, 5, 8}, {5, 1, 4}, {0, 0, 0},       {8, 8, 8},
                        {3, 4, 4}, {4, 0, 0}, {0, 1000, 1000}, {0, 1001, 1004}};
  for (const Case& C : Cases) {
    TInt32Vector V(C.From, 7);
    V.SetCount(C.To);
    EXPECT_EQ(V.GetCapacity(), C.Capacity) << C.From << " -> " << C.To;
    EXPECT_EQ(V.GetCount(), C.To);
  }
}

TEST(VectorCapacity, GrowingPreparesEverySlotUpToTheCapacity) {
  TInt32Vector V(0, 7);
  V.SetCount(5);
  ASSERT_EQ(V.GetCapacity(), 8);
  const int32_t* Slots = reinterpret_cast<const int32_t*>(V.GetData());
  for (int I = 0; I < 8; ++I) EXPECT_EQ(Slots[I], 7) << I;
}

TEST(VectorCapacity, InsertGapGrowthSteps) {
  struct Case {
    int32_t Count, Before, After;
  };
  // +4 up to 8, +16 from 9 to 64, +25 % above 64 (raised to a multiple of 4).
  const Case Cases[] = {{0, 0, 4},    {4, 4, 8},       {8, 8, 12}, {12, 12, 28},
                        {64, 64, 80}, {100, 100, 128}, {5, 8, 8}};
  for (const Case& C : Cases) {
    TInt32Vector V(C.Count);
    ASSERT_EQ(V.GetCapacity(), C.Before);
    V.Insert(0, 9);
    EXPECT_EQ(V.GetCapacity(), C.After) << "count " << C.Count;
    EXPECT_EQ(V.GetCount(), C.Count + 1);
    EXPECT_EQ(V.Get(0), 9);
  }
}

TEST(VectorCapacity, DeleteShrinksOnlyWhenAQuarterIsFree) {
  TInt32Vector V(13);
  ASSERT_EQ(V.GetCapacity(), 16);
  V.Delete(0);  // 16 - 12 = 4 is not above 4
  EXPECT_EQ(V.GetCapacity(), 16);
  V.Delete(0);  // 16 - 11 = 5
  EXPECT_EQ(V.GetCapacity(), 12);
  EXPECT_EQ(V.GetCount(), 11);
}

TEST(VectorCapacity, DeleteRangeMovesTheTailAndAlwaysShrinks) {
  TInt32Vector V;
  Fill(V, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  V.DeleteRange(2, 0);
  V.DeleteRange(2, -3);
  EXPECT_EQ(V.GetCount(), 10);
  V.DeleteRange(2, 5);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{0, 1, 7, 8, 9}));
  EXPECT_EQ(V.GetCapacity(), 8);
  V.DeleteRange(3, 100);  // past the end: only what is there goes
  EXPECT_EQ(Values(V), (std::vector<int32_t>{0, 1, 7}));
}

TEST(VectorSize, RefusedSizesLeaveTheVectorUnchanged) {
  TInt32Vector V;
  Fill(V, {1, 2, 3});
  struct Case {
    int32_t N;
    const char* Message;
  };
  const Case Cases[] = {
      {-1, "Class TNumberVector: Wrong vector size (-1)"},
      // 2^28 four-byte slots are exactly 2^30 bytes, one above the limit; 2^30 slots overflow 32 bits.
      {0x10000000, "Class TNumberVector: Data too large (1073741824)"},
      {0x40000000, "Class TNumberVector: Data too large (4294967296)"},
      {INT32_MAX, "Class TNumberVector: Data too large (8589934592)"},
  };
  for (const Case& C : Cases) {
    try {
      V.SetCount(C.N);
      ADD_FAILURE() << "no error for " << C.N;
    } catch (const EVectorError& E) {
      EXPECT_STREQ(E.what(), C.Message);
    }
    EXPECT_EQ(Values(V), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(V.GetCapacity(), 4);
  }
}

TEST(VectorSize, CapacityBelowCountAndPack) {
  TInt32Vector V(10);
  try {
    V.SetCapacity(9);
    FAIL();
  } catch (const EVectorError& E) {
    EXPECT_STREQ(E.what(), "Class TNumberVector: Wrong vector size (9)");
  }
  V.SetCapacity(40);
  EXPECT_EQ(V.GetCapacity(), 40);
  V.Pack();
  EXPECT_EQ(V.GetCapacity(), 12);
  EXPECT_EQ(V.MemSize(), 10 * 4 + 12);
  EXPECT_EQ(V.DataBufferSize(), 48);
  V.Clear();
  EXPECT_EQ(V.GetData(), nullptr);
  EXPECT_EQ(V.GetCapacity(), 0);
}

TEST(VectorBlocks, CopyRangeWithinOneVectorBehavesAsAMove) {
  struct Case {
    int32_t Dest, From, To;
    std::vector<int32_t> Expected;
  };
  const Case Cases[] = {
      {1, 0, 2, {0, 0, 1, 2, 4}},              // overlap upward
      {0, 2, 4, {2, 3, 4, 3, 4}},              // overlap downward
      {4, 0, 4, {0, 1, 2, 3, 0, 1, 2, 3, 4}},  // grows the vector it reads from
      {0, 3, 2, {0, 1, 2, 3, 4}},              // ToIndex < FromIndex copies nothing
  };
  for (const Case& C : Cases) {
    TInt32Vector V;
    Fill(V, {0, 1, 2, 3, 4});
    V.CopyRange(C.Dest, V, C.From, C.To);
    EXPECT_EQ(Values(V), C.Expected) << C.Dest << " " << C.From << " " << C.To;
  }
}

// Plain raw-storage vectors with the base's block operations.
template <class Base>
class TRawVector : public Base {
 public:
  int Compare(int32_t Index, const void* Value) const override {
    return std::memcmp(this->Data_ + Index * this->ElemSize_, Value, static_cast<size_t>(this->ElemSize_));
  }
  void Exchange(int32_t I, int32_t J) override {
    std::swap_ranges(this->Data_ + I * this->ElemSize_, this->Data_ + (I + 1) * this->ElemSize_,
                     this->Data_ + J * this->ElemSize_);
  }
};

TEST(VectorBlocks, ElementSizesMustMatch) {
  TRawVector<TBase32Vector> Wide;
  TRawVector<TBase8Vector> Narrow;
  Wide.SetCount(2);
  Narrow.SetCount(2);
  // Same count, different widths: unequal, without reading past the smaller block.
  EXPECT_FALSE(Wide.EqualTo(Narrow));
  EXPECT_FALSE(Narrow.EqualTo(Wide));
  TRawVector<TBase8Vector> Empty8;
  TRawVector<TBase32Vector> Empty32;
  EXPECT_TRUE(Empty8.EqualTo(Empty32));
  for (auto* Op : {+[](TVector&D, const TVector&S) { D.Assign(S); },
                   +[](TVector&D, const TVector&S) { D.CopyRange(0, S, 0, 1); }}) {
    try {
      Op(Wide, Narrow);
      ADD_FAILURE();
    } catch (const EVectorError& E) {
      EXPECT_STREQ(E.what(), "Class TBase32Vector: Assign error");
    }
  }
  EXPECT_EQ(Wide.GetCount(), 2);
  // Number vectors accept only their own member.
  TInt32Vector A;
  Fill(A, {1, 2});
  TInt8Vector B;
  B.Add(1);
  try {
    A.Assign(B);
    FAIL();
  } catch (const EVectorError& E) {
    EXPECT_STREQ(E.what(), "Class TNumberVector: Assign error");
  }
  EXPECT_EQ(Values(A), (std::vector<int32_t>{1, 2}));
}

TEST(VectorBlocks, ExchangeRangeSwapsBlocks) {
  TInt32Vector V;
  Fill(V, {0, 1, 2, 3, 4, 5});
  V.ExchangeRange(0, 3, 2);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{3, 4, 2, 0, 1, 5}));
}

// ---- sorting ----

TEST(VectorSort, SortVectorsOrdersByPrimaryThenKeys) {
  struct Case {
    bool Ascending;
    std::vector<int32_t> Primary;
    std::string Keys;
  };
  const Case Cases[] = {{true, {1, 2, 2}, "bac"}, {false, {2, 2, 1}, "cab"}};
  for (const Case& C : Cases) {
    TInt32Vector P;
    Fill(P, {2, 1, 2});
    TInt8Vector K;
    for (char Ch : std::string("cba")) K.Add(static_cast<int8_t>(Ch));
    SortVectors(P, {&K}, C.Ascending);
    EXPECT_EQ(Values(P), C.Primary);
    std::string Got;
    for (int32_t I = 0; I < K.GetCount(); ++I) Got += static_cast<char>(K.Get(I));
    EXPECT_EQ(Got, C.Keys);
  }
}

TEST(VectorSort, SortVectorsWithSeveralKeysMatchesTupleOrder) {
  std::mt19937 Rng(7);
  TInt32Vector P, K1;
  TDoubleVector K2;
  std::vector<std::tuple<int32_t, int32_t, double>> Model;
  for (int I = 0; I < 500; ++I) {
    const int32_t A = static_cast<int32_t>(Rng() % 5), B = static_cast<int32_t>(Rng() % 5);
    const double C = static_cast<double>(I);  // unique, so the order is total
    P.Add(A);
    K1.Add(B);
    K2.Add(C);
    Model.emplace_back(A, B, C);
  }
  SortVectors(P, {&K1, &K2}, false);
  std::sort(Model.begin(), Model.end(), std::greater<>());
  for (int I = 0; I < 500; ++I) {
    ASSERT_EQ(P.Get(I), std::get<0>(Model[I])) << I;
    ASSERT_EQ(K1.Get(I), std::get<1>(Model[I])) << I;
    ASSERT_EQ(K2.Get(I), std::get<2>(Model[I])) << I;
  }
}

TEST(VectorSort, CompanionsFollowEveryExchange) {
  std::mt19937 Rng(11);
  for (bool Ascending : {true, false}) {
    TInt64Vector Keys;
    TInt32Vector Tags, Tags2;
    std::vector<std::pair<int64_t, int32_t>> Model;
    for (int32_t I = 0; I < 1000; ++I) {
      const int64_t K = static_cast<int64_t>(Rng() % 100) - 50;
      Keys.Add(K);
      Tags.Add(I);
      Tags2.Add(-I);
      Model.emplace_back(K, I);
    }
    Keys.SortWithVectorsEx({&Tags, &Tags2}, Ascending);
    for (int32_t I = 0; I < 1000; ++I) {
      // Each tag still names the key it started with, and the keys are ordered.
      ASSERT_EQ(Model[Tags.Get(I)].first, Keys.Get(I));
      ASSERT_EQ(Tags2.Get(I), -Tags.Get(I));
      if (I > 0) {
        ASSERT_TRUE(Ascending ? Keys.Get(I - 1) <= Keys.Get(I) : Keys.Get(I - 1) >= Keys.Get(I));
      }
    }
  }
}

TEST(VectorSort, RangeSortsTouchOnlyTheirRange) {
  TInt32Vector V;
  Fill(V, {9, 5, 3, 8, 1, 0});
  TInt32Vector C;
  Fill(C, {0, 1, 2, 3, 4, 5});
  V.SortRangeWith(1, 4, C);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{9, 1, 3, 5, 8, 0}));
  EXPECT_EQ(Values(C), (std::vector<int32_t>{0, 4, 2, 1, 3, 5}));
  V.SortRangeDescWith(0, 2, C);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{9, 3, 1, 5, 8, 0}));
  EXPECT_EQ(Values(C), (std::vector<int32_t>{0, 2, 4, 1, 3, 5}));
}

// A vector whose comparison counts calls, to show that small sorts take no pivot.
class TCountingVector : public TBase32Vector {
 public:
  int Compare(int32_t Index, const void* Value) const override {
    ++Calls;
    int32_t A, B;
    std::memcpy(&A, Data_ + Index * 4, 4);
    std::memcpy(&B, Value, 4);
    return (A > B) - (A < B);
  }
  void Exchange(int32_t I, int32_t J) override {
    std::swap_ranges(Data_ + I * 4, Data_ + I * 4 + 4, Data_ + J * 4);
  }
  mutable int Calls = 0;
};

TEST(VectorSort, FewerThanTwoElementsAreLeftAlone) {
  TCountingVector V;
  V.SetCount(1);
  TCountingVector C;
  V.Sort();
  V.SortDesc();
  V.SortWithVectors({&C});
  SortVectors(V, {&C}, true);
  EXPECT_EQ(V.Calls, 0);
}

TEST(VectorSort, GenericQuicksortSortsThroughCompareAndExchange) {
  std::mt19937 Rng(3);
  TCountingVector V;
  std::vector<int32_t> Model;
  for (int I = 0; I < 3000; ++I) {
    const int32_t X = static_cast<int32_t>(Rng() % 200) - 100;
    V.SetCount(I + 1);
    std::memcpy(V.GetData() + I * 4, &X, 4);
    Model.push_back(X);
  }
  V.SortDesc();
  std::sort(Model.rbegin(), Model.rend());
  for (int I = 0; I < 3000; ++I) {
    int32_t X;
    V.GetItemTo(I, &X);
    ASSERT_EQ(X, Model[I]) << I;
  }
  // Already sorted input (the worst case of a naive recursion) stays sorted.
  V.SortDesc();
  int32_t First, Last;
  V.GetItemTo(0, &First);
  V.GetItemTo(2999, &Last);
  EXPECT_EQ(First, Model.front());
  EXPECT_EQ(Last, Model.back());
}

// ---- raw searches ----

TEST(VectorRaw, SearchesClampTheirStartIndex) {
  TInt32Vector V;
  Fill(V, {5, 7, 5, 9});
  struct Case {
    int32_t Start, Value, First, Last;
  };
  const Case Cases[] = {{-3, 5, 0, -1},  {1, 5, 2, 0},   {4, 5, -1, 2},
                        {100, 9, -1, 3}, {0, 6, -1, -1}, {3, 9, 3, 3}};
  for (const Case& C : Cases) {
    EXPECT_EQ(V.RawIndexFrom(C.Start, static_cast<uint32_t>(C.Value)), C.First) << C.Start << " " << C.Value;
    EXPECT_EQ(V.RawLastIndexFrom(C.Start, static_cast<uint32_t>(C.Value)), C.Last)
        << C.Start << " " << C.Value;
  }
  EXPECT_EQ(V.RawNumberOfValues(5), 2);
  TInt8Vector B;
  for (int8_t X : {1, 2, 1}) B.Add(X);
  EXPECT_EQ(B.RawIndexFrom(1, 1), 2);
  EXPECT_EQ(B.RawLastIndexFrom(50, 2), 1);
  EXPECT_EQ(B.RawNumberOfValues(1), 2);
}

// ---- streams ----

TEST(VectorStream, HeaderElementsAndTrailerByteForByte) {
  TVMemStream S;
  TInt32Vector V;
  Fill(V, {1, -2});
  V.DefaultValue = 0x01020304;
  V.WriteToStream(S);
  EXPECT_EQ(Bytes(S), std::string("\x02\0\0\0\x04\0\0\0\x01\0\0\0\xFE\xFF\xFF\xFF\x04\x03\x02\x01", 20));
  S.Seek(0);
  TInt32Vector Back;
  Back.ReadFromStream(S);
  EXPECT_TRUE(Back.EqualTo(V));
  EXPECT_EQ(Back.DefaultValue, 0x01020304);
  EXPECT_TRUE(S.Eof());
}

// Stored numbers that do not fit the class or the bytes left are refused before anything is allocated;
// the vector is left empty.
TEST(VectorStream, CorruptHeadersRaiseCleanly) {
  struct Case {
    const char* Name;
    std::string Stream;
    const char* Message;
  };
  const std::string Tail("\x07\0\0\0", 4);
  const Case Cases[] = {
      {"element size 1 in a 4-byte vector", std::string("\x02\0\0\0\x01\0\0\0\x01\x02\0\0", 12) + Tail,
       "Class TNumberVector: Wrong element size (1)"},
      {"element size 8", std::string("\x01\0\0\0\x08\0\0\0", 8) + std::string(8, '\0') + Tail,
       "Class TNumberVector: Wrong element size (8)"},
      {"negative count", std::string("\xFF\xFF\xFF\xFF\x04\0\0\0", 8) + Tail,
       "Class TNumberVector: Wrong vector size (-1)"},
      {"count far beyond the data", std::string("\xFF\xFF\xFF\x7F\x04\0\0\0", 8) + Tail,
       "Class TVMemStream:\r\nRead after end error"},
      {"count one beyond the data", std::string("\x02\0\0\0\x04\0\0\0\x01\0\0\0", 12) + Tail,
       "Class TVMemStream:\r\nRead after end error"},
      {"default value missing", std::string("\x01\0\0\0\x04\0\0\0\x01\0\0\0", 12),
       "Class TVMemStream:\r\nRead after end error"},
      {"header cut short", std::string("\x01\0\0", 3), "Class TVMemStream:\r\nRead after end error"},
  };
  for (const Case& C : Cases) {
    TVMemStream S;
    S.WriteText(C.Stream);
    S.Seek(0);
    TInt32Vector V;
    Fill(V, {1, 2, 3});
    try {
      V.ReadFromStream(S);
      ADD_FAILURE() << C.Name;
    } catch (const Exception& E) {
      EXPECT_STREQ(E.what(), C.Message) << C.Name;
    }
    EXPECT_EQ(V.GetCount(), 0) << C.Name;
    EXPECT_EQ(V.GetCapacity(), 0) << C.Name;
  }
}

TEST(VectorStream, EmptyVectorIsHeaderAndTrailerOnly) {
  TVMemStream S;
  TInt8Vector V(0, -1);
  V.WriteToStream(S);
  EXPECT_EQ(Bytes(S), std::string("\0\0\0\0\x01\0\0\0\xFF", 9));
  S.Seek(0);
  TInt8Vector Back(5);
  Back.ReadFromStream(S);
  EXPECT_EQ(Back.GetCount(), 0);
  EXPECT_EQ(Back.DefaultValue, -1);
}

}  // namespace
