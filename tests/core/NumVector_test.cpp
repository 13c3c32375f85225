// Number vectors: defaults, stream bytes per member, sorted searches, moves, the 8-bit counting sort,
// member order, and a randomized comparison of every member against std::vector.
#include "core/NumVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/VStream.h"

namespace {

template <class T>
std::vector<T> Values(const TNumberVector<T>& V) {
  std::vector<T> Out;
  for (int32_t I = 0; I < V.GetCount(); ++I) Out.push_back(V.Get(I));
  return Out;
}

template <class T>
void Fill(TNumberVector<T>& V, const std::vector<T>& Items) {
  V.Clear();
  for (T X : Items) V.Add(X);
}

std::string Bytes(TVMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

template <class T>
class NumVectorMember : public ::testing::Test {};

using Members = ::testing::Types<int32_t, uint32_t, int8_t, int64_t, double>;
TYPED_TEST_SUITE(NumVectorMember, Members);

TYPED_TEST(NumVectorMember, NewSlotsTakeTheDefault) {
  using T = TypeParam;
  TNumberVector<T> V(3, T(7));
  EXPECT_EQ(Values(V), std::vector<T>(3, T(7)));
  V.SetCount(6);
  EXPECT_EQ(Values(V), std::vector<T>(6, T(7)));
  V.SetCount(1);
  V.Add(T(1));
  V.SetCount(5);  // slots vacated by the shrink are prepared again
  EXPECT_EQ(Values(V), (std::vector<T>{T(7), T(1), T(7), T(7), T(7)}));
  V.SetToValue(T(2));
  EXPECT_EQ(Values(V), std::vector<T>(5, T(2)));
  V.SetToDefault();
  EXPECT_EQ(Values(V), std::vector<T>(5, T(7)));
  EXPECT_EQ(V.GetElemSize(), static_cast<int32_t>(sizeof(T)));
}

TYPED_TEST(NumVectorMember, StreamRoundTripKeepsElementsAndDefault) {
  using T = TypeParam;
  TNumberVector<T> V(0, std::numeric_limits<T>::lowest());
  Fill<T>(V, {std::numeric_limits<T>::max(), T(0), T(1), std::numeric_limits<T>::lowest()});
  TVMemStream S;
  V.WriteToStream(S);
  EXPECT_EQ(S.GetSize(), static_cast<int32_t>(8 + 5 * sizeof(T)));
  S.Seek(0);
  TNumberVector<T> Back(2, T(9));
  Back.ReadFromStream(S);
  EXPECT_TRUE(Back.EqualTo(V));
  EXPECT_EQ(Back.DefaultValue, V.DefaultValue);
  Back.SetCount(5);
  EXPECT_EQ(Back.Get(4), std::numeric_limits<T>::lowest());
}

TEST(NumVectorStream, BytesPerMember) {
  struct Case {
    const char* Name;
    std::string Expected;
  };
  TVMemStream S32, SU32, S8, S64, SD;
  TInt32Vector A(1, -2);
  A.WriteToStream(S32);
  TUInt32Vector B(1, 0x80000000u);
  B.WriteToStream(SU32);
  TInt8Vector C(2, -128);
  C.WriteToStream(S8);
  TInt64Vector D(0, -1);
  D.Add(0x0102030405060708);
  D.WriteToStream(S64);
  TDoubleVector E(1, 1.5);
  E.WriteToStream(SD);
  const std::pair<TVMemStream*, std::string> Cases[] = {
      {&S32, std::string("\x01\0\0\0\x04\0\0\0\xFE\xFF\xFF\xFF\xFE\xFF\xFF\xFF", 16)},
      {&SU32, std::string("\x01\0\0\0\x04\0\0\0\0\0\0\x80\0\0\0\x80", 16)},
      {&S8, std::string("\x02\0\0\0\x01\0\0\0\x80\x80\x80", 11)},
      {&S64,
       std::string("\x01\0\0\0\x08\0\0\0\x08\x07\x06\x05\x04\x03\x02\x01", 16) + std::string(8, '\xFF')},
      {&SD, std::string("\x01\0\0\0\x08\0\0\0", 8) + std::string("\0\0\0\0\0\0\xF8\x3F", 8) +
                std::string("\0\0\0\0\0\0\xF8\x3F", 8)},
  };
  for (const auto& [Stream, Expected] : Cases) EXPECT_EQ(Bytes(*Stream), Expected);
}

TEST(NumVectorStream, DefaultOfAnotherWidthIsRefused) {
  // An Int64 stream read by an Int32 vector: the stored element size does not fit the class.
  TVMemStream S;
  TInt64Vector(2, 5).WriteToStream(S);
  S.Seek(0);
  TInt32Vector V;
  EXPECT_THROW(V.ReadFromStream(S), EVectorError);
  EXPECT_EQ(V.GetCount(), 0);
}

TEST(NumVectorSearch, SortedSearches) {
  TInt32Vector V;
  Fill<int32_t>(V, {1, 3, 3, 3, 5});
  struct Case {
    int32_t Value, Index;
    bool Found;
    int32_t Sorted;
  };
  const Case Cases[] = {{0, 0, false, -1}, {1, 0, true, 0}, {2, 1, false, -1}, {3, 1, true, 2},
                        {4, 4, false, -1}, {5, 4, true, 4}, {6, 5, false, -1}};
  for (const Case& C : Cases) {
    int32_t Index = -9;
    EXPECT_EQ(V.FindSorted(C.Value, Index), C.Found) << C.Value;
    EXPECT_EQ(Index, C.Index) << C.Value;
    EXPECT_EQ(V.SortedIndexOf(C.Value), C.Sorted) << C.Value;
  }
  EXPECT_EQ(V.SortedIndexOfRange(3, 3, 4), 3);
  TInt32Vector Empty;
  int32_t Index = -9;
  EXPECT_FALSE(Empty.FindSorted(3, Index));
  EXPECT_EQ(Index, 0);
  EXPECT_EQ(Empty.SortedIndexOf(3), -1);
}

TEST(NumVectorSearch, IndexFromClampsAndDoubleEqualityIsNumeric) {
  TDoubleVector D;
  Fill<double>(D, {-0.0, 1.0, 0.0, std::nan("")});
  EXPECT_EQ(D.IndexFrom(-5, 0.0), 0);  // +0 equals -0
  EXPECT_EQ(D.LastIndexFrom(100, -0.0), 2);
  EXPECT_EQ(D.NumberOfValues(0.0), 2);
  EXPECT_EQ(D.IndexOf(std::nan("")), -1);  // a NaN equals nothing
  TInt64Vector L;
  Fill<int64_t>(L, {5, -1, 5});
  EXPECT_EQ(L.IndexFrom(1, 5), 2);
  EXPECT_EQ(L.LastIndexFrom(-1, 5), -1);
  EXPECT_EQ(L.NumberOfValues(-1), 1);
}

TEST(NumVectorEdit, MoveRemoveAndConcat) {
  TInt32Vector V;
  Fill<int32_t>(V, {10, 20, 30, 40});
  V.Move(0, 2);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{20, 30, 10, 40}));
  V.Move(3, 0);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{40, 20, 30, 10}));
  V.Move(1, 1);
  EXPECT_EQ(V.Remove(99), -1);
  EXPECT_EQ(V.GetCount(), 4);
  EXPECT_EQ(V.Remove(30), 2);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{40, 20, 10}));
  EXPECT_EQ(V.Last(), 10);
  // Concat with itself copies the original elements once.
  V.Concat(V);
  EXPECT_EQ(Values(V), (std::vector<int32_t>{40, 20, 10, 40, 20, 10}));
}

