#include "core/Vector.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/QuickSort.h"
#include "core/StrUtils.h"
#include "core/VStream.h"

namespace {

// Capacities are kept a multiple of 4 slots.
int64_t RoundUpTo4(int64_t N) { return (N + 3) & ~int64_t{3}; }

// Sorts L..R of V; Companions follow every exchange in order.
void SortWithCompanions(TSortableVector& V, int32_t L, int32_t R, bool Ascending,
                        const std::vector<TSortableVector*>& Companions) {
  if (L >= R) return;
  std::vector<uint8_t> Pivot(static_cast<size_t>(V.GetElemSize()));
  auto Take = [&](int32_t Mid) { V.GetItemTo(Mid, Pivot.data()); };
  auto Cmp = [&](int32_t I) { return V.Compare(I, Pivot.data()); };
  auto Exch = [&](int32_t I, int32_t J) {
    V.Exchange(I, J);
    for (TSortableVector* C : Companions) C->Exchange(I, J);
  };
  QuickSortRange(L, R, Ascending, Take, Cmp, Exch);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// TVector

TVector::TVector(int32_t ElemSize) : ElemSize_(ElemSize) {}

TVector::~TVector() {
  std::free(Data_);
  Data_ = nullptr;
}

void TVector::Error(const std::string& Msg, const TFormatArgs& Args) const {
  throw EVectorError("Class " + std::string(ClassName()) + ": " + FormatIfPercent(Msg, Args));
}

int32_t TVector::DataBufferSize() const { return static_cast<int32_t>(RoundUpTo4(Count_) * ElemSize_); }

void TVector::ReallocateRaw(int32_t NewCapacity) {
  const int64_t Slots = RoundUpTo4(NewCapacity);
  if (Slots == Capacity_) return;
  const size_t Bytes = static_cast<size_t>(Slots) * static_cast<size_t>(ElemSize_);
  if (Bytes == 0) {
    std::free(Data_);
    Data_ = nullptr;
  } else {
    void* Block = std::realloc(Data_, Bytes);
    if (Block == nullptr) throw EOutOfMemory();
    Data_ = static_cast<uint8_t*>(Block);
  }
  Capacity_ = static_cast<int32_t>(Slots);
}

void TVector::Reallocate(int32_t NewCapacity) {
  if (NewCapacity < 0) Error("Wrong vector size (%d)", {NewCapacity});
  const int64_t Bytes = RoundUpTo4(NewCapacity) * ElemSize_;
  if (Bytes > kMaxVectorBytes) Error("Data too large (%d)", {Bytes});
  ReallocateRaw(NewCapacity);
  if (Count_ < Capacity_) InitMemory(Count_ * ElemSize_, Capacity_ - Count_);
}

void TVector::InitMemory(int32_t ByteOffset, int32_t N) {
  if (N > 0) std::memset(Data_ + ByteOffset, 0, static_cast<size_t>(N) * ElemSize_);
}

void TVector::SetCount(int32_t N) {
  Reallocate(N);
  Count_ = N;
}

void TVector::SetCapacity(int32_t N) {
  if (N < Count_) Error("Wrong vector size (%d)", {N});
  Reallocate(N);
}

void TVector::Pack() { SetCapacity(Count_); }

void TVector::Clear() { SetCount(0); }

void TVector::IncCount(int32_t Delta) {
  const int64_t N = static_cast<int64_t>(GetCount()) + Delta;
  if (N < 0 || N > INT32_MAX) Error("Wrong vector size (%d)", {N});
  SetCount(static_cast<int32_t>(N));
}

int32_t TVector::MemSize() const {
  return static_cast<int32_t>(static_cast<int64_t>(Count_) * ElemSize_ + 12);
}

void TVector::InsertGap(int32_t Index) {
  if (Count_ >= Capacity_) {
    int32_t Grown;
    if (Capacity_ > 64)
      Grown = Capacity_ + Capacity_ / 4;
    else if (Capacity_ > 8)
      Grown = Capacity_ + 16;
    else
      Grown = Capacity_ + 4;
    Reallocate(Grown);
  }
  if (Index < Count_) {
    std::memmove(Data_ + static_cast<size_t>(Index + 1) * ElemSize_,
                 Data_ + static_cast<size_t>(Index) * ElemSize_,
                 static_cast<size_t>(Count_ - Index) * ElemSize_);
  }
  ++Count_;
}

void TVector::Delete(int32_t Index) {
  --Count_;
  if (Index < Count_) {
    std::memmove(Data_ + static_cast<size_t>(Index) * ElemSize_,
                 Data_ + static_cast<size_t>(Index + 1) * ElemSize_,
                 static_cast<size_t>(Count_ - Index) * ElemSize_);
  }
  if (Capacity_ - Count_ > Capacity_ / 4) Reallocate(Count_);
}

void TVector::DeleteRange(int32_t Index, int32_t N) {
  if (N <= 0) return;
  N = std::min(N, Count_ - Index);  // a range past the end removes only what is there
  const int32_t Tail = Count_ - Index - N;
  if (Tail > 0) {
    std::memmove(Data_ + static_cast<size_t>(Index) * ElemSize_,
                 Data_ + static_cast<size_t>(Index + N) * ElemSize_, static_cast<size_t>(Tail) * ElemSize_);
  }
  Count_ -= N;
  Reallocate(Count_);
}

void TVector::Assign(const TVector& Source) { BlockAssign(Source); }

void TVector::CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) {
  BlockCopyRange(DestIndex, Source, FromIndex, ToIndex);
}

void TVector::ExchangeRange(int32_t Index1, int32_t Index2, int32_t N) {
  BlockExchangeRange(Index1, Index2, N);
}

bool TVector::EqualTo(const TVector& Vector) const { return BlockEqualTo(Vector); }

void TVector::BlockAssign(const TVector& Source) {
  if (Source.ElemSize_ != ElemSize_) Error("Assign error");
  if (&Source == this) return;
  ReallocateRaw(Source.Count_);
  Count_ = Source.Count_;
  if (Count_ > 0) std::memcpy(Data_, Source.Data_, static_cast<size_t>(Count_) * ElemSize_);
}

void TVector::BlockCopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) {
  if (Source.ElemSize_ != ElemSize_) Error("Assign error");
  if (ToIndex < FromIndex) return;
  const int64_t Needed = static_cast<int64_t>(DestIndex) + ToIndex - FromIndex + 1;
  if (Needed > INT32_MAX) Error("Wrong vector size (%d)", {Needed});
  if (GetCount() < Needed) SetCount(static_cast<int32_t>(Needed));
  // Source may be this vector: its block is read only after the count was raised.
  std::memmove(Data_ + static_cast<size_t>(DestIndex) * ElemSize_,
               Source.Data_ + static_cast<size_t>(FromIndex) * ElemSize_,
               static_cast<size_t>(ToIndex - FromIndex + 1) * ElemSize_);
}

