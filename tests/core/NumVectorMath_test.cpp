// Number vector arithmetic and statistics: the numeric rules of each member (wrapping, division, sums),
// empty-vector errors, and the generic forms (over Get and Put) against the direct forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "core/CpuInfo.h"
#include "core/NumVector.h"
#include "core/VectOps.h"

namespace {

template <class T>
std::vector<T> Values(const TGenericNumberVector<T>& V) {
  std::vector<T> Out;
  for (int32_t I = 0; I < V.GetCount(); ++I) Out.push_back(V.Get(I));
  return Out;
}

template <class T>
std::unique_ptr<TNumberVector<T>> Make(std::initializer_list<T> Items) {
  auto Out = std::make_unique<TNumberVector<T>>();
  for (T X : Items) Out->Add(X);
  return Out;
}

// A member with the same storage reached only through Get and Put, so that every operation runs its
// generic form, and every direct operation given one of these falls back to the generic form.
template <class T>
class TPlainVector : public TGenericNumberVector<T> {
 public:
  using TGenericNumberVector<T>::TGenericNumberVector;
  T Get(int32_t Index) const override {
    T V;
    std::memcpy(&V, this->Data_ + Index * sizeof(T), sizeof(T));
    return V;
  }
  void Put(int32_t Index, T Value) override {
    std::memcpy(this->Data_ + Index * sizeof(T), &Value, sizeof(T));
  }
};

TEST(NumVectorMath, Int32Rules) {
  auto V = Make<int32_t>({INT32_MAX, -7, 7, INT32_MIN});
  V->AddScalar(1);
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{INT32_MIN, -6, 8, INT32_MIN + 1}));
  V = Make<int32_t>({-7, 7, INT32_MIN, 9});
  V->DivScalar(2);
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{-3, 3, INT32_MIN / 2, 4}));
  V = Make<int32_t>({INT32_MIN, 5});
  V->DivScalar(-1);  // the minimum divided by -1 stays the minimum
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{INT32_MIN, -5}));
  V = Make<int32_t>({0x10000, 3});
  V->MulScalar(0x10000);
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{0, 0x30000}));
  V->SetCount(4);
  V->ArithmeticProgression(5, -2);
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{5, 3, 1, -1}));
  V->ArithmeticProgression(INT32_MAX, 1);
  EXPECT_EQ(V->Get(1), INT32_MIN);
  EXPECT_EQ(Make<int32_t>({INT32_MAX, 1})->Sum(), INT32_MIN);
  EXPECT_EQ(Make<int32_t>({1, 5})->AbsDistance(*Make<int32_t>({4, 2})), 6);
  EXPECT_EQ(Make<int32_t>({INT32_MIN})->AbsDistance(*Make<int32_t>({0})), INT32_MIN);  // |MIN| wraps
  EXPECT_EQ(Make<int32_t>({1, 5})->SqrDistance(*Make<int32_t>({4, 2})), 18);
  EXPECT_EQ(Make<int32_t>({3, 4})->DotProduct(*Make<int32_t>({5, 6})), 39);
  EXPECT_EQ(Make<int32_t>({3, 4})->SqrSum(), 25);
  V = Make<int32_t>({0, 6});
  EXPECT_EQ(V->NotItem(0), -1);
  EXPECT_EQ(V->Get(0), -1);
  EXPECT_EQ(V->OrItem(1, 1), 7);
  EXPECT_EQ(V->XorItem(1, 2), 5);
  EXPECT_EQ(V->AndItem(1, 4), 4);
  EXPECT_EQ(V->IncItem(1, INT32_MAX), INT32_MIN + 3);
  EXPECT_EQ(V->DecItem(1, 4), INT32_MAX);
  EXPECT_EQ(V->MulItem(1, 2), -2);
  EXPECT_EQ(V->DivItem(1, -2), 1);
}

TEST(NumVectorMath, Int8Rules) {
  auto V = Make<int8_t>({-128, 100, -7});
  V->DivScalar(-1);
  EXPECT_EQ(Values<int8_t>(*V), (std::vector<int8_t>{-128, -100, 7}));
  V->MulScalar(3);  // low 8 bits of each product
  EXPECT_EQ(Values<int8_t>(*V), (std::vector<int8_t>{-128, -44, 21}));
  EXPECT_EQ(Make<int8_t>({-1, -2})->Sum(), -3);
  EXPECT_EQ(Make<int8_t>({-128, -128})->Sum(), -256);  // a 32-bit sum, not an 8-bit one
  EXPECT_EQ(Make<int8_t>({-128, 127})->SqrSum(), 16384 + 16129);
  EXPECT_EQ(Make<int8_t>({100})->SqrDistance(*Make<int8_t>({-100})), 40000);
  EXPECT_EQ(Make<int8_t>({0})->AbsDistance(*Make<int8_t>({-128})), 128);
  EXPECT_EQ(Make<int8_t>({-128, 2})->DotProduct(*Make<int8_t>({-128, 3})), 16390);
  V = Make<int8_t>({127});
  EXPECT_EQ(V->IncItem(0, 1), -128);
  EXPECT_EQ(V->NotItem(0), 127);
}

