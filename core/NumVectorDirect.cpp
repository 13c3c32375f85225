// The direct forms of the number vectors: array code on the element block, whole-array loops through the
// element routine tables, and the generic form whenever the second vector is not exactly this class.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <typeinfo>
#include <utility>

#include "core/MemUtils.h"
#include "core/NumVector.h"
#include "core/NumberRules.h"
#include "core/QuickSort.h"
#include "core/VectOps.h"

namespace {

constexpr int kNone = -1;

// The routine-table entries each member uses (VectOpTable unless noted; kNone: a direct loop instead).
template <class T>
struct TEntries;

template <>
struct TEntries<int8_t> {
  static constexpr int AddVec = 0, SubVec = 1, MulVec = kNone, DivVec = kNone;
  static constexpr int AddScalar = 15, SubScalar = 16, MulScalar = 35, DivScalar = 36;
  static constexpr int IntSum = 0;  // VectStatTable
};

template <>
struct TEntries<int32_t> {
  static constexpr int AddVec = 9, SubVec = 10, MulVec = kNone, DivVec = kNone;
  static constexpr int AddScalar = 23, SubScalar = 24, MulScalar = 43, DivScalar = 44;
  static constexpr int IntSum = 4;
};

template <>
struct TEntries<uint32_t> {
  static constexpr int AddVec = 11, SubVec = 12, MulVec = kNone, DivVec = kNone;
  static constexpr int AddScalar = 25, SubScalar = 26, MulScalar = 45, DivScalar = 46;
  static constexpr int IntSum = 5;
};

template <>
struct TEntries<int64_t> {
  static constexpr int AddVec = 13, SubVec = 14, MulVec = kNone, DivVec = kNone;
  static constexpr int AddScalar = 27, SubScalar = 28, MulScalar = 47, DivScalar = 48;
  static constexpr int IntSum = kNone;
};

template <>
struct TEntries<double> {
  static constexpr int AddVec = 51, SubVec = 52, MulVec = 30, DivVec = 33;
  static constexpr int AddScalar = 57, SubScalar = 58, MulScalar = 62, DivScalar = kNone;
  static constexpr int IntSum = kNone;
  // VectStatTable entries.
  static constexpr int Sum = 8, SqrSum = 11, Dot = 14, AddScaled = 17;
};

TFloatStatRoutine FloatStat(int Entry) { return VectStatTable.FloatStat[Entry - kFirstFloatStatEntry]; }
TAddScaledRoutine AddScaledRoutine(int Entry) {
  return VectStatTable.AddScaled[Entry - kFirstAddScaledEntry];
}

template <class T>
auto Pattern(T Value) {
  if constexpr (sizeof(T) == 1)
    return std::bit_cast<uint8_t>(Value);
  else if constexpr (sizeof(T) == 4)
    return std::bit_cast<uint32_t>(Value);
  else
    return std::bit_cast<uint64_t>(Value);
}

template <class T>
int CompareValues(T A, T B) {
  return A < B ? -1 : (B < A ? 1 : 0);
}

// The larger block a counting sort needs must fit in a sixteenth of the physical memory.
constexpr int64_t kCountingSortMemoryShare = 16;
// Counting sorts only vectors longer than this.
constexpr int32_t kCountingSortMinCount = 20;

}  // namespace

template <class T>
const TNumberVector<T>* TNumberVector<T>::Direct(const TVector& V) const {
  return typeid(V) == typeid(*this) ? static_cast<const TNumberVector*>(&V) : nullptr;
}

// ---- accessors, fills and searches ----

template <class T>
void TNumberVector<T>::SetToDefault() {
  this->InitMemory(0, this->Count_);
}

template <class T>
void TNumberVector<T>::SetToValue(T Value) {
  this->FillValue(0, this->Count_, Pattern(Value));
}

template <class T>
void TNumberVector<T>::Insert(int32_t Index, T Value) {
  this->InsertGap(Index);
  Items()[Index] = Value;
}

template <class T>
int32_t TNumberVector<T>::IndexFrom(int32_t StartIndex, T Value) const {
  if constexpr (std::is_floating_point_v<T>) {
    for (int32_t I = std::max(StartIndex, 0); I < this->Count_; ++I)
      if (Items()[I] == Value) return I;
    return -1;
  } else {
    return this->RawIndexFrom(StartIndex, Pattern(Value));
  }
}