void TVector::BlockExchangeRange(int32_t Index1, int32_t Index2, int32_t N) {
  if (N <= 0 || Index1 == Index2) return;
  uint8_t* A = Data_ + static_cast<size_t>(Index1) * ElemSize_;
  uint8_t* B = Data_ + static_cast<size_t>(Index2) * ElemSize_;
  std::swap_ranges(A, A + static_cast<size_t>(N) * ElemSize_, B);
}

bool TVector::BlockEqualTo(const TVector& Vector) const {
  if (Vector.Count_ != Count_) return false;
  if (Count_ == 0) return true;
  if (Vector.ElemSize_ != ElemSize_) return false;
  return std::memcmp(Data_, Vector.Data_, static_cast<size_t>(Count_) * ElemSize_) == 0;
}

// Stream form: Int32 Count, Int32 ElemSize, then the used element bytes.
void TVector::WriteToStream(TVStream& Stream) const { WriteVectorPart(Stream); }

void TVector::ReadFromStream(TVStream& Stream) { ReadVectorPart(Stream, 0); }

void TVector::WriteVectorPart(TVStream& Stream) const {
  Stream.WriteInt32(Count_);
  Stream.WriteInt32(ElemSize_);
  if (Count_ > 0) Stream.Write(Data_, Count_ * ElemSize_);
}

