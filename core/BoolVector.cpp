#include "core/BoolVector.h"

#include <bit>
#include <cstring>
#include <typeinfo>

#include "core/VStream.h"
#include "core/VectOps.h"

// ---------------------------------------------------------------------------------------------------------
// TBoolVector

TBoolVector::TBoolVector(int32_t ElemCount, bool DefaultValue)
    : TSortableVector(1), DefaultValue(DefaultValue) {
  SetCount(ElemCount);
}

void TBoolVector::InitMemory(int32_t ByteOffset, int32_t N) {
  if (N > 0) std::memset(Data + ByteOffset, DefaultValue ? 1 : 0, static_cast<size_t>(N));
}

bool TBoolVector::Get(int32_t Index) const { return Data[Index] != 0; }

void TBoolVector::Put(int32_t Index, bool Value) { Data[Index] = Value ? 1 : 0; }

void TBoolVector::Insert(int32_t Index, bool Value) {
  InsertGap(Index);
  Put(Index, Value);
}

void TBoolVector::SetToValue(bool Value) {
  if (Count > 0) std::memset(Data, Value ? 1 : 0, static_cast<size_t>(Count));
}

void TBoolVector::AndVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return AndBytes(Data, V.Data, Count);
  const int32_t N = GetCount();
  for (int32_t i = 0; i < N; ++i) Put(i, Get(i) && V.Get(i));
}

void TBoolVector::OrVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return OrBytes(Data, V.Data, Count);
  const int32_t N = GetCount();
  for (int32_t i = 0; i < N; ++i) Put(i, Get(i) || V.Get(i));
}

void TBoolVector::XorVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return XorBytes(Data, V.Data, Count);
  const int32_t N = GetCount();
  for (int32_t i = 0; i < N; ++i) Data[i] = static_cast<uint8_t>(Data[i] ^ (V.Get(i) ? 1 : 0));
}

void TBoolVector::NotVector() { InvertBoolBytes(Data, Count); }

void TBoolVector::AndItem(int32_t Index, bool Value) { Data[Index] &= Value ? 1 : 0; }

void TBoolVector::OrItem(int32_t Index, bool Value) { Data[Index] |= Value ? 1 : 0; }

void TBoolVector::XorItem(int32_t Index, bool Value) { Data[Index] ^= Value ? 1 : 0; }

void TBoolVector::NotItem(int32_t Index) { Data[Index] ^= 1; }

int32_t TBoolVector::NumTrue() const {
  int32_t N = 0;
  for (int32_t i = 0; i < Count; ++i) N += Data[i] == 1;
  return N;
}

int TBoolVector::Compare(int32_t Index, const void* Value) const {
  const uint8_t V = *static_cast<const uint8_t*>(Value);
  return (Get(Index) ? 1 : 0) - (V != 0 ? 1 : 0);
}

void TBoolVector::Exchange(int32_t Index1, int32_t Index2) {
  const bool A = Get(Index1);
  Put(Index1, Get(Index2));
  Put(Index2, A);
}

void TBoolVector::GetItemTo(int32_t Index, void* Buffer) const {
  *static_cast<uint8_t*>(Buffer) = Get(Index) ? 1 : 0;
}

void TBoolVector::Assign(const TVector& Source) {
  const auto* From = dynamic_cast<const TBoolVector*>(&Source);
  if (From == nullptr) Error("Assign error");
  if (From == this) return;
  if (dynamic_cast<const TPackedBoolVector*>(From) != nullptr) {
    const int32_t N = From->GetCount();
    SetCount(N);
    for (int32_t i = 0; i < N; ++i) Put(i, From->Get(i));
  } else {
    BlockAssign(Source);
  }
  DefaultValue = From->DefaultValue;
}

bool TBoolVector::EqualTo(const TVector& Vector) const {
  const auto* Other = dynamic_cast<const TBoolVector*>(&Vector);
  if (Other == nullptr) Error("Incompatible classes");
  if (typeid(*Other) == typeid(*this)) return BlockEqualTo(Vector);
  const int32_t N = GetCount();
  if (Other->GetCount() != N) return false;
  for (int32_t i = 0; i < N; ++i)
    if (Get(i) != Other->Get(i)) return false;
  return true;
}

void TBoolVector::WriteToStream(TVStream& Stream) const {
  WriteVectorPart(Stream);
  Stream.WriteByte(DefaultValue ? 1 : 0);
}

void TBoolVector::ReadFromStream(TVStream& Stream) {
  ReadVectorPart(Stream, 1);
  DefaultValue = Stream.ReadBool();
}

// ---------------------------------------------------------------------------------------------------------
// TPackedBoolVector

namespace {

constexpr int32_t kBitsPerByte = 8;

int32_t BytesFor(int64_t Bits) { return static_cast<int32_t>((Bits + kBitsPerByte - 1) / kBitsPerByte); }

}  // namespace

TPackedBoolVector::TPackedBoolVector(int32_t ElemCount, bool DefaultValue) : TBoolVector(0, DefaultValue) {
  SetCount(ElemCount);
}

void TPackedBoolVector::InitMemory(int32_t ByteOffset, int32_t N) {
  if (N > 0) std::memset(Data + ByteOffset, DefaultValue ? 0xFF : 0, static_cast<size_t>(N));
}

void TPackedBoolVector::SetCount(int32_t N) {
  if (N < 0) Error("Wrong vector size (%d)", {N});
  const int32_t Old = BitCount;
  TVector::SetCount(BytesFor(N));
  // New bytes are prepared whole; the values in the old last byte are set one by one.
  for (int32_t i = Old; i < N && i % kBitsPerByte != 0; ++i) SetBit(i, DefaultValue);
  BitCount = N;
}

