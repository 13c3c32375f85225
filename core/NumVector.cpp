// The generic forms of the number vectors: every operation over the virtual accessors Get and Put.
#include "core/NumVector.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>

#include "core/NumberRules.h"
#include "core/VStream.h"

namespace {

// The sum type's arithmetic: wrapping for integers.
template <class S>
S SumAdd(S A, S B) {
  if constexpr (std::is_floating_point_v<S>)
    return A + B;
  else
    return WrapAdd(A, B);
}

template <class S>
S SumMul(S A, S B) {
  if constexpr (std::is_floating_point_v<S>)
    return A * B;
  else
    return WrapMul(A, B);
}

template <class S>
S SumSub(S A, S B) {
  if constexpr (std::is_floating_point_v<S>)
    return A - B;
  else
    return WrapSub(A, B);
}

// |A - B| with the difference taken in the element type (signed for the 32-bit members), as a sum term.
template <class T, class S>
S AbsDifference(T A, T B) {
  if constexpr (std::is_floating_point_v<T>) {
    return std::fabs(static_cast<long double>(A) - B);
  } else {
    // An 8-bit difference of -128 counts 128 in the 32-bit sum; a 32-bit or 64-bit one stays the minimum.
    using Signed = std::make_signed_t<T>;
    using SignedSum = std::make_signed_t<S>;
    const Signed D = static_cast<Signed>(WrapSub(A, B));
    return static_cast<S>(WrapAbs(static_cast<SignedSum>(D)));
  }
}

}  // namespace

template <class T>
TGenericNumberVector<T>::TGenericNumberVector(int32_t ElemCount, T DefaultValue)
    : DefaultValue(DefaultValue) {
  this->SetCount(ElemCount);
}

template <class T>
void TGenericNumberVector<T>::InitMemory(int32_t ByteOffset, int32_t N) {
  if (N <= 0) return;
  if constexpr (sizeof(T) == 1) {
    this->FillValue(ByteOffset, N, std::bit_cast<uint8_t>(DefaultValue));
  } else if constexpr (sizeof(T) == 4) {
    this->FillValue(ByteOffset, N, std::bit_cast<uint32_t>(DefaultValue));
  } else {
    this->FillValue(ByteOffset, N, std::bit_cast<uint64_t>(DefaultValue));
  }
}

template <class T>
void TGenericNumberVector<T>::RequireElements() const {
  if (this->GetCount() <= 0) this->Error("Wrong vector size (%d)", {this->GetCount()});
}

template <class T>
T TGenericNumberVector<T>::Store(int32_t Index, T Value) {
  Put(Index, Value);
  return Value;
}

template <class T>
template <class Make>
void TGenericNumberVector<T>::Update(Make NewValue) {
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I) Put(I, NewValue(I));
}

template <class T>
const TGenericNumberVector<T>& TGenericNumberVector<T>::SameMember(const TVector& Source,
                                                                   const char* Msg) const {
  const auto* Same = dynamic_cast<const TGenericNumberVector*>(&Source);
  if (Same == nullptr) this->Error(Msg);
  return *Same;
}

// ---- accessors, fills and searches ----

template <class T>
void TGenericNumberVector<T>::SetToDefault() {
  SetToValue(DefaultValue);
}

template <class T>
void TGenericNumberVector<T>::SetToValue(T Value) {
  Update([&](int32_t) { return Value; });
}

template <class T>
void TGenericNumberVector<T>::Insert(int32_t Index, T Value) {
  this->InsertGap(Index);
  Put(Index, Value);
}

template <class T>
int32_t TGenericNumberVector<T>::Add(T Value) {
  const int32_t Index = this->GetCount();
  Insert(Index, Value);
  return Index;
}

template <class T>
void TGenericNumberVector<T>::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  const T Value = Get(CurIndex);
  this->Delete(CurIndex);
  Insert(NewIndex, Value);
}

template <class T>
int32_t TGenericNumberVector<T>::Remove(T Value) {
  const int32_t Index = IndexOf(Value);
  if (Index >= 0) this->Delete(Index);
  return Index;
}

template <class T>
int32_t TGenericNumberVector<T>::IndexFrom(int32_t StartIndex, T Value) const {
  const int32_t N = this->GetCount();
  for (int32_t I = StartIndex < 0 ? 0 : StartIndex; I < N; ++I)
    if (Get(I) == Value) return I;
  return -1;
}

