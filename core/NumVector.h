// Growable arrays of plain numbers, one family of two classes per element type:
//   TGenericNumberVector<T>  every operation written over the two virtual accessors Get and Put, so that
//                            a descendant with another storage gets the whole interface from those two;
//   TNumberVector<T>         the concrete class: elements in the vector block, direct array code, whole-
//                            array loops through the element routine tables (VectOps). Its operations with
//                            a second vector use the block of that vector only when it is exactly the same
//                            class, and otherwise fall back to the generic form.
// The members used by the system are the aliases at the end: TInt32Vector, TUInt32Vector, TInt8Vector,
// TInt64Vector and TDoubleVector. Error messages name every member "TNumberVector" or
// "TGenericNumberVector", whatever its element type.
//
// Number rules (see NumberRules.h): integer results wrap modulo 2^width; division truncates toward zero,
// MIN / -1 gives MIN and division by zero raises EDivByZero; Double works in long double and stores double.
// Sums and statistics return TSum: int32_t for the 8-bit member (elements taken as signed), the element
// type for the other integer members (wrapping), long double for Double. Double compares with IEEE
// semantics: an unordered pair (a NaN) compares as equal in the sorts and equals nothing in the searches.
//
// Stream form: the vector format (Int32 Count, Int32 ElemSize, the elements), then DefaultValue in
// ElemSize bytes.
//
// Indexes are not compared with the count; callers keep 0 <= Index < GetCount (). A second vector V must
// hold at least GetCount () elements. A vector is used by one thread at a time.
#pragma once

#include <cstdint>
#include <type_traits>

#include "core/Vector.h"

template <class T>
using TNumberStorage = std::conditional_t<sizeof(T) == 1, TBase8Vector,
                                          std::conditional_t<sizeof(T) == 4, TBase32Vector, TBase64Vector>>;

template <class T>
using TNumberSum = std::conditional_t<std::is_floating_point_v<T>, long double,
                                      std::conditional_t<sizeof(T) == 1, int32_t, T>>;

// The bitwise item operations exist for the integer members of 1 and 4 bytes.
template <class T>
concept BitwiseNumber = std::is_integral_v<T> && sizeof(T) <= 4;

template <class T>
class TGenericNumberVector : public TNumberStorage<T> {
 public:
  using TValue = T;
  using TSum = TNumberSum<T>;

  // ElemCount elements equal to DefaultValue.
  explicit TGenericNumberVector(int32_t ElemCount = 0, T DefaultValue = T{});

  const char* ClassName() const override { return "TGenericNumberVector"; }

  // The value every new element slot receives.
  T DefaultValue;

  virtual T Get(int32_t Index) const = 0;
  virtual void Put(int32_t Index, T Value) = 0;
  virtual void SetToDefault();
  virtual void SetToValue(T Value);
  // InsertGap (Index), then element Index = Value; Index = GetCount () appends.
  virtual void Insert(int32_t Index, T Value);
  // First index >= StartIndex (a negative one counts as 0) holding Value, or -1.
  virtual int32_t IndexFrom(int32_t StartIndex, T Value) const;
  // Last index <= min(StartIndex, GetCount () - 1) holding Value, or -1.
  virtual int32_t LastIndexFrom(int32_t StartIndex, T Value) const;
  virtual int32_t NumberOfValues(T Value) const;
  // Appends Source's elements (Source may be this vector).
  virtual void Concat(const TGenericNumberVector& Source);

  // Whole-vector arithmetic.
  virtual void AddScalar(T Value);
  virtual void SubScalar(T Value);
  virtual void AddVector(const TGenericNumberVector& V);
  // Element i += Factor * V[i] (for integers the product wraps before the addition).
  virtual void AddScaled(T Factor, const TGenericNumberVector& V);
  virtual void SubVector(const TGenericNumberVector& V);
  virtual void MulVector(const TGenericNumberVector& V);
  // Element i = element i div V[i]; a zero divisor raises with the elements before it already divided.
  virtual void DivVector(const TGenericNumberVector& V);
  virtual void MulScalar(T Value);
  virtual void DivScalar(T Value);
  // Element 0 = First, element i = element i - 1 + Step.
  virtual void ArithmeticProgression(T First, T Step);