// The bitwise items exist for the 1- and 4-byte integer members only and are instantiated for each of them
// apart from the rest of the class: a member left out fails to link here.
TEST(NumVectorEdit, BitwiseItemsOfTheIntegerMembers) {
  TInt8Vector B;
  Fill<int8_t>(B, {0x0F});
  EXPECT_EQ(B.OrItem(0, int8_t(0x30)), 0x3F);
  EXPECT_EQ(B.XorItem(0, int8_t(0x11)), 0x2E);
  EXPECT_EQ(B.AndItem(0, int8_t(0x0C)), 0x0C);
  EXPECT_EQ(B.NotItem(0), int8_t(0xF3));
  EXPECT_EQ(B.Get(0), int8_t(0xF3));

  TUInt32Vector U;
  Fill<uint32_t>(U, {0x80000001u});
  EXPECT_EQ(U.NotItem(0), 0x7FFFFFFEu);
  EXPECT_EQ(U.OrItem(0, 0x80000000u), 0xFFFFFFFEu);

  TInt32Vector I;
  Fill<int32_t>(I, {-1});
  EXPECT_EQ(I.AndItem(0, 0x00FF00FF), 0x00FF00FF);
  EXPECT_EQ(I.XorItem(0, -1), static_cast<int32_t>(0xFF00FF00u));
}