template <class T>
int32_t TGenericNumberVector<T>::LastIndexFrom(int32_t StartIndex, T Value) const {
  const int32_t Last = this->GetCount() - 1;
  for (int32_t I = StartIndex < Last ? StartIndex : Last; I >= 0; --I)
    if (Get(I) == Value) return I;
  return -1;
}

template <class T>
int32_t TGenericNumberVector<T>::NumberOfValues(T Value) const {
  const int32_t N = this->GetCount();
  int32_t Found = 0;
  for (int32_t I = 0; I < N; ++I) Found += Get(I) == Value;
  return Found;
}

template <class T>
void TGenericNumberVector<T>::Concat(const TGenericNumberVector& Source) {
  const int32_t Old = this->GetCount();
  const int32_t Added = Source.GetCount();  // taken before the count changes: Source may be this vector
  this->IncCount(Added);
  for (int32_t I = 0; I < Added; ++I) Put(Old + I, Source.Get(I));
}

template <class T>
int32_t TGenericNumberVector<T>::SortedIndexOfRange(T Value, int32_t L, int32_t R) const {
  while (L <= R) {
    const int32_t Mid = static_cast<int32_t>((static_cast<int64_t>(L) + R) / 2);
    const int C = Compare(Mid, &Value);
    if (C < 0) {
      L = Mid + 1;
    } else {
      if (C == 0) return Mid;
      R = Mid - 1;
    }
  }
  return -1;
}

template <class T>
bool TGenericNumberVector<T>::FindSorted(T Value, int32_t& Index) const {
  int32_t L = 0;
  int32_t R = this->GetCount() - 1;
  bool Found = false;
  while (L <= R) {
    const int32_t Mid = static_cast<int32_t>((static_cast<int64_t>(L) + R) / 2);
    const int C = Compare(Mid, &Value);
    if (C < 0) {
      L = Mid + 1;
    } else {
      if (C == 0) Found = true;
      R = Mid - 1;
    }
  }
  Index = L;
  return Found;
}

// ---- whole-vector copies, comparison and persistence ----

template <class T>
void TGenericNumberVector<T>::Assign(const TVector& Source) {
  const TGenericNumberVector& From = SameMember(Source, "Assign error");
  if (&From == this) return;
  DefaultValue = From.DefaultValue;
  const int32_t N = From.GetCount();
  this->SetCount(N);
  for (int32_t I = 0; I < N; ++I) Put(I, From.Get(I));
}

template <class T>
void TGenericNumberVector<T>::CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex,
                                        int32_t ToIndex) {
  const TGenericNumberVector& From = SameMember(Source, "Assign error");
  if (ToIndex < FromIndex) return;
  const int64_t Needed = static_cast<int64_t>(DestIndex) + ToIndex - FromIndex + 1;
  if (Needed > INT32_MAX) this->Error("Wrong vector size (%d)", {Needed});
  if (this->GetCount() < Needed) this->SetCount(static_cast<int32_t>(Needed));
  for (int32_t I = FromIndex; I <= ToIndex; ++I) Put(DestIndex + (I - FromIndex), From.Get(I));
}

template <class T>
void TGenericNumberVector<T>::ExchangeRange(int32_t Index1, int32_t Index2, int32_t N) {
  for (int32_t K = 0; K < N; ++K) Exchange(Index1 + K, Index2 + K);
}

template <class T>
bool TGenericNumberVector<T>::EqualTo(const TVector& Vector) const {
  const TGenericNumberVector& Other = SameMember(Vector, "Incompatible classes");
  const int32_t N = this->GetCount();
  if (Other.GetCount() != N) return false;
  for (int32_t I = 0; I < N; ++I)
    if (!(Get(I) == Other.Get(I))) return false;
  return true;
}

template <class T>
int TGenericNumberVector<T>::Compare(int32_t Index, const void* Value) const {
  T V;
  std::memcpy(&V, Value, sizeof(T));
  return CompareValues(Get(Index), V);
}

template <class T>
void TGenericNumberVector<T>::Exchange(int32_t Index1, int32_t Index2) {
  if (Index1 == Index2) return;
  const T A = Get(Index1);
  Put(Index1, Get(Index2));
  Put(Index2, A);
}

template <class T>
void TGenericNumberVector<T>::WriteToStream(TVStream& Stream) const {
  this->WriteVectorPart(Stream);
  Stream.Write(&DefaultValue, sizeof(T));
}