TEST(NumVectorMath, UnsignedAndInt64Rules) {
  auto U = Make<uint32_t>({0xFFFFFFFFu, 7});
  U->AddScalar(2);
  EXPECT_EQ(Values<uint32_t>(*U), (std::vector<uint32_t>{1, 9}));
  U = Make<uint32_t>({0xFFFFFFFEu, 9});
  U->DivScalar(2);  // unsigned division
  EXPECT_EQ(Values<uint32_t>(*U), (std::vector<uint32_t>{0x7FFFFFFFu, 4}));
  EXPECT_EQ(Make<uint32_t>({0x80000000u, 0x80000000u})->Sum(), 0u);
  uint32_t M;
  EXPECT_EQ(Make<uint32_t>({5, 0x80000000u, 1})->IndexOfMaxFrom(0, M), 1);
  EXPECT_EQ(M, 0x80000000u);
  // The difference is taken as a signed 32-bit value: 0 - 0xFFFFFFFF is 1.
  EXPECT_EQ(Make<uint32_t>({0})->AbsDistance(*Make<uint32_t>({0xFFFFFFFFu})), 1u);

  auto L = Make<int64_t>({INT64_MAX, INT64_MIN, -7});
  L->AddScalar(1);
  EXPECT_EQ(Values<int64_t>(*L), (std::vector<int64_t>{INT64_MIN, INT64_MIN + 1, -6}));
  L = Make<int64_t>({INT64_MIN, -7});
  L->DivScalar(-1);
  EXPECT_EQ(Values<int64_t>(*L), (std::vector<int64_t>{INT64_MIN, 7}));
  EXPECT_EQ(Make<int64_t>({3000000000})->SqrSum(), 9000000000000000000);
  EXPECT_EQ(Make<int64_t>({INT64_MAX, 1})->Sum(), INT64_MIN);
  L = Make<int64_t>({1, 2});
  L->MulVector(*Make<int64_t>({INT64_MAX, 3}));
  EXPECT_EQ(Values<int64_t>(*L), (std::vector<int64_t>{INT64_MAX, 6}));
}

TEST(NumVectorMath, DoubleRules) {
  auto D = Make<double>({1, 2, 3, 4, 5});
  EXPECT_EQ(D->Sum(), 15.0L);
  EXPECT_EQ(D->SqrSum(), 55.0L);
  EXPECT_EQ(D->DotProduct(*Make<double>({1, 0, 0, 0, 2})), 11.0L);
  EXPECT_EQ(D->AbsDistance(*Make<double>({2, 2, 2, 2, 2})), 7.0L);
  EXPECT_EQ(D->SqrDistance(*Make<double>({2, 2, 2, 2, 2})), 15.0L);
  EXPECT_EQ(TDoubleVector().Sum(), 0.0L);
  D->DivScalar(4);  // by the reciprocal 0.25, exact
  EXPECT_EQ(Values<double>(*D), (std::vector<double>{0.25, 0.5, 0.75, 1, 1.25}));
  D->AddScaled(4, *Make<double>({1, 1, 1, 1, 1}));
  EXPECT_EQ(Values<double>(*D), (std::vector<double>{4.25, 4.5, 4.75, 5, 5.25}));
  D->DivVector(*Make<double>({0.5, 0.5, 0.25, 2, 1}));
  EXPECT_EQ(Values<double>(*D), (std::vector<double>{8.5, 9, 19, 2.5, 5.25}));
  // The product 2e308 overflows a double but not the extended intermediate of the multiply-add.
  auto Big = Make<double>({-1.5e308});
  Big->AddScaled(2, *Make<double>({1e308}));
  EXPECT_EQ(Big->Get(0), static_cast<double>(2.0L * 1e308 + -1.5e308));
  EXPECT_TRUE(std::isfinite(Big->Get(0)));
  // Extended accumulation keeps a small term that plain double addition would lose.
  auto Fine = Make<double>({1.0, 0x1p-60, -1.0});
  EXPECT_EQ(Fine->Sum(), 0x1p-60L);
}