  // Statistics. Min, Max and IndexOf*From raise "Wrong vector size (%d)" on an empty vector; the first
  // of equal extremes wins. StartIndex must lie in 0..GetCount () - 1.
  virtual T Min() const;
  virtual T Max() const;
  virtual int32_t IndexOfMinFrom(int32_t StartIndex, T& MinValue) const;
  virtual int32_t IndexOfMaxFrom(int32_t StartIndex, T& MaxValue) const;
  virtual TSum Sum() const;
  virtual TSum SqrSum() const;
  virtual TSum DotProduct(const TGenericNumberVector& V) const;
  // Sum of (element i - V[i])^2, the difference taken in TSum.
  virtual TSum SqrDistance(const TGenericNumberVector& V) const;
  // Sum of |element i - V[i]|, the difference taken in the element type (signed for the 32-bit members;
  // it wraps) and then made positive.
  virtual TSum AbsDistance(const TGenericNumberVector& V) const;

  // Single elements; each returns the element's new value.
  virtual T IncItem(int32_t Index, T Delta);
  virtual T DecItem(int32_t Index, T Delta);
  virtual T MulItem(int32_t Index, T Factor);
  virtual T DivItem(int32_t Index, T Divisor);
  T OrItem(int32_t Index, T Mask) requires BitwiseNumber<T>;
  T XorItem(int32_t Index, T Mask) requires BitwiseNumber<T>;
  T AndItem(int32_t Index, T Mask) requires BitwiseNumber<T>;
  T NotItem(int32_t Index) requires BitwiseNumber<T>;

  // Insert (GetCount (), Value); returns the new element's index.
  int32_t Add(T Value);
  T Last() const { return Get(this->GetCount() - 1); }
  // Moves the element at CurIndex to NewIndex (counted after the removal).
  void Move(int32_t CurIndex, int32_t NewIndex);
  int32_t IndexOf(T Value) const { return IndexFrom(0, Value); }
  // Deletes the first element equal to Value; returns its index or -1.
  int32_t Remove(T Value);
  // Bisection over the ascending range L..R; the first equal element met (not necessarily the leftmost),
  // or -1.
  int32_t SortedIndexOfRange(T Value, int32_t L, int32_t R) const;
  int32_t SortedIndexOf(T Value) const { return SortedIndexOfRange(Value, 0, this->GetCount() - 1); }
  // Bisection that goes on left over equal elements: Index receives the leftmost equal element or the
  // position where Value keeps the order; returns whether an equal element was met.
  bool FindSorted(T Value, int32_t& Index) const;

  // Source / Vector must be a number vector of the same member: else "Assign error" / "Incompatible
  // classes".
  void InitMemory(int32_t ByteOffset, int32_t N) override;
  void WriteToStream(TVStream& Stream) const override;
  void ReadFromStream(TVStream& Stream) override;
  void Assign(const TVector& Source) override;
  void CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) override;
  void ExchangeRange(int32_t Index1, int32_t Index2, int32_t N) override;
  bool EqualTo(const TVector& Vector) const override;
  int Compare(int32_t Index, const void* Value) const override;
  void Exchange(int32_t Index1, int32_t Index2) override;

 protected:
  // The number vector of this member that Source is, or raises Msg.
  const TGenericNumberVector& SameMember(const TVector& Source, const char* Msg) const;
  // -1, 0 or 1 in the member's order (0 for an unordered pair).
  static int CompareValues(T A, T B) { return A < B ? -1 : (B < A ? 1 : 0); }
  void RequireElements() const;

 private:
  template <class Better>
  int32_t IndexOfExtremeFrom(int32_t StartIndex, T& Value, Better Beats) const;
  // Put (Index, Value), answering Value.
  T Store(int32_t Index, T Value);
  // Element i = NewValue (i) for every element, in index order.
  template <class Make>
  void Update(Make NewValue);
};

