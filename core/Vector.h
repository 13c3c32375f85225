// The root of every growable array: TVector, a heap block of equally sized elements with a count and a
// capacity; TSortableVector, which adds quicksort over two virtual operations (Compare, Exchange), sorting
// with companion vectors and the multi-key SortVectors; and the raw-storage bases that fix the element
// width (TBase8Vector, TBase32Vector, TBase64Vector).
//
// Every container of the system derives from these. A vector owns its block; it is not copyable and is
// used by one thread at a time. Counts, indexes and sizes are signed 32-bit; no operation compares an
// index with the count unless its comment says so: callers keep indexes in range.
//
// Storage rules:
//   - Capacity is always a multiple of 4 (0 included) and the block never exceeds kMaxVectorBytes.
//   - Slots from Count up to Capacity hold prepared content (InitMemory) once Reallocate reached them.
//   - Size arithmetic is done in 64 bits, so a huge or negative count is refused before anything changes.
//
// Stream format, which every descendant starts with (little endian):
//   Int32 Count, Int32 ElemSize, Count * ElemSize element bytes, then the class's own trailer.
// A reader refuses, before it allocates, a stored element size other than the class's ("Wrong element
// size (%d)"), a negative count ("Wrong vector size (%d)") and a count whose bytes exceed what is left in
// the stream (the stream's "Read after end error"); the vector is then left empty.
//
// Pointer vectors: this system runs with 8-byte pointers, so the pointer vector and the string lists sit
// on TBase64Vector (one pointer-sized slot per element), not on the 4-byte base.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/WideFormat.h"

class TVStream;

// The exception of every vector. Its message reads "Class " + class name + ": " + text.
class EVectorError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EVectorError"; }
};

// The largest block a vector may hold, in bytes (2^30 - 1).
constexpr int64_t kMaxVectorBytes = 1073741823;

// Common root of all vectors; no fields and no operations of its own.
class TVectorObject {
 public:
  TVectorObject() = default;
  TVectorObject(const TVectorObject&) = delete;
  TVectorObject& operator=(const TVectorObject&) = delete;
  virtual ~TVectorObject() = default;
};

class TSortableVector;

class TVector : public TVectorObject {
 public:
  explicit TVector(int32_t ElemSize);
  ~TVector() override;

  // The concrete class's name, used in every error message.
  virtual const char* ClassName() const { return "TVector"; }

  virtual int32_t GetCount() const { return Count_; }
  // Reallocate (N), then Count = N: growing prepares the new slots, and the capacity follows the count
  // both ways. N < 0 raises "Wrong vector size (%d)".
  virtual void SetCount(int32_t N);
  // Prepares N slots starting at ByteOffset; the base fills zero bytes.
  virtual void InitMemory(int32_t ByteOffset, int32_t N);
  // N < Count raises "Wrong vector size (%d)"; else Reallocate (N).
  virtual void SetCapacity(int32_t N);
  virtual void WriteToStream(TVStream& Stream) const;
  virtual void ReadFromStream(TVStream& Stream);
  // Makes room for one element at Index (Index = Count appends). The slot at Index keeps a copy of the
  // element that moved up; the caller stores the new element there.
  virtual void InsertGap(int32_t Index);
  virtual void Assign(const TVector& Source);
  // Copies Source's elements FromIndex..ToIndex over this vector's elements from DestIndex on, raising the
  // count first when needed. Source may be this vector (the copy then behaves as a memory move).
  virtual void CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex);
  virtual void ExchangeRange(int32_t Index1, int32_t Index2, int32_t N);
  virtual bool EqualTo(const TVector& Vector) const;
  virtual void Delete(int32_t Index);
  virtual void DeleteRange(int32_t Index, int32_t N);
  virtual void Clear();
  virtual int32_t MemSize() const;
  virtual void Pack();

  void IncCount(int32_t Delta);
  // Bytes a block for the current count occupies: Count raised to a multiple of 4, times ElemSize.
  int32_t DataBufferSize() const;

  int32_t GetCapacity() const { return Capacity_; }
  int32_t GetElemSize() const { return ElemSize_; }
  // The element block; null while Capacity is 0. Valid until the next operation that changes the size.
  uint8_t* GetData() { return Data_; }
  const uint8_t* GetData() const { return Data_; }

  // Raises EVectorError with "Class " + ClassName() + ": " + FormatIfPercent (Msg, Args).
  [[noreturn]] void Error(const std::string& Msg, const TFormatArgs& Args = {}) const;

 protected:
  // The single place where the block changes size: NewCapacity raised to a multiple of 4; a block above
  // kMaxVectorBytes raises "Data too large (%d)" and a negative capacity "Wrong vector size (%d)", with
  // the vector unchanged. Afterwards every slot from Count up to the capacity is prepared (InitMemory).
  void Reallocate(int32_t NewCapacity);
  // Reallocate without preparing the slots; for BlockAssign, which overwrites every used slot.
  void ReallocateRaw(int32_t NewCapacity);

  // Block forms of the whole-vector operations; the base's virtual operations forward to them.
  void BlockAssign(const TVector& Source);
  void BlockCopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex);
  void BlockExchangeRange(int32_t Index1, int32_t Index2, int32_t N);
  // Equal counts, equal element sizes and equal used bytes.
  bool BlockEqualTo(const TVector& Vector) const;

  // Stream helpers for descendants that append a trailer: the header and element bytes.
  void WriteVectorPart(TVStream& Stream) const;
  // Reads and checks the header, then the element bytes; TrailerBytes more must be left in the stream
  // for the count to be accepted. On any failure the vector is left empty and the error propagates.
  void ReadVectorPart(TVStream& Stream, int32_t TrailerBytes);

  uint8_t* Data_ = nullptr;
  int32_t Count_ = 0;
  int32_t Capacity_ = 0;
  int32_t ElemSize_;
};