template <class T>
int32_t TNumberVector<T>::LastIndexFrom(int32_t StartIndex, T Value) const {
  if constexpr (std::is_floating_point_v<T>) {
    for (int32_t I = std::min(StartIndex, this->Count_ - 1); I >= 0; --I)
      if (Items()[I] == Value) return I;
    return -1;
  } else {
    return this->RawLastIndexFrom(StartIndex, Pattern(Value));
  }
}

template <class T>
int32_t TNumberVector<T>::NumberOfValues(T Value) const {
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<int32_t>(std::count(Items(), Items() + this->Count_, Value));
  } else {
    return this->RawNumberOfValues(Pattern(Value));
  }
}

template <class T>
void TNumberVector<T>::Concat(const Base& Source) {
  const TNumberVector* From = Direct(Source);
  if (From == nullptr) return Base::Concat(Source);
  const int32_t Old = this->Count_;
  const int32_t Added = From->Count_;  // taken first: Source may be this vector
  this->IncCount(Added);
  if (Added > 0) std::memmove(Items() + Old, From->Items(), static_cast<size_t>(Added) * sizeof(T));
}

// ---- whole-vector copies and comparison ----

template <class T>
void TNumberVector<T>::Assign(const TVector& Source) {
  const TNumberVector* From = Direct(Source);
  if (From == nullptr) return Base::Assign(Source);
  this->DefaultValue = From->DefaultValue;
  this->BlockAssign(Source);
}

template <class T>
void TNumberVector<T>::CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex,
                                 int32_t ToIndex) {
  if (Direct(Source) == nullptr) return Base::CopyRange(DestIndex, Source, FromIndex, ToIndex);
  this->BlockCopyRange(DestIndex, Source, FromIndex, ToIndex);
}

template <class T>
void TNumberVector<T>::ExchangeRange(int32_t Index1, int32_t Index2, int32_t N) {
  this->BlockExchangeRange(Index1, Index2, N);
}

template <class T>
bool TNumberVector<T>::EqualTo(const TVector& Vector) const {
  if (Direct(Vector) == nullptr) return Base::EqualTo(Vector);
  return this->BlockEqualTo(Vector);
}

template <class T>
int TNumberVector<T>::Compare(int32_t Index, const void* Value) const {
  T V;
  std::memcpy(&V, Value, sizeof(T));
  return CompareValues(Items()[Index], V);
}

template <class T>
void TNumberVector<T>::Exchange(int32_t Index1, int32_t Index2) {
  std::swap(Items()[Index1], Items()[Index2]);
}

// ---- sorting ----

template <class T>
void TNumberVector<T>::SortRange(int32_t L, int32_t R) {
  T* A = Items();
  T Pivot{};
  auto Take = [&](int32_t Mid) { Pivot = A[Mid]; };
  auto Cmp = [&](int32_t I) { return CompareValues(A[I], Pivot); };
  auto Exch = [&](int32_t I, int32_t J) { std::swap(A[I], A[J]); };
  QuickSortRange(L, R, true, Take, Cmp, Exch);
}

template <class T>
void TNumberVector<T>::SortRangeDesc(int32_t L, int32_t R) {
  T* A = Items();
  T Pivot{};
  auto Take = [&](int32_t Mid) { Pivot = A[Mid]; };
  auto Cmp = [&](int32_t I) { return CompareValues(A[I], Pivot); };
  auto Exch = [&](int32_t I, int32_t J) { std::swap(A[I], A[J]); };
  QuickSortRange(L, R, false, Take, Cmp, Exch);
}

template <class T>
void TNumberVector<T>::Sort() {
  if (!CountingSort(true)) SortRange(0, this->Count_ - 1);
}

template <class T>
void TNumberVector<T>::SortDesc() {
  if (!CountingSort(false)) SortRangeDesc(0, this->Count_ - 1);
}