void TVector::ReadVectorPart(TVStream& Stream, int32_t TrailerBytes) {
  Clear();
  const int32_t StoredCount = Stream.ReadInt32();
  const int32_t StoredElemSize = Stream.ReadInt32();
  // Checked before anything is allocated: a stream from elsewhere may carry any numbers.
  if (StoredElemSize != ElemSize_) Error("Wrong element size (%d)", {StoredElemSize});
  if (StoredCount < 0) Error("Wrong vector size (%d)", {StoredCount});
  const int64_t Bytes = static_cast<int64_t>(StoredCount) * ElemSize_;
  const int64_t Left = static_cast<int64_t>(Stream.GetSize()) - Stream.GetPosition();
  if (Bytes + TrailerBytes > Left) Stream.Error("Read after end error");
  if (StoredCount == 0) return;
  try {
    // The stored count is a count of elements of this block, whatever GetCount means in a descendant.
    Reallocate(StoredCount);
    Count_ = StoredCount;
    Stream.ReadBuffer(Data_, static_cast<int32_t>(Bytes));
  } catch (...) {
    Clear();
    throw;
  }
}

// ---------------------------------------------------------------------------------------------------------
// TSortableVector

void TSortableVector::SortRange(int32_t L, int32_t R) { SortWithCompanions(*this, L, R, true, {}); }

void TSortableVector::SortRangeDesc(int32_t L, int32_t R) { SortWithCompanions(*this, L, R, false, {}); }

void TSortableVector::Sort() { SortRange(0, GetCount() - 1); }

void TSortableVector::SortDesc() { SortRangeDesc(0, GetCount() - 1); }

void TSortableVector::SortRangeWithOrder(int32_t L, int32_t R, TSortableVector& Companion, bool Ascending) {
  SortWithCompanions(*this, L, R, Ascending, {&Companion});
}

void TSortableVector::SortRangeWith(int32_t L, int32_t R, TSortableVector& Companion) {
  SortRangeWithOrder(L, R, Companion, true);
}

void TSortableVector::SortRangeDescWith(int32_t L, int32_t R, TSortableVector& Companion) {
  SortRangeWithOrder(L, R, Companion, false);
}

void TSortableVector::SortWith(TSortableVector& Companion) { SortRangeWith(0, GetCount() - 1, Companion); }

void TSortableVector::SortDescWith(TSortableVector& Companion) {
  SortRangeDescWith(0, GetCount() - 1, Companion);
}

void TSortableVector::SortWithVectorsEx(const std::vector<TSortableVector*>& Companions, bool Ascending) {
  SortWithCompanions(*this, 0, GetCount() - 1, Ascending, Companions);
}

void TSortableVector::SortWithVectors(const std::vector<TSortableVector*>& Companions) {
  SortWithVectorsEx(Companions, true);
}

void SortVectors(TSortableVector& Primary, const std::vector<TSortableVector*>& Keys, bool Ascending) {
  const int32_t N = Primary.GetCount();
  if (N < 2) return;
  std::vector<TSortableVector*> All;
  All.reserve(Keys.size() + 1);
  All.push_back(&Primary);
  All.insert(All.end(), Keys.begin(), Keys.end());
  // One pivot buffer per vector, each of its own element size.
  std::vector<std::vector<uint8_t>> Pivots;
  Pivots.reserve(All.size());
  for (TSortableVector* V : All) Pivots.emplace_back(static_cast<size_t>(V->GetElemSize()));
  auto Take = [&](int32_t Mid) {
    for (size_t K = 0; K < All.size(); ++K) All[K]->GetItemTo(Mid, Pivots[K].data());
  };
  auto Cmp = [&](int32_t I) {
    for (size_t K = 0; K < All.size(); ++K) {
      const int C = All[K]->Compare(I, Pivots[K].data());
      if (C != 0) return C;
    }
    return 0;
  };
  auto Exch = [&](int32_t I, int32_t J) {
    for (TSortableVector* V : All) V->Exchange(I, J);
  };
  QuickSortRange(0, N - 1, Ascending, Take, Cmp, Exch);
}

// ---------------------------------------------------------------------------------------------------------
// Raw-storage bases