bool TPackedBoolVector::Get(int32_t Index) const {
  return (Data[Index / kBitsPerByte] >> (Index % kBitsPerByte)) & 1;
}

bool TPackedBoolVector::SetBit(int32_t Index, bool Value) {
  uint8_t& Byte = Data[Index / kBitsPerByte];
  const uint8_t Mask = static_cast<uint8_t>(1u << (Index % kBitsPerByte));
  const bool Old = (Byte & Mask) != 0;
  if (Value)
    Byte |= Mask;
  else
    Byte &= static_cast<uint8_t>(~Mask);
  return Old;
}

void TPackedBoolVector::Insert(int32_t Index, bool Value) {
  IncCount(1);
  for (int32_t i = BitCount - 1; i > Index; --i) SetBit(i, Get(i - 1));
  SetBit(Index, Value);
}

void TPackedBoolVector::Delete(int32_t Index) {
  for (int32_t i = Index; i < BitCount - 1; ++i) SetBit(i, Get(i + 1));
  SetCount(BitCount - 1);
}

void TPackedBoolVector::SetToValue(bool Value) {
  if (Count > 0) std::memset(Data, Value ? 0xFF : 0, static_cast<size_t>(Count));
}

void TPackedBoolVector::AndVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return AndBytes(Data, V.GetData(), Count);
  for (int32_t i = 0; i < BitCount; ++i) SetBit(i, Get(i) && V.Get(i));
}

void TPackedBoolVector::OrVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return OrBytes(Data, V.GetData(), Count);
  for (int32_t i = 0; i < BitCount; ++i) SetBit(i, Get(i) || V.Get(i));
}

void TPackedBoolVector::XorVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return XorBytes(Data, V.GetData(), Count);
  for (int32_t i = 0; i < BitCount; ++i) SetBit(i, Get(i) != V.Get(i));
}

void TPackedBoolVector::NotVector() {
  for (int32_t i = 0; i < Count; ++i) Data[i] = static_cast<uint8_t>(~Data[i]);
}

void TPackedBoolVector::AndItem(int32_t Index, bool Value) { SetBit(Index, Get(Index) && Value); }

void TPackedBoolVector::OrItem(int32_t Index, bool Value) { SetBit(Index, Get(Index) || Value); }

void TPackedBoolVector::XorItem(int32_t Index, bool Value) { SetBit(Index, Get(Index) != Value); }

void TPackedBoolVector::NotItem(int32_t Index) { SetBit(Index, !Get(Index)); }

uint8_t TPackedBoolVector::MaskedLastByte() const {
  const int32_t Used = BitCount % kBitsPerByte;
  const uint8_t Last = Data[Count - 1];
  return Used == 0 ? Last : static_cast<uint8_t>(Last & ((1u << Used) - 1));
}

void TPackedBoolVector::ClearTailBits() {
  if (Count > 0) Data[Count - 1] = MaskedLastByte();
}

int32_t TPackedBoolVector::NumTrue() const {
  if (Count == 0) return 0;
  int32_t N = 0;
  for (int32_t i = 0; i < Count - 1; ++i) N += std::popcount(Data[i]);
  return N + std::popcount(MaskedLastByte());
}

void TPackedBoolVector::Assign(const TVector& Source) {
  const auto* From = dynamic_cast<const TBoolVector*>(&Source);
  if (From == nullptr) Error("Assign error");
  if (From == this) return;
  DefaultValue = From->DefaultValue;
  const int32_t N = From->GetCount();
  SetCount(N);
  for (int32_t i = 0; i < N; ++i) SetBit(i, From->Get(i));
}

bool TPackedBoolVector::EqualTo(const TVector& Vector) const {
  const auto* Other = dynamic_cast<const TPackedBoolVector*>(&Vector);
  if (Other == nullptr || typeid(*Other) != typeid(*this)) return TBoolVector::EqualTo(Vector);
  if (Other->BitCount != BitCount) return false;
  if (Count == 0) return true;
  return std::memcmp(Data, Other->Data, static_cast<size_t>(Count - 1)) == 0 &&
         MaskedLastByte() == Other->MaskedLastByte();
}

void TPackedBoolVector::WriteToStream(TVStream& Stream) const {
  Stream.WriteInt32(Count);
  Stream.WriteInt32(ElemSize);
  if (Count > 0) {
    Stream.Write(Data, Count - 1);
    Stream.WriteByte(MaskedLastByte());
  }
  Stream.WriteByte(DefaultValue ? 1 : 0);
}

void TPackedBoolVector::ReadFromStream(TVStream& Stream) {
  try {
    ReadVectorPart(Stream, 1);
    // The stream holds bytes, not the number of values: every stored bit counts.
    if (Count > INT32_MAX / kBitsPerByte) Error("Wrong vector size (%d)", {Count});
    BitCount = Count * kBitsPerByte;
    DefaultValue = Stream.ReadBool();
  } catch (...) {
    Clear();
    throw;
  }
}

void TPackedBoolVector::InsertGap(int32_t) { Error("Method not applicable"); }

void TPackedBoolVector::DeleteRange(int32_t, int32_t) { Error("Method not applicable"); }

void TPackedBoolVector::CopyRange(int32_t, const TVector&, int32_t, int32_t) {
  Error("Method not applicable");
}

void TPackedBoolVector::ExchangeRange(int32_t, int32_t, int32_t) { Error("Method not applicable"); }