template <class T>
class TNumberVector : public TGenericNumberVector<T> {
 public:
  using Base = TGenericNumberVector<T>;
  using Base::Base;
  using typename Base::TSum;

  const char* ClassName() const override { return "TNumberVector"; }

  T Get(int32_t Index) const override { return reinterpret_cast<const T*>(this->Data_)[Index]; }
  void Put(int32_t Index, T Value) override { reinterpret_cast<T*>(this->Data_)[Index] = Value; }
  void SetToDefault() override;
  void SetToValue(T Value) override;
  void Insert(int32_t Index, T Value) override;
  int32_t IndexFrom(int32_t StartIndex, T Value) const override;
  int32_t LastIndexFrom(int32_t StartIndex, T Value) const override;
  int32_t NumberOfValues(T Value) const override;
  void Concat(const Base& Source) override;

  void AddScalar(T Value) override;
  void SubScalar(T Value) override;
  void AddVector(const Base& V) override;
  void AddScaled(T Factor, const Base& V) override;
  void SubVector(const Base& V) override;
  void MulVector(const Base& V) override;
  void DivVector(const Base& V) override;
  void MulScalar(T Value) override;
  // Double: multiplies by the reciprocal of Value rounded to double.
  void DivScalar(T Value) override;
  void ArithmeticProgression(T First, T Step) override;

  int32_t IndexOfMinFrom(int32_t StartIndex, T& MinValue) const override;
  int32_t IndexOfMaxFrom(int32_t StartIndex, T& MaxValue) const override;
  // Double: four partial sums over groups of four taken from the end of the block.
  TSum Sum() const override;
  TSum SqrSum() const override;
  TSum DotProduct(const Base& V) const override;

  T IncItem(int32_t Index, T Delta) override;
  T DecItem(int32_t Index, T Delta) override;
  T MulItem(int32_t Index, T Factor) override;
  T DivItem(int32_t Index, T Divisor) override;

  void Assign(const TVector& Source) override;
  void CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) override;
  void ExchangeRange(int32_t Index1, int32_t Index2, int32_t N) override;
  bool EqualTo(const TVector& Vector) const override;
  int Compare(int32_t Index, const void* Value) const override;
  void Exchange(int32_t Index1, int32_t Index2) override;
  // Direct quicksorts on the array.
  void SortRange(int32_t L, int32_t R) override;
  void SortRangeDesc(int32_t L, int32_t R) override;
  // The 8-bit member sorts more than 20 elements by counting (stable, into a new block) when a second
  // block fits in a sixteenth of the physical memory; otherwise, and for the other members, quicksort.
  void Sort() override;
  void SortDesc() override;

 private:
  T* Items() { return reinterpret_cast<T*>(this->Data_); }
  const T* Items() const { return reinterpret_cast<const T*>(this->Data_); }
  // V as this exact class, or nullptr when it is another class (the generic form then runs).
  const TNumberVector* Direct(const TVector& V) const;
  bool CountingSort(bool Ascending);
};

using TGenericInt32Vector = TGenericNumberVector<int32_t>;
using TGenericUInt32Vector = TGenericNumberVector<uint32_t>;
using TGenericInt8Vector = TGenericNumberVector<int8_t>;
using TGenericInt64Vector = TGenericNumberVector<int64_t>;
using TGenericDoubleVector = TGenericNumberVector<double>;

using TInt32Vector = TNumberVector<int32_t>;
using TUInt32Vector = TNumberVector<uint32_t>;
using TInt8Vector = TNumberVector<int8_t>;
using TInt64Vector = TNumberVector<int64_t>;
using TDoubleVector = TNumberVector<double>;

extern template class TGenericNumberVector<int32_t>;
extern template class TGenericNumberVector<uint32_t>;
extern template class TGenericNumberVector<int8_t>;
extern template class TGenericNumberVector<int64_t>;
extern template class TGenericNumberVector<double>;
extern template class TNumberVector<int32_t>;
extern template class TNumberVector<uint32_t>;
extern template class TNumberVector<int8_t>;
extern template class TNumberVector<int64_t>;
extern template class TNumberVector<double>;