TEST(NumVectorSort, UnsignedMemberSortsInUnsignedOrder) {
  TUInt32Vector U;
  Fill<uint32_t>(U, {0x80000000u, 1, 0xFFFFFFFFu, 0});
  U.Sort();
  EXPECT_EQ(Values(U), (std::vector<uint32_t>{0, 1, 0x80000000u, 0xFFFFFFFFu}));
  int32_t Index;
  EXPECT_TRUE(U.FindSorted(0x80000000u, Index));
  EXPECT_EQ(Index, 2);
  TInt32Vector S;
  Fill<int32_t>(S, {INT32_MIN, 1, -1, 0});
  S.SortDesc();
  EXPECT_EQ(Values(S), (std::vector<int32_t>{1, 0, -1, INT32_MIN}));
}

TEST(NumVectorSort, Int8CountingSortEqualsStdSort) {
  std::mt19937 Rng(5);
  std::vector<int32_t> Sizes;
  for (int32_t N = 0; N <= 40; ++N) Sizes.push_back(N);
  Sizes.push_back(10000);
  for (int32_t N : Sizes) {
    for (bool Ascending : {true, false}) {
      std::vector<int8_t> Model;
      for (int32_t I = 0; I < N; ++I) Model.push_back(static_cast<int8_t>(Rng()));
      if (N > 2) Model[0] = -128, Model[1] = 127;
      TInt8Vector V(0, 3);
      Fill(V, Model);
      if (Ascending) {
        V.Sort();
        std::sort(Model.begin(), Model.end());
      } else {
        V.SortDesc();
        std::sort(Model.rbegin(), Model.rend());
      }
      ASSERT_EQ(Values(V), Model) << N << (Ascending ? " up" : " down");
      if (N > 20) {
        EXPECT_EQ(V.GetCapacity(), (N + 3) / 4 * 4);  // the counting sort's own block
      }
      // The new block behaves as any other: appending grows it and fills with the default.
      V.Add(42);
      V.SetCount(N + 6);
      EXPECT_EQ(V.Get(N), 42);
      EXPECT_EQ(V.Get(N + 5), 3);
    }
  }
}

TEST(NumVectorSort, NaNDoesNotRunTheSortOutOfItsRange) {
  TDoubleVector D;
  std::mt19937 Rng(9);
  for (int I = 0; I < 200; ++I) D.Add(I % 7 == 0 ? std::nan("") : static_cast<double>(Rng() % 50));
  D.Sort();
  D.SortDesc();
  EXPECT_EQ(D.GetCount(), 200);
  int32_t NaNs = 0;
  for (int I = 0; I < 200; ++I) NaNs += std::isnan(D.Get(I));
  EXPECT_EQ(NaNs, 29);
}

// Random edits applied to a number vector and to a std::vector alongside; both must always agree.
template <class T>
class NumVectorModel : public ::testing::Test {};
TYPED_TEST_SUITE(NumVectorModel, Members);