namespace {

template <class T>
T LoadAt(const uint8_t* Data, int32_t Index) {
  T V;
  std::memcpy(&V, Data + static_cast<size_t>(Index) * sizeof(T), sizeof(T));
  return V;
}

template <class T>
void FillSlots(uint8_t* Data, int32_t ByteOffset, int32_t N, T Value) {
  for (int32_t I = 0; I < N; ++I)
    std::memcpy(Data + ByteOffset + static_cast<size_t>(I) * sizeof(T), &Value, sizeof(T));
}

template <class T>
int32_t IndexFromRaw(const uint8_t* Data, int32_t Count, int32_t StartIndex, T Value) {
  for (int32_t I = std::max(StartIndex, 0); I < Count; ++I)
    if (LoadAt<T>(Data, I) == Value) return I;
  return -1;
}

template <class T>
int32_t LastIndexFromRaw(const uint8_t* Data, int32_t Count, int32_t StartIndex, T Value) {
  for (int32_t I = std::min(StartIndex, Count - 1); I >= 0; --I)
    if (LoadAt<T>(Data, I) == Value) return I;
  return -1;
}

template <class T>
int32_t CountRaw(const uint8_t* Data, int32_t Count, T Value) {
  int32_t N = 0;
  for (int32_t I = 0; I < Count; ++I) N += LoadAt<T>(Data, I) == Value;
  return N;
}

}  // namespace

void TBase8Vector::GetItemTo(int32_t Index, void* Buffer) const { std::memcpy(Buffer, Data_ + Index, 1); }

void TBase8Vector::FillValue(int32_t ByteOffset, int32_t N, uint8_t Value) {
  if (N > 0) std::memset(Data_ + ByteOffset, Value, static_cast<size_t>(N));
}

int32_t TBase8Vector::RawIndexFrom(int32_t StartIndex, uint8_t Value) const {
  const int32_t From = std::max(StartIndex, 0);
  if (From >= Count_) return -1;
  const void* Hit = std::memchr(Data_ + From, Value, static_cast<size_t>(Count_ - From));
  return Hit == nullptr ? -1 : static_cast<int32_t>(static_cast<const uint8_t*>(Hit) - Data_);
}

int32_t TBase8Vector::RawLastIndexFrom(int32_t StartIndex, uint8_t Value) const {
  return LastIndexFromRaw<uint8_t>(Data_, Count_, StartIndex, Value);
}

int32_t TBase8Vector::RawNumberOfValues(uint8_t Value) const {
  return CountRaw<uint8_t>(Data_, Count_, Value);
}

void TBase32Vector::GetItemTo(int32_t Index, void* Buffer) const {
  std::memcpy(Buffer, Data_ + static_cast<size_t>(Index) * 4, 4);
}

void TBase32Vector::FillValue(int32_t ByteOffset, int32_t N, uint32_t Value) {
  FillSlots(Data_, ByteOffset, N, Value);
}

int32_t TBase32Vector::RawIndexFrom(int32_t StartIndex, uint32_t Value) const {
  return IndexFromRaw<uint32_t>(Data_, Count_, StartIndex, Value);
}

int32_t TBase32Vector::RawLastIndexFrom(int32_t StartIndex, uint32_t Value) const {
  return LastIndexFromRaw<uint32_t>(Data_, Count_, StartIndex, Value);
}

int32_t TBase32Vector::RawNumberOfValues(uint32_t Value) const {
  return CountRaw<uint32_t>(Data_, Count_, Value);
}

void TBase64Vector::GetItemTo(int32_t Index, void* Buffer) const {
  std::memcpy(Buffer, Data_ + static_cast<size_t>(Index) * 8, 8);
}

void TBase64Vector::FillValue(int32_t ByteOffset, int32_t N, uint64_t Value) {
  FillSlots(Data_, ByteOffset, N, Value);
}

int32_t TBase64Vector::RawIndexFrom(int32_t StartIndex, uint64_t Value) const {
  return IndexFromRaw<uint64_t>(Data_, Count_, StartIndex, Value);
}

int32_t TBase64Vector::RawLastIndexFrom(int32_t StartIndex, uint64_t Value) const {
  return LastIndexFromRaw<uint64_t>(Data_, Count_, StartIndex, Value);
}

int32_t TBase64Vector::RawNumberOfValues(uint64_t Value) const {
  return CountRaw<uint64_t>(Data_, Count_, Value);
}