template <class T>
void TGenericNumberVector<T>::ReadFromStream(TVStream& Stream) {
  this->ReadVectorPart(Stream, sizeof(T));
  Stream.ReadBuffer(&DefaultValue, sizeof(T));
}

// ---- arithmetic (generic: element by element) ----

template <class T>
void TGenericNumberVector<T>::AddScalar(T Value) {
  Update([&](int32_t I) { return ElemAdd(Get(I), Value); });
}

template <class T>
void TGenericNumberVector<T>::SubScalar(T Value) {
  Update([&](int32_t I) { return ElemSub(Get(I), Value); });
}

template <class T>
void TGenericNumberVector<T>::MulScalar(T Value) {
  Update([&](int32_t I) { return ElemMul(Get(I), Value); });
}

template <class T>
void TGenericNumberVector<T>::DivScalar(T Value) {
  Update([&](int32_t I) { return ElemDiv(Get(I), Value); });
}

template <class T>
void TGenericNumberVector<T>::AddVector(const TGenericNumberVector& V) {
  Update([&](int32_t I) { return ElemAdd(Get(I), V.Get(I)); });
}

template <class T>
void TGenericNumberVector<T>::SubVector(const TGenericNumberVector& V) {
  Update([&](int32_t I) { return ElemSub(Get(I), V.Get(I)); });
}

template <class T>
void TGenericNumberVector<T>::MulVector(const TGenericNumberVector& V) {
  Update([&](int32_t I) { return ElemMul(Get(I), V.Get(I)); });
}

template <class T>
void TGenericNumberVector<T>::DivVector(const TGenericNumberVector& V) {
  Update([&](int32_t I) { return ElemDiv(Get(I), V.Get(I)); });
}

template <class T>
void TGenericNumberVector<T>::AddScaled(T Factor, const TGenericNumberVector& V) {
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I) {
    if constexpr (std::is_floating_point_v<T>)
      Put(I, static_cast<T>(static_cast<long double>(Factor) * V.Get(I) + Get(I)));
    else
      Put(I, WrapAdd(Get(I), WrapMul(Factor, V.Get(I))));
  }
}

template <class T>
void TGenericNumberVector<T>::ArithmeticProgression(T First, T Step) {
  const int32_t N = this->GetCount();
  if (N <= 0) return;
  T Value = First;
  Put(0, Value);
  for (int32_t I = 1; I < N; ++I) {
    Value = ElemAdd(Value, Step);
    Put(I, Value);
  }
}

// ---- statistics ----

template <class T>
T TGenericNumberVector<T>::Min() const {
  T Value;
  IndexOfMinFrom(0, Value);
  return Value;
}

template <class T>
T TGenericNumberVector<T>::Max() const {
  T Value;
  IndexOfMaxFrom(0, Value);
  return Value;
}

// The index of the first element from StartIndex that no later one beats (Better (later, current)).
template <class T>
template <class Better>
int32_t TGenericNumberVector<T>::IndexOfExtremeFrom(int32_t StartIndex, T& Value, Better Beats) const {
  RequireElements();
  assert(StartIndex >= 0 && StartIndex < this->GetCount());
  int32_t Best = StartIndex;
  Value = Get(StartIndex);
  const int32_t N = this->GetCount();
  for (int32_t I = StartIndex + 1; I < N; ++I) {
    const T V = Get(I);
    if (Beats(V, Value)) {
      Value = V;
      Best = I;
    }
  }
  return Best;
}

template <class T>
int32_t TGenericNumberVector<T>::IndexOfMinFrom(int32_t StartIndex, T& MinValue) const {
  return IndexOfExtremeFrom(StartIndex, MinValue, [](T A, T B) { return A < B; });
}

template <class T>
int32_t TGenericNumberVector<T>::IndexOfMaxFrom(int32_t StartIndex, T& MaxValue) const {
  return IndexOfExtremeFrom(StartIndex, MaxValue, [](T A, T B) { return B < A; });
}

template <class T>
typename TGenericNumberVector<T>::TSum TGenericNumberVector<T>::Sum() const {
  TSum Total = 0;
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I) Total = SumAdd(Total, static_cast<TSum>(Get(I)));
  return Total;
}