TYPED_TEST(NumVectorModel, RandomEditsMatchStdVector) {
  using T = TypeParam;
  std::mt19937 Rng(1234);
  auto Random = [&] { return static_cast<T>(static_cast<int>(Rng() % 21) - 10); };
  auto Pick = [&](size_t N) { return static_cast<int32_t>(N == 0 ? 0 : Rng() % N); };
  const T Default = T(4);
  TNumberVector<T> V(0, Default);
  std::vector<T> M;
  for (int Step = 0; Step < 4000; ++Step) {
    const int Op = static_cast<int>(Rng() % 14);
    switch (Op) {
      case 0:
      case 1: {
        const int32_t At = Pick(M.size() + 1);
        const T X = Random();
        V.Insert(At, X);
        M.insert(M.begin() + At, X);
        break;
      }
      case 2:
        if (!M.empty()) {
          const int32_t At = Pick(M.size());
          V.Delete(At);
          M.erase(M.begin() + At);
        }
        break;
      case 3:
        if (!M.empty()) {
          const int32_t At = Pick(M.size());
          const int32_t N = Pick(M.size() - At + 1);
          V.DeleteRange(At, N);
          M.erase(M.begin() + At, M.begin() + At + N);
        }
        break;
      case 4: {
        const int32_t N = Pick(60);
        V.SetCount(N);
        M.resize(static_cast<size_t>(N), Default);
        break;
      }
      case 5:
        if (!M.empty()) {
          const int32_t At = Pick(M.size());
          const T X = Random();
          V.Put(At, X);
          M[At] = X;
        }
        break;
      case 6:
        if (!M.empty()) {
          const int32_t From = Pick(M.size());
          const int32_t To = Pick(M.size());
          V.Move(From, To);
          const T X = M[From];
          M.erase(M.begin() + From);
          M.insert(M.begin() + To, X);
        }
        break;
      case 7: {
        const T X = Random();
        const auto It = std::find(M.begin(), M.end(), X);
        const int32_t Expected = It == M.end() ? -1 : static_cast<int32_t>(It - M.begin());
        ASSERT_EQ(V.Remove(X), Expected);
        if (It != M.end()) M.erase(It);
        break;
      }
      case 8:
        if (Rng() % 2) {
          V.Sort();
          std::sort(M.begin(), M.end());
          const T X = Random();
          int32_t Index;
          const bool Found = V.FindSorted(X, Index);
          ASSERT_EQ(Index, std::lower_bound(M.begin(), M.end(), X) - M.begin());
          ASSERT_EQ(Found, std::binary_search(M.begin(), M.end(), X));
          const int32_t Any = V.SortedIndexOf(X);
          ASSERT_TRUE(Found ? (Any >= 0 && M[Any] == X) : Any == -1);
        } else {
          V.SortDesc();
          std::sort(M.rbegin(), M.rend());
        }
        break;
      case 9: {
        const T X = Random();
        const int32_t Start = Pick(M.size() + 4) - 2;
        int32_t First = -1, Last = -1;
        for (int32_t I = std::max(Start, 0); I < static_cast<int32_t>(M.size()) && First < 0; ++I)
          if (M[I] == X) First = I;
        for (int32_t I = std::min<int32_t>(Start, static_cast<int32_t>(M.size()) - 1); I >= 0 && Last < 0;
             --I)
          if (M[I] == X) Last = I;
        ASSERT_EQ(V.IndexFrom(Start, X), First);
        ASSERT_EQ(V.LastIndexFrom(Start, X), Last);
        ASSERT_EQ(V.NumberOfValues(X), std::count(M.begin(), M.end(), X));
        break;
      }
      case 10:
        if (!M.empty()) {
          const int32_t From = Pick(M.size());
          const int32_t To = From + Pick(std::min<size_t>(M.size() - From, 8));
          const int32_t Dest = Pick(M.size() + 3);
          std::vector<T> Part(M.begin() + From, M.begin() + To + 1);
          V.CopyRange(Dest, V, From, To);
          if (M.size() < Dest + Part.size()) M.resize(Dest + Part.size(), Default);
          std::copy(Part.begin(), Part.end(), M.begin() + Dest);
        }
        break;
      case 11:
        if (M.size() >= 4) {
          const int32_t N = 1 + Pick(M.size() / 2);
          const int32_t A = Pick(M.size() - 2 * N + 1);
          const int32_t B = A + N + Pick(M.size() - A - 2 * N + 1);
          V.ExchangeRange(A, B, N);
          std::swap_ranges(M.begin() + A, M.begin() + A + N, M.begin() + B);
        }
        break;
      case 12:
        if (M.size() < 200) {
          V.Concat(V);
          const std::vector<T> Copy = M;
          M.insert(M.end(), Copy.begin(), Copy.end());
        }
        break;
      case 13: {
        TNumberVector<T> Copy;
        Copy.Assign(V);
        ASSERT_TRUE(Copy.EqualTo(V));
        ASSERT_EQ(Copy.DefaultValue, Default);
        break;
      }
    }
    ASSERT_EQ(V.GetCount(), static_cast<int32_t>(M.size())) << "step " << Step << " op " << Op;
    ASSERT_EQ(Values(V), M) << "step " << Step << " op " << Op;
    ASSERT_EQ(V.GetCapacity() % 4, 0);
    ASSERT_GE(V.GetCapacity(), V.GetCount());
  }
}

}  // namespace
