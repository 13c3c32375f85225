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
  if (N > 0) std::memset(Data_ + ByteOffset, DefaultValue ? 1 : 0, static_cast<size_t>(N));
}

bool TBoolVector::Get(int32_t Index) const { return Data_[Index] != 0; }

void TBoolVector::Put(int32_t Index, bool Value) { Data_[Index] = Value ? 1 : 0; }

void TBoolVector::Insert(int32_t Index, bool Value) {
  InsertGap(Index);
  Put(Index, Value);
}

void TBoolVector::SetToValue(bool Value) {
  if (Count_ > 0) std::memset(Data_, Value ? 1 : 0, static_cast<size_t>(Count_));
}

void TBoolVector::AndVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return AndBytes(Data_, V.Data_, Count_);
  const int32_t N = GetCount();
  for (int32_t I = 0; I < N; ++I) Put(I, Get(I) && V.Get(I));
}

void TBoolVector::OrVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return OrBytes(Data_, V.Data_, Count_);
  const int32_t N = GetCount();
  for (int32_t I = 0; I < N; ++I) Put(I, Get(I) || V.Get(I));
}

void TBoolVector::XorVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return XorBytes(Data_, V.Data_, Count_);
  const int32_t N = GetCount();
  for (int32_t I = 0; I < N; ++I) Data_[I] = static_cast<uint8_t>(Data_[I] ^ (V.Get(I) ? 1 : 0));
}

void TBoolVector::NotVector() { InvertBoolBytes(Data_, Count_); }

void TBoolVector::AndItem(int32_t Index, bool Value) { Data_[Index] &= Value ? 1 : 0; }

void TBoolVector::OrItem(int32_t Index, bool Value) { Data_[Index] |= Value ? 1 : 0; }

void TBoolVector::XorItem(int32_t Index, bool Value) { Data_[Index] ^= Value ? 1 : 0; }

void TBoolVector::NotItem(int32_t Index) { Data_[Index] ^= 1; }

int32_t TBoolVector::NumTrue() const {
  int32_t N = 0;
  for (int32_t I = 0; I < Count_; ++I) N += Data_[I] == 1;
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
    for (int32_t I = 0; I < N; ++I) Put(I, From->Get(I));
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
  for (int32_t I = 0; I < N; ++I)
    if (Get(I) != Other->Get(I)) return false;
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
  if (N > 0) std::memset(Data_ + ByteOffset, DefaultValue ? 0xFF : 0, static_cast<size_t>(N));
}

void TPackedBoolVector::SetCount(int32_t N) {
  if (N < 0) Error("Wrong vector size (%d)", {N});
  const int32_t Old = BitCount_;
  TVector::SetCount(BytesFor(N));
  // New bytes are prepared whole; the values in the old last byte are set one by one.
  for (int32_t I = Old; I < N && I % kBitsPerByte != 0; ++I) SetBit(I, DefaultValue);
  BitCount_ = N;
}

bool TPackedBoolVector::Get(int32_t Index) const {
  return (Data_[Index / kBitsPerByte] >> (Index % kBitsPerByte)) & 1;
}

bool TPackedBoolVector::SetBit(int32_t Index, bool Value) {
  uint8_t& Byte = Data_[Index / kBitsPerByte];
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
  for (int32_t I = BitCount_ - 1; I > Index; --I) SetBit(I, Get(I - 1));
  SetBit(Index, Value);
}

void TPackedBoolVector::Delete(int32_t Index) {
  for (int32_t I = Index; I < BitCount_ - 1; ++I) SetBit(I, Get(I + 1));
  SetCount(BitCount_ - 1);
}

void TPackedBoolVector::SetToValue(bool Value) {
  if (Count_ > 0) std::memset(Data_, Value ? 0xFF : 0, static_cast<size_t>(Count_));
}

void TPackedBoolVector::AndVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return AndBytes(Data_, V.GetData(), Count_);
  for (int32_t I = 0; I < BitCount_; ++I) SetBit(I, Get(I) && V.Get(I));
}

void TPackedBoolVector::OrVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return OrBytes(Data_, V.GetData(), Count_);
  for (int32_t I = 0; I < BitCount_; ++I) SetBit(I, Get(I) || V.Get(I));
}

void TPackedBoolVector::XorVector(const TBoolVector& V) {
  if (typeid(V) == typeid(*this)) return XorBytes(Data_, V.GetData(), Count_);
  for (int32_t I = 0; I < BitCount_; ++I) SetBit(I, Get(I) != V.Get(I));
}

void TPackedBoolVector::NotVector() {
  for (int32_t I = 0; I < Count_; ++I) Data_[I] = static_cast<uint8_t>(~Data_[I]);
}

void TPackedBoolVector::AndItem(int32_t Index, bool Value) { SetBit(Index, Get(Index) && Value); }

void TPackedBoolVector::OrItem(int32_t Index, bool Value) { SetBit(Index, Get(Index) || Value); }

void TPackedBoolVector::XorItem(int32_t Index, bool Value) { SetBit(Index, Get(Index) != Value); }

void TPackedBoolVector::NotItem(int32_t Index) { SetBit(Index, !Get(Index)); }

uint8_t TPackedBoolVector::MaskedLastByte() const {
  const int32_t Used = BitCount_ % kBitsPerByte;
  const uint8_t Last = Data_[Count_ - 1];
  return Used == 0 ? Last : static_cast<uint8_t>(Last & ((1u << Used) - 1));
}

void TPackedBoolVector::ClearTailBits() {
  if (Count_ > 0) Data_[Count_ - 1] = MaskedLastByte();
}

int32_t TPackedBoolVector::NumTrue() const {
  if (Count_ == 0) return 0;
  int32_t N = 0;
  for (int32_t I = 0; I < Count_ - 1; ++I) N += std::popcount(Data_[I]);
  return N + std::popcount(MaskedLastByte());
}

void TPackedBoolVector::Assign(const TVector& Source) {
  const auto* From = dynamic_cast<const TBoolVector*>(&Source);
  if (From == nullptr) Error("Assign error");
  if (From == this) return;
  DefaultValue = From->DefaultValue;
  const int32_t N = From->GetCount();
  SetCount(N);
  for (int32_t I = 0; I < N; ++I) SetBit(I, From->Get(I));
}

bool TPackedBoolVector::EqualTo(const TVector& Vector) const {
  const auto* Other = dynamic_cast<const TPackedBoolVector*>(&Vector);
  if (Other == nullptr || typeid(*Other) != typeid(*this)) return TBoolVector::EqualTo(Vector);
  if (Other->BitCount_ != BitCount_) return false;
  if (Count_ == 0) return true;
  return std::memcmp(Data_, Other->Data_, static_cast<size_t>(Count_ - 1)) == 0 &&
         MaskedLastByte() == Other->MaskedLastByte();
}

void TPackedBoolVector::WriteToStream(TVStream& Stream) const {
  Stream.WriteInt32(Count_);
  Stream.WriteInt32(ElemSize_);
  if (Count_ > 0) {
    Stream.Write(Data_, Count_ - 1);
    Stream.WriteByte(MaskedLastByte());
  }
  Stream.WriteByte(DefaultValue ? 1 : 0);
}

void TPackedBoolVector::ReadFromStream(TVStream& Stream) {
  try {
    ReadVectorPart(Stream, 1);
    // The stream holds bytes, not the number of values: every stored bit counts.
    if (Count_ > INT32_MAX / kBitsPerByte) Error("Wrong vector size (%d)", {Count_});
    BitCount_ = Count_ * kBitsPerByte;
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