template <class T>
typename TGenericNumberVector<T>::TSum TGenericNumberVector<T>::SqrSum() const {
  TSum Total = 0;
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I) {
    const TSum V = static_cast<TSum>(Get(I));
    Total = SumAdd(Total, SumMul(V, V));
  }
  return Total;
}

template <class T>
typename TGenericNumberVector<T>::TSum TGenericNumberVector<T>::DotProduct(
    const TGenericNumberVector& V) const {
  TSum Total = 0;
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I)
    Total = SumAdd(Total, SumMul(static_cast<TSum>(Get(I)), static_cast<TSum>(V.Get(I))));
  return Total;
}

template <class T>
typename TGenericNumberVector<T>::TSum TGenericNumberVector<T>::SqrDistance(
    const TGenericNumberVector& V) const {
  TSum Total = 0;
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I) {
    const TSum D = SumSub(static_cast<TSum>(Get(I)), static_cast<TSum>(V.Get(I)));
    Total = SumAdd(Total, SumMul(D, D));
  }
  return Total;
}

template <class T>
typename TGenericNumberVector<T>::TSum TGenericNumberVector<T>::AbsDistance(
    const TGenericNumberVector& V) const {
  TSum Total = 0;
  const int32_t N = this->GetCount();
  for (int32_t I = 0; I < N; ++I) Total = SumAdd(Total, AbsDifference<T, TSum>(Get(I), V.Get(I)));
  return Total;
}

// ---- single elements ----

template <class T>
T TGenericNumberVector<T>::IncItem(int32_t Index, T Delta) {
  return Store(Index, ElemAdd(Get(Index), Delta));
}

template <class T>
T TGenericNumberVector<T>::DecItem(int32_t Index, T Delta) {
  return Store(Index, ElemSub(Get(Index), Delta));
}

template <class T>
T TGenericNumberVector<T>::MulItem(int32_t Index, T Factor) {
  return Store(Index, ElemMul(Get(Index), Factor));
}

template <class T>
T TGenericNumberVector<T>::DivItem(int32_t Index, T Divisor) {
  return Store(Index, ElemDiv(Get(Index), Divisor));
}

template class TGenericNumberVector<int32_t>;
template class TGenericNumberVector<uint32_t>;
template class TGenericNumberVector<int8_t>;
template class TGenericNumberVector<int64_t>;
template class TGenericNumberVector<double>;

// The bitwise items are defined after the class instantiations above, which therefore leave them out, and
// are instantiated for the members that have them only: some compilers instantiate every member defined
// before an explicit class instantiation, whatever its constraints, and a double has no bitwise operators.

template <class T>
T TGenericNumberVector<T>::OrItem(int32_t Index, T Mask) requires BitwiseNumber<T> {
  return Store(Index, static_cast<T>(Get(Index) | Mask));
}

template <class T>
T TGenericNumberVector<T>::XorItem(int32_t Index, T Mask) requires BitwiseNumber<T> {
  return Store(Index, static_cast<T>(Get(Index) ^ Mask));
}

template <class T>
T TGenericNumberVector<T>::AndItem(int32_t Index, T Mask) requires BitwiseNumber<T> {
  return Store(Index, static_cast<T>(Get(Index) & Mask));
}

template <class T>
T TGenericNumberVector<T>::NotItem(int32_t Index) requires BitwiseNumber<T> {
  return Store(Index, static_cast<T>(~Get(Index)));
}

template int32_t TGenericNumberVector<int32_t>::OrItem(int32_t, int32_t);
template int32_t TGenericNumberVector<int32_t>::XorItem(int32_t, int32_t);
template int32_t TGenericNumberVector<int32_t>::AndItem(int32_t, int32_t);
template int32_t TGenericNumberVector<int32_t>::NotItem(int32_t);
template uint32_t TGenericNumberVector<uint32_t>::OrItem(int32_t, uint32_t);
template uint32_t TGenericNumberVector<uint32_t>::XorItem(int32_t, uint32_t);
template uint32_t TGenericNumberVector<uint32_t>::AndItem(int32_t, uint32_t);
template uint32_t TGenericNumberVector<uint32_t>::NotItem(int32_t);
template int8_t TGenericNumberVector<int8_t>::OrItem(int32_t, int8_t);
template int8_t TGenericNumberVector<int8_t>::XorItem(int32_t, int8_t);
template int8_t TGenericNumberVector<int8_t>::AndItem(int32_t, int8_t);
template int8_t TGenericNumberVector<int8_t>::NotItem(int32_t);