TEST(NumVectorMath, EmptyVectorStatisticsRaise) {
  TInt32Vector V;
  for (auto* Op : {+[](TInt32Vector& X) { X.Min(); }, +[](TInt32Vector& X) { X.Max(); },
                   +[](TInt32Vector& X) {
                     int32_t M;
                     X.IndexOfMinFrom(0, M);
                   },
                   +[](TInt32Vector& X) {
                     int32_t M;
                     X.IndexOfMaxFrom(0, M);
                   }}) {
    try {
      Op(V);
      ADD_FAILURE();
    } catch (const EVectorError& E) {
      EXPECT_STREQ(E.what(), "Class TNumberVector: Wrong vector size (0)");
    }
  }
  EXPECT_EQ(V.Sum(), 0);
  TPlainVector<double> G;
  EXPECT_THROW(G.Min(), EVectorError);
}

TEST(NumVectorMath, ExtremesPreferTheFirstOfEquals) {
  auto V = Make<int32_t>({4, 2, 9, 2, 9});
  int32_t M;
  EXPECT_EQ(V->IndexOfMinFrom(1, M), 1);
  EXPECT_EQ(M, 2);
  EXPECT_EQ(V->IndexOfMinFrom(2, M), 3);
  EXPECT_EQ(V->IndexOfMaxFrom(0, M), 2);
  EXPECT_EQ(V->IndexOfMaxFrom(4, M), 4);
  EXPECT_EQ(V->Min(), 2);
  EXPECT_EQ(V->Max(), 9);
}

// Integer division by zero raises a catchable error (never a trap). A scalar division changes nothing;
// a vector division keeps the elements before the zero divided.
TEST(NumVectorMath, DivisionByZeroRaises) {
  auto V = Make<int32_t>({10, 20, 30});
  EXPECT_THROW(V->DivScalar(0), EDivByZero);
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{10, 20, 30}));
  EXPECT_THROW(V->DivVector(*Make<int32_t>({2, 0, 3})), EDivByZero);
  EXPECT_EQ(Values<int32_t>(*V), (std::vector<int32_t>{5, 20, 30}));
  EXPECT_THROW(V->DivItem(2, 0), EDivByZero);
  EXPECT_EQ(V->Get(2), 30);
  auto B = Make<int8_t>({1});
  EXPECT_THROW(B->DivScalar(0), EDivByZero);
  auto L = Make<int64_t>({1});
  EXPECT_THROW(L->DivItem(0, 0), EDivByZero);
  auto U = Make<uint32_t>({1, 2});
  EXPECT_THROW(U->DivVector(*Make<uint32_t>({0, 1})), EDivByZero);
  TPlainVector<int32_t> G(2, 8);
  EXPECT_THROW(G.DivVector(*Make<int32_t>({4, 0})), EDivByZero);
  EXPECT_EQ(G.Get(0), 2);
  EXPECT_EQ(G.Get(1), 8);
}

// Each operation run in its direct form (two TNumberVectors), its fallback (a direct vector with a plain
// one) and its generic form (two plain vectors) gives the same elements and results. Double values are
// small integers and powers of two so that every rounding is exact.
template <class T>
class NumVectorForms : public ::testing::Test {};
using Members = ::testing::Types<int32_t, uint32_t, int8_t, int64_t, double>;
TYPED_TEST_SUITE(NumVectorForms, Members);