// Counting sort of the 8-bit member into a new block: counts per value, prefix sums, then the elements
// from last to first placed at their counter (stable). Returns false when it does not apply.
template <class T>
bool TNumberVector<T>::CountingSort(bool Ascending) {
  if constexpr (sizeof(T) != 1 || !std::is_signed_v<T>) {
    return false;
  } else {
    const int32_t N = this->Count_;
    const int32_t BlockBytes = this->DataBufferSize();
    if (N <= kCountingSortMinCount || GetPhysicalMemorySize() / kCountingSortMemoryShare < BlockBytes)
      return false;
    auto* Sorted = static_cast<int8_t*>(std::malloc(static_cast<size_t>(BlockBytes)));
    if (Sorted == nullptr) return false;  // no second block: sort in place instead
    uint32_t Counter[256] = {};
    const int8_t* A = Items();
    for (int32_t I = 0; I < N; ++I) ++Counter[A[I] + 128];
    for (int K = 0; K < 255; ++K) Counter[K + 1] += Counter[K];
    for (int32_t I = N - 1; I >= 0; --I) {
      const int32_t At = static_cast<int32_t>(--Counter[A[I] + 128]);
      Sorted[Ascending ? At : N - 1 - At] = A[I];
    }
    std::free(this->Data_);
    this->Data_ = reinterpret_cast<uint8_t*>(Sorted);
    this->Capacity_ = BlockBytes;  // one byte per element: the block holds Count raised to a multiple of 4
    this->InitMemory(N, this->Capacity_ - N);
    return true;
  }
}

// ---- arithmetic ----

template <class T>
void TNumberVector<T>::AddScalar(T Value) {
  VectOpTable[TEntries<T>::AddScalar](this->Data_, &Value, this->Count_);
}

template <class T>
void TNumberVector<T>::SubScalar(T Value) {
  VectOpTable[TEntries<T>::SubScalar](this->Data_, &Value, this->Count_);
}

template <class T>
void TNumberVector<T>::MulScalar(T Value) {
  VectOpTable[TEntries<T>::MulScalar](this->Data_, &Value, this->Count_);
}

template <class T>
void TNumberVector<T>::DivScalar(T Value) {
  if constexpr (std::is_floating_point_v<T>) {
    // The reciprocal is computed in long double and rounded to double before it multiplies.
    MulScalar(static_cast<T>(1.0L / Value));
  } else {
    VectOpTable[TEntries<T>::DivScalar](this->Data_, &Value, this->Count_);
  }
}

template <class T>
void TNumberVector<T>::AddVector(const Base& V) {
  const TNumberVector* From = Direct(V);
  if (From == nullptr) return Base::AddVector(V);
  VectOpTable[TEntries<T>::AddVec](this->Data_, From->Data_, this->Count_);
}

template <class T>
void TNumberVector<T>::SubVector(const Base& V) {
  const TNumberVector* From = Direct(V);
  if (From == nullptr) return Base::SubVector(V);
  VectOpTable[TEntries<T>::SubVec](this->Data_, From->Data_, this->Count_);
}

template <class T>
void TNumberVector<T>::MulVector(const Base& V) {
  const TNumberVector* From = Direct(V);
  if (From == nullptr) return Base::MulVector(V);
  if constexpr (TEntries<T>::MulVec != kNone) {
    VectOpTable[TEntries<T>::MulVec](this->Data_, From->Data_, this->Count_);
  } else {
    T* A = Items();
    const T* B = From->Items();
    for (int32_t I = 0; I < this->Count_; ++I) A[I] = ElemMul(A[I], B[I]);
  }
}

template <class T>
void TNumberVector<T>::DivVector(const Base& V) {
  const TNumberVector* From = Direct(V);
  if (From == nullptr) return Base::DivVector(V);
  if constexpr (TEntries<T>::DivVec != kNone) {
    VectOpTable[TEntries<T>::DivVec](this->Data_, From->Data_, this->Count_);
  } else {
    T* A = Items();
    const T* B = From->Items();
    for (int32_t I = 0; I < this->Count_; ++I) A[I] = ElemDiv(A[I], B[I]);
  }
}

template <class T>
void TNumberVector<T>::AddScaled(T Factor, const Base& V) {
  const TNumberVector* From = Direct(V);
  if (From == nullptr) return Base::AddScaled(Factor, V);
  if constexpr (std::is_floating_point_v<T>) {
    AddScaledRoutine(TEntries<T>::AddScaled)(this->Data_, From->Data_, this->Count_, Factor);
  } else {
    T* A = Items();
    const T* B = From->Items();
    for (int32_t I = 0; I < this->Count_; ++I) A[I] = WrapAdd(A[I], WrapMul(Factor, B[I]));
  }
}