class TSortableVector : public TVector {
 public:
  using TVector::TVector;

  const char* ClassName() const override { return "TSortableVector"; }

  // Negative, 0 or positive as element Index is below, equal to or above the ElemSize bytes at Value.
  virtual int Compare(int32_t Index, const void* Value) const = 0;
  virtual void Exchange(int32_t Index1, int32_t Index2) = 0;
  // Copies the raw bytes of element Index into Buffer (ElemSize bytes).
  virtual void GetItemTo(int32_t Index, void* Buffer) const = 0;
  // Quicksort of L..R (not stable; nothing when L >= R).
  virtual void SortRange(int32_t L, int32_t R);
  virtual void SortRangeDesc(int32_t L, int32_t R);
  virtual void Sort();
  virtual void SortDesc();

  // Sorts L..R by this vector's values; every Exchange (I, J) is repeated on Companion right after.
  // Companion must hold at least R + 1 elements; it is never compared.
  void SortRangeWithOrder(int32_t L, int32_t R, TSortableVector& Companion, bool Ascending);
  void SortRangeWith(int32_t L, int32_t R, TSortableVector& Companion);
  void SortRangeDescWith(int32_t L, int32_t R, TSortableVector& Companion);
  void SortWith(TSortableVector& Companion);
  void SortDescWith(TSortableVector& Companion);
  // Sorts the whole vector; each exchange is repeated on every companion in array order.
  void SortWithVectorsEx(const std::vector<TSortableVector*>& Companions, bool Ascending);
  void SortWithVectors(const std::vector<TSortableVector*>& Companions);
};

// Sorts the parallel vectors Primary, Keys[0], Keys[1], ... together, ordered by Primary and then by the
// keys in array order to break ties; Ascending false reverses the whole compound order. Every key vector
// must hold at least as many elements as Primary.
void SortVectors(TSortableVector& Primary, const std::vector<TSortableVector*>& Keys, bool Ascending);

// 1-byte raw storage.
class TBase8Vector : public TSortableVector {
 public:
  TBase8Vector() : TSortableVector(1) {}
  const char* ClassName() const override { return "TBase8Vector"; }
  void GetItemTo(int32_t Index, void* Buffer) const override;
  // Writes Value into the N elements that start at ByteOffset.
  void FillValue(int32_t ByteOffset, int32_t N, uint8_t Value);
  // First index >= StartIndex holding Value, or -1; a negative StartIndex counts as 0.
  int32_t RawIndexFrom(int32_t StartIndex, uint8_t Value) const;
  // Last index <= min(StartIndex, Count - 1) holding Value, or -1; a negative StartIndex gives -1.
  int32_t RawLastIndexFrom(int32_t StartIndex, uint8_t Value) const;
  int32_t RawNumberOfValues(uint8_t Value) const;
};

// 4-byte raw storage; equality of the raw searches is 32-bit pattern equality.
class TBase32Vector : public TSortableVector {
 public:
  TBase32Vector() : TSortableVector(4) {}
  const char* ClassName() const override { return "TBase32Vector"; }
  void GetItemTo(int32_t Index, void* Buffer) const override;
  void FillValue(int32_t ByteOffset, int32_t N, uint32_t Value);
  int32_t RawIndexFrom(int32_t StartIndex, uint32_t Value) const;
  int32_t RawLastIndexFrom(int32_t StartIndex, uint32_t Value) const;
  int32_t RawNumberOfValues(uint32_t Value) const;
};

// 8-byte raw storage; equality of the raw searches is 64-bit pattern equality (the Double number vector
// searches with its own floating-point equality). Pointer-sized on this platform: the base of the
// pointer vector and the string lists.
class TBase64Vector : public TSortableVector {
 public:
  TBase64Vector() : TSortableVector(8) {}
  const char* ClassName() const override { return "TBase64Vector"; }
  void GetItemTo(int32_t Index, void* Buffer) const override;
  void FillValue(int32_t ByteOffset, int32_t N, uint64_t Value);
  int32_t RawIndexFrom(int32_t StartIndex, uint64_t Value) const;
  int32_t RawLastIndexFrom(int32_t StartIndex, uint64_t Value) const;
  int32_t RawNumberOfValues(uint64_t Value) const;
};