TYPED_TEST(NumVectorForms, GenericFallbackAndDirectAgree) {
  using T = TypeParam;
  using S = typename TGenericNumberVector<T>::TSum;
  std::mt19937 Rng(77);
  constexpr int32_t N = 37;
  std::vector<T> A, B;
  for (int32_t K = 0; K < N; ++K) {
    if constexpr (std::is_floating_point_v<T>) {
      A.push_back(static_cast<T>(static_cast<int>(Rng() % 64) - 32));
      B.push_back(static_cast<T>(1 << (Rng() % 4)) * ((Rng() % 2) ? 1 : -1));  // nonzero divisors
    } else {
      A.push_back(static_cast<T>(Rng()));
      T X = static_cast<T>(Rng());
      if (X == 0) X = 3;
      B.push_back(X);
    }
  }
  A[3] = std::numeric_limits<T>::lowest();
  B[3] = static_cast<T>(-1);  // MIN / -1 for the signed members
  const T Scalar = static_cast<T>(std::is_floating_point_v<T> ? 4 : -3);

  struct Result {
    std::vector<T> Elements;
    std::vector<S> Sums;
  };
  auto Run = [&](TGenericNumberVector<T>& X, const TGenericNumberVector<T>& Y, int Op) {
    Result R;
    switch (Op) {
      case 0:
        X.AddScalar(Scalar);
        break;
      case 1:
        X.SubScalar(Scalar);
        break;
      case 2:
        X.MulScalar(Scalar);
        break;
      case 3:
        X.DivScalar(Scalar);
        break;
      case 4:
        X.AddVector(Y);
        break;
      case 5:
        X.SubVector(Y);
        break;
      case 6:
        X.MulVector(Y);
        break;
      case 7:
        X.DivVector(Y);
        break;
      case 8:
        X.AddScaled(Scalar, Y);
        break;
      case 9:
        X.ArithmeticProgression(Scalar, static_cast<T>(7));
        break;
      case 10:
        R.Sums = {X.Sum(), X.SqrSum(), X.DotProduct(Y), X.SqrDistance(Y), X.AbsDistance(Y)};
        break;
      case 11: {
        T Lo, Hi;
        const int32_t I = X.IndexOfMinFrom(2, Lo), J = X.IndexOfMaxFrom(2, Hi);
        R.Sums = {static_cast<S>(I),  static_cast<S>(J),       static_cast<S>(Lo),
                  static_cast<S>(Hi), static_cast<S>(X.Min()), static_cast<S>(X.Max())};
        break;
      }
      case 12:
        X.IncItem(1, Scalar);
        X.DecItem(2, Scalar);
        X.MulItem(3, Scalar);
        X.DivItem(4, Scalar);
        break;
      case 13: {
        TNumberVector<T> C;
        C.Assign(Y);
        C.CopyRange(N - 2, X, 0, 5);
        X.Concat(C);
        X.ExchangeRange(0, 10, 4);
        R.Sums = {static_cast<S>(X.EqualTo(Y)), static_cast<S>(C.EqualTo(Y)), static_cast<S>(X.IndexOf(A[5])),
                  static_cast<S>(X.LastIndexFrom(N, A[5])), static_cast<S>(X.NumberOfValues(A[5]))};
        break;
      }
    }
    R.Elements = Values<T>(X);
    return R;
  };
  auto Load = [&](TGenericNumberVector<T>& X, const std::vector<T>& From) {
    X.SetCount(static_cast<int32_t>(From.size()));
    for (int32_t I = 0; I < X.GetCount(); ++I) X.Put(I, From[I]);
  };
  for (int Op = 0; Op <= 13; ++Op) {
    TNumberVector<T> D1, D2, F1;
    TPlainVector<T> F2, G1, G2;
    Load(D1, A), Load(D2, B), Load(F1, A), Load(F2, B), Load(G1, A), Load(G2, B);
    const Result Direct = Run(D1, D2, Op);
    const Result Fallback = Run(F1, F2, Op);
    const Result Generic = Run(G1, G2, Op);
    EXPECT_EQ(Direct.Elements, Generic.Elements) << "op " << Op;
    EXPECT_EQ(Direct.Sums, Generic.Sums) << "op " << Op;
    EXPECT_EQ(Fallback.Elements, Generic.Elements) << "op " << Op;
    EXPECT_EQ(Fallback.Sums, Generic.Sums) << "op " << Op;
  }
}

// The direct forms reach the routine tables; the plain and the packed routines give the same vectors.
TEST(NumVectorMath, PlainAndPackedRoutinesGiveTheSameVectors) {
  std::mt19937 Rng(2);
  std::vector<int8_t> A, B;
  for (int I = 0; I < 53; ++I)
    A.push_back(static_cast<int8_t>(Rng())), B.push_back(static_cast<int8_t>(Rng()));
  std::vector<int8_t> Results[2];
  for (bool Simd : {false, true}) {
    InstallVectRoutines(Simd);
    TInt8Vector X, Y;
    for (size_t I = 0; I < A.size(); ++I) X.Add(A[I]), Y.Add(B[I]);
    X.AddVector(Y);
    X.SubScalar(77);
    X.AddScalar(-3);
    X.SubVector(Y);
    X.SubVector(Y);
    Results[Simd] = Values<int8_t>(X);
  }
  InstallVectRoutines(HasSSE2);
  EXPECT_EQ(Results[0], Results[1]);
}

}  // namespace