template <class T>
void TNumberVector<T>::ArithmeticProgression(T First, T Step) {
  T* A = Items();
  const int32_t N = this->Count_;
  if (N <= 0) return;
  A[0] = First;
  for (int32_t I = 1; I < N; ++I) A[I] = ElemAdd(A[I - 1], Step);
}

// ---- statistics ----

namespace {

// The index of the first element of A[Start..N-1] that no later one beats (Better (later, current)).
template <class T, class Better>
int32_t IndexOfExtreme(const T* A, int32_t Start, int32_t N, Better Beats) {
  assert(Start >= 0 && Start < N);
  int32_t Best = Start;
  for (int32_t I = Start + 1; I < N; ++I)
    if (Beats(A[I], A[Best])) Best = I;
  return Best;
}

}  // namespace

template <class T>
int32_t TNumberVector<T>::IndexOfMinFrom(int32_t StartIndex, T& MinValue) const {
  this->RequireElements();
  const int32_t Best = IndexOfExtreme(Items(), StartIndex, this->Count_, [](T A, T B) { return A < B; });
  MinValue = Items()[Best];
  return Best;
}

template <class T>
int32_t TNumberVector<T>::IndexOfMaxFrom(int32_t StartIndex, T& MaxValue) const {
  this->RequireElements();
  const int32_t Best = IndexOfExtreme(Items(), StartIndex, this->Count_, [](T A, T B) { return B < A; });
  MaxValue = Items()[Best];
  return Best;
}

template <class T>
typename TNumberVector<T>::TSum TNumberVector<T>::Sum() const {
  if constexpr (std::is_floating_point_v<T>) {
    return FloatStat(TEntries<T>::Sum)(this->Data_, this->Data_, this->Count_);
  } else if constexpr (TEntries<T>::IntSum != kNone) {
    return static_cast<TSum>(
        VectStatTable.IntStat[TEntries<T>::IntSum](this->Data_, this->Data_, this->Count_));
  } else {
    return Base::Sum();
  }
}

template <class T>
typename TNumberVector<T>::TSum TNumberVector<T>::SqrSum() const {
  if constexpr (std::is_floating_point_v<T>) {
    return FloatStat(TEntries<T>::SqrSum)(this->Data_, this->Data_, this->Count_);
  } else {
    const T* A = Items();
    TSum Total = 0;
    for (int32_t I = 0; I < this->Count_; ++I)
      Total = WrapAdd(Total, WrapMul(static_cast<TSum>(A[I]), static_cast<TSum>(A[I])));
    return Total;
  }
}

template <class T>
typename TNumberVector<T>::TSum TNumberVector<T>::DotProduct(const Base& V) const {
  const TNumberVector* From = Direct(V);
  if (From == nullptr) return Base::DotProduct(V);
  if constexpr (std::is_floating_point_v<T>) {
    return FloatStat(TEntries<T>::Dot)(this->Data_, From->Data_, this->Count_);
  } else {
    const T* A = Items();
    const T* B = From->Items();
    TSum Total = 0;
    for (int32_t I = 0; I < this->Count_; ++I)
      Total = WrapAdd(Total, WrapMul(static_cast<TSum>(A[I]), static_cast<TSum>(B[I])));
    return Total;
  }
}

// ---- single elements ----

template <class T>
T TNumberVector<T>::IncItem(int32_t Index, T Delta) {
  return Items()[Index] = ElemAdd(Items()[Index], Delta);
}

template <class T>
T TNumberVector<T>::DecItem(int32_t Index, T Delta) {
  return Items()[Index] = ElemSub(Items()[Index], Delta);
}

template <class T>
T TNumberVector<T>::MulItem(int32_t Index, T Factor) {
  return Items()[Index] = ElemMul(Items()[Index], Factor);
}

template <class T>
T TNumberVector<T>::DivItem(int32_t Index, T Divisor) {
  return Items()[Index] = ElemDiv(Items()[Index], Divisor);
}

template class TNumberVector<int32_t>;
template class TNumberVector<uint32_t>;
template class TNumberVector<int8_t>;
template class TNumberVector<int64_t>;
template class TNumberVector<double>;
