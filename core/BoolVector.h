// Growable arrays of Booleans:
//   TBoolVector        one byte per value (0 false, 1 true), with a default value for new slots;
//   TPackedBoolVector  eight values per byte (value i is bit i mod 8 of byte i div 8) with a count of its
//                      own, BitCount; the inherited Count is the number of bytes, (BitCount + 7) div 8.
// Both add element-wise logic with a second vector or on one element, a count of true values, and sort
// through the vector quicksort (false before true). Logic between two vectors of the same class is one
// byte-wise pass; between different classes it goes value by value.
//
// The high bits of a packed vector's last byte that hold no value (the tail bits) may hold anything; every
// operation that looks at whole bytes masks them. The byte-block operations of the base (InsertGap,
// DeleteRange, CopyRange, ExchangeRange) would move groups of eight values and raise "Method not
// applicable" on a packed vector.
//
// Stream form: the vector format with ElemSize 1 over the bytes, then DefaultValue as one byte. A packed
// vector writes its tail bits as 0; reading one back gives eight values per stored byte.
//
// Indexes are not compared with the count. A vector is used by one thread at a time.
#pragma once

#include <cstdint>

#include "core/Vector.h"

class TBoolVector : public TSortableVector {
 public:
  // ElemCount values equal to DefaultValue.
  explicit TBoolVector(int32_t ElemCount = 0, bool DefaultValue = false);

  const char* ClassName() const override { return "TBoolVector"; }

  // The value new slots receive.
  bool DefaultValue;

  virtual bool Get(int32_t Index) const;
  virtual void Put(int32_t Index, bool Value);
  virtual void Insert(int32_t Index, bool Value);
  virtual void SetToValue(bool Value);
  // Value i = value i and/or/xor V's value i, for i < GetCount (); V holds at least that many values.
  virtual void AndVector(const TBoolVector& V);
  virtual void OrVector(const TBoolVector& V);
  virtual void XorVector(const TBoolVector& V);
  virtual void NotVector();
  virtual void AndItem(int32_t Index, bool Value);
  virtual void OrItem(int32_t Index, bool Value);
  virtual void XorItem(int32_t Index, bool Value);
  virtual void NotItem(int32_t Index);
  virtual int32_t NumTrue() const;

  // Source / Vector must be a Boolean vector: else "Assign error" / "Incompatible classes".
  void InitMemory(int32_t ByteOffset, int32_t N) override;
  void WriteToStream(TVStream& Stream) const override;
  void ReadFromStream(TVStream& Stream) override;
  void Assign(const TVector& Source) override;
  bool EqualTo(const TVector& Vector) const override;
  // Get (Index) against the value byte: negative, 0 or positive, so false sorts before true.
  int Compare(int32_t Index, const void* Value) const override;
  void Exchange(int32_t Index1, int32_t Index2) override;
  // The one byte of Get (Index): 0 or 1.
  void GetItemTo(int32_t Index, void* Buffer) const override;
};

class TPackedBoolVector : public TBoolVector {
 public:
  explicit TPackedBoolVector(int32_t ElemCount = 0, bool DefaultValue = false);

  const char* ClassName() const override { return "TPackedBoolVector"; }

  int32_t GetBitCount() const { return BitCount_; }

  // The number of values, BitCount.
  int32_t GetCount() const override { return BitCount_; }
  // Values from the old BitCount up to N - 1 take DefaultValue, those in the old last byte included.
  void SetCount(int32_t N) override;
  // N bytes of 0xFF when DefaultValue is true, else 0.
  void InitMemory(int32_t ByteOffset, int32_t N) override;
  void Delete(int32_t Index) override;
  void Assign(const TVector& Source) override;
  bool EqualTo(const TVector& Vector) const override;
  void WriteToStream(TVStream& Stream) const override;
  void ReadFromStream(TVStream& Stream) override;
  void InsertGap(int32_t Index) override;
  void DeleteRange(int32_t Index, int32_t N) override;
  void CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) override;
  void ExchangeRange(int32_t Index1, int32_t Index2, int32_t N) override;

  bool Get(int32_t Index) const override;
  void Put(int32_t Index, bool Value) override { SetBit(Index, Value); }
  void Insert(int32_t Index, bool Value) override;
  void SetToValue(bool Value) override;
  void AndVector(const TBoolVector& V) override;
  void OrVector(const TBoolVector& V) override;
  void XorVector(const TBoolVector& V) override;
  void NotVector() override;
  void AndItem(int32_t Index, bool Value) override;
  void OrItem(int32_t Index, bool Value) override;
  void XorItem(int32_t Index, bool Value) override;
  void NotItem(int32_t Index) override;
  int32_t NumTrue() const override;

  // Sets or clears value Index; returns its previous value.
  bool SetBit(int32_t Index, bool Value);
  // Clears the tail bits of the last byte.
  void ClearTailBits();

 private:
  // The last byte with its tail bits cleared.
  uint8_t MaskedLastByte() const;
  int32_t BitCount_ = 0;
};
