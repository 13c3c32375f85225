#include "core/VStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/MemUtils.h"
#include "core/StrUtils.h"

namespace {

// Copies go through one buffer of at most this many bytes.
constexpr int32_t kCopyBufferSize = 32768;
// Searches read through a buffer of max(2 x pattern length, this many bytes).
constexpr int32_t kFindBufferSize = 32768;
// Growth of a memory stream: 16 bytes while it holds up to 64, then a quarter, and beyond 1 MB an eighth
// plus 128 KB.
constexpr int32_t kSmallGrowth = 16;
constexpr int32_t kQuarterGrowthFrom = 64;
constexpr int32_t kEighthGrowthFrom = 1048576;
constexpr int32_t kLargeGrowthExtra = 131072;
// The largest capacity of a heap memory stream: the largest multiple of 4 in a signed 32-bit size.
constexpr int64_t kMaxMemCapacity = 0x7FFFFFFC;
// The code a failed allocation reports (ERROR_NOT_ENOUGH_MEMORY).
constexpr int32_t kNotEnoughMemoryCode = 8;

void PutLE(uint8_t* P, uint32_t V, int Bytes) {
  for (int I = 0; I < Bytes; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

uint32_t GetLE(const uint8_t* P, int Bytes) {
  uint32_t V = 0;
  for (int I = 0; I < Bytes; ++I) V |= static_cast<uint32_t>(P[I]) << (8 * I);
  return V;
}

}  // namespace

// ---- Filters ----------------------------------------------------------------------------------------

void TBigEndianFilter::Apply(TVStream* Stream, void* Buf, int32_t Count) {
  if (Next) Next->Apply(Stream, Buf, Count);
  SwapBytePairs(Buf, Count);
}

void TUpperCaseFilter::Apply(TVStream* Stream, void* Buf, int32_t Count) {
  if (Next) Next->Apply(Stream, Buf, Count);
  auto* B = static_cast<uint8_t*>(Buf);
  for (int32_t I = 0; I < Count; ++I)
    if (B[I] >= 'a' && B[I] <= 'z') B[I] -= 32;
}

// ---- TVStream ---------------------------------------------------------------------------------------

bool TVStream::Eof() { return GetPosition() >= GetSize(); }

void TVStream::Error(const std::string& Msg, const TFormatArgs& Args) const {
  throw EVStream("Class " + std::string(ClassName()) + ":\r\n" + FormatIfPercent(Msg, Args));
}

bool TVStream::FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes) {
  if (PatLen < 1) return false;
  const int32_t Start = GetPosition();
  // A pattern longer than what may be read cannot match: answer before allocating for it.
  const int64_t Readable = std::min<int64_t>(MaxBytes, static_cast<int64_t>(GetSize()) - Start);
  if (PatLen > Readable) return false;
  const int32_t BufSize =
      static_cast<int32_t>(std::max<int64_t>(2 * static_cast<int64_t>(PatLen), kFindBufferSize));
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[static_cast<size_t>(BufSize)]);
  int32_t Carried = 0;  // bytes kept from the previous read at the buffer start
  while (!Eof()) {
    // Reads of even length keep every read on a 2-byte boundary from Start, so that a filter that works on
    // byte pairs (TBigEndianFilter) sees whole pairs; the carry-over of PatLen - 1 bytes would make them odd.
    int32_t Wanted = std::min(MaxBytes, BufSize - Carried);
    if (Wanted > 1) Wanted &= ~1;
    const int32_t N = Read(Buf.get() + Carried, Wanted);
    if (Carried + N < PatLen) break;
    const int32_t At = FindMem(Pattern, PatLen, Buf.get(), Carried + N);
    if (At >= 0) {
      Seek(GetPosition() - N - Carried + At);
      return true;
    }
    std::memmove(Buf.get(), Buf.get() + Carried + N - (PatLen - 1), static_cast<size_t>(PatLen - 1));
    Carried = PatLen - 1;
    MaxBytes -= N;
  }
  Seek(Start);
  return false;
}

void TVStream::ReadBuffer(void* Buf, int32_t Count) {
  if (Read(Buf, Count) < Count) Error("Read after end error");
}

void TVStream::WriteByte(uint8_t B) { Write(&B, 1); }

uint8_t TVStream::ReadByte() {
  uint8_t B;
  ReadBuffer(&B, 1);
  return B;
}

bool TVStream::ReadBool() { return ReadByte() != 0; }

void TVStream::WriteInt16(int16_t V) {
  uint8_t B[2];
  PutLE(B, static_cast<uint16_t>(V), 2);
  Write(B, 2);
}

int16_t TVStream::ReadInt16() {
  uint8_t B[2];
  ReadBuffer(B, 2);
  return static_cast<int16_t>(GetLE(B, 2));
}

void TVStream::WriteInt32(int32_t V) {
  uint8_t B[4];
  PutLE(B, static_cast<uint32_t>(V), 4);
  Write(B, 4);
}

int32_t TVStream::ReadInt32() {
  uint8_t B[4];
  ReadBuffer(B, 4);
  return static_cast<int32_t>(GetLE(B, 4));
}

void TVStream::WriteString(const std::string& S) {
  if (S.size() > static_cast<size_t>(INT32_MAX)) Error("Error in parameters");
  WriteInt32(static_cast<int32_t>(S.size()));
  WriteText(S);
}

std::string TVStream::ReadString() { return ReadChars(ReadInt32()); }

void TVStream::WriteText(const std::string& S) {
  if (S.size() > static_cast<size_t>(INT32_MAX)) Error("Error in parameters");
  Write(S.data(), static_cast<int32_t>(S.size()));
}

void TVStream::WriteLine(const std::string& S) {
  WriteText(S);
  Write("\r\n", 2);
}

std::string TVStream::ReadChars(int32_t Count) {
  // A stored count is checked against the bytes left before anything is allocated for it.
  if (Count < 0 || Count > static_cast<int64_t>(GetSize()) - GetPosition()) Error("Read after end error");
  std::string S(static_cast<size_t>(Count), '\0');
  ReadBuffer(S.data(), Count);
  return S;
}

void TVStream::WriteWideString(const std::u16string& S) {
  if (S.size() > static_cast<size_t>(INT32_MAX / 2)) Error("Error in parameters");
  WriteInt32(static_cast<int32_t>(S.size()));
  WriteWideText(S);
}

std::u16string TVStream::ReadWideString() {
  const int32_t Count = ReadInt32();
  if (Count < 0 || 2 * static_cast<int64_t>(Count) > static_cast<int64_t>(GetSize()) - GetPosition())
    Error("Read after end error");
  std::string Bytes(2 * static_cast<size_t>(Count), '\0');
  ReadBuffer(Bytes.data(), 2 * Count);
  return RawToWideStr(Bytes);
}

void TVStream::WriteWideText(const std::u16string& S) {
  if (S.size() > static_cast<size_t>(INT32_MAX / 2)) Error("Error in parameters");
  std::string Bytes(2 * S.size(), '\0');
  for (size_t I = 0; I < S.size(); ++I) PutLE(reinterpret_cast<uint8_t*>(&Bytes[2 * I]), S[I], 2);
  Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
}

void TVStream::Skip(int32_t Count) {
  const int64_t Pos = static_cast<int64_t>(GetPosition()) + Count;
  if (Pos < INT32_MIN || Pos > INT32_MAX) Error("Seek error (%d)", {Pos});
  Seek(static_cast<int32_t>(Pos));
}

int32_t TVStream::CopyBytesTo(TVStream& Dest, int32_t Count) {
  if (Count <= 0) return 0;
  const int32_t BufSize = std::min(Count, kCopyBufferSize);
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[static_cast<size_t>(BufSize)]);
  return CopyBytesWithBuffer(Dest, Count, BufSize, Buf.get());
}

int32_t TVStream::CopyBytesWithBuffer(TVStream& Dest, int32_t Count, int32_t BufSize, void* Buf) {
  int32_t Total = 0;
  if (BufSize <= 0) return 0;
  while (Count > 0) {
    const int32_t N = std::min(Count, BufSize);
    const int32_t C = Read(Buf, N);
    Dest.Write(Buf, C);
    Total += C;
    Count -= C;
    if (C < N) break;
  }
  return Total;
}

int32_t TVStream::AppendBytesTo(TVStream& Dest, int32_t Count) {
  Dest.Seek(Dest.GetSize());
  return CopyBytesTo(Dest, Count);
}

void TVStream::AppendToStream(TVStream& Dest) {
  Seek(0);
  const int32_t Size = GetSize();
  if (AppendBytesTo(Dest, Size) < Size) Error("Stream error");
}

void TVStream::SaveToStream(TVStream& Dest) {
  Dest.SetSize(0);
  AppendToStream(Dest);
}

bool TVStream::FindString(const std::string& S, int32_t MaxBytes) {
  if (S.size() > static_cast<size_t>(INT32_MAX)) return false;
  return FindBytes(S.data(), static_cast<int32_t>(S.size()), MaxBytes);
}

// ---- Memory streams ---------------------------------------------------------------------------------

TVBaseMemStream::~TVBaseMemStream() { std::free(Memory_); }

void TVBaseMemStream::SetCapacity(int32_t N) {
  // N + 3 must not overflow: the capacity is N raised to a multiple of 4.
  if (N < -3 || N > kMaxMemCapacity) Error("Error in parameters");
  const int32_t NewCapacity = static_cast<int32_t>((static_cast<int64_t>(N) + 3) & ~int64_t{3});
  if (NewCapacity == Capacity_) return;
  if (NewCapacity < Size_) Error("Set size error");
  if (NewCapacity == 0) {
    std::free(Memory_);
    Memory_ = nullptr;
  } else {
    void* P = std::realloc(Memory_, static_cast<size_t>(NewCapacity));
    if (!P) throw EOutOfMemory();
    Memory_ = static_cast<uint8_t*>(P);
  }
  Capacity_ = NewCapacity;
}

void TVBaseMemStream::SetSize(int32_t NewSize) {
  if (NewSize < 0) Error("Error in parameters");
  if (NewSize < Size_) {
    Size_ = NewSize;
    Position_ = std::min(Position_, NewSize);
    SetCapacity(NewSize);
  } else {
    SetCapacity(NewSize);
    Size_ = NewSize;
  }
}

void TVBaseMemStream::ResizeBuffer(int32_t N) {
  if (N < GetSize()) Error("Set size error");
  SetCapacity(N);
}

void TVBaseMemStream::Seek(int32_t Pos) {
  if (Pos < 0 || Pos > Size_) Error("Seek error (%d)", {Pos});
  Position_ = Pos;
}

void TVBaseMemStream::Write(const void* Buf, int32_t Count) {
  if (Count <= 0) return;
  const int64_t End = static_cast<int64_t>(Position_) + Count;
  if (End > INT32_MAX) Error("Error in parameters");
  const auto* Src = static_cast<const uint8_t*>(Buf);
  if (End > Capacity_) {
    // The source may lie in this stream's own block, which the growth can move.
    const bool Inside = Memory_ && Src >= Memory_ && Src < Memory_ + Capacity_;
    const size_t SrcOffset = Inside ? static_cast<size_t>(Src - Memory_) : 0;
    int64_t Grow = kSmallGrowth;
    if (Capacity_ > kEighthGrowthFrom)
      Grow = Capacity_ / 8 + kLargeGrowthExtra;
    else if (Capacity_ > kQuarterGrowthFrom)
      Grow = Capacity_ / 4;
    const int64_t Wanted = std::max<int64_t>(Capacity_ + Grow, End);
    // Grow before the size changes, so that a failed growth leaves the stream as it was.
    SetCapacity(static_cast<int32_t>(std::min(Wanted, std::max(End, kMaxMemCapacity))));
    if (Inside) Src = Memory_ + SrcOffset;
  }
  std::memmove(Memory_ + Position_, Src, static_cast<size_t>(Count));
  Position_ = static_cast<int32_t>(End);
  if (Position_ > Size_) Size_ = Position_;
}

int32_t TVBaseMemStream::Read(void* Buf, int32_t Count) {
  int32_t N = Memory_ ? std::min(Count, Size_ - Position_) : 0;
  if (N < 0) N = 0;
  if (N > 0) {
    std::memcpy(Buf, Memory_ + Position_, static_cast<size_t>(N));
    Position_ += N;
  }
  if (Filter) Filter->Apply(this, Buf, N);
  return N;
}

bool TVBaseMemStream::FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes) {
  if (Filter) return TVStream::FindBytes(Pattern, PatLen, MaxBytes);
  if (PatLen < 1 || !Memory_) return false;
  const int32_t At = FindMem(Pattern, PatLen, Memory_ + Position_, std::min(Size_ - Position_, MaxBytes));
  if (At < 0) return false;
  Position_ += At;
  return true;
}

TVReadOnlyMemStream::TVReadOnlyMemStream(const void* Data, int32_t DataSize) {
  if (DataSize < 0 || (!Data && DataSize > 0)) Error("Error in parameters");
  // The block is only ever read through Memory.
  Memory_ = static_cast<uint8_t*>(const_cast<void*>(Data));
  Size_ = DataSize;
}

TVReadOnlyMemStream::~TVReadOnlyMemStream() {
  // Detach the caller's block so that it is never freed.
  Memory_ = nullptr;
  Size_ = 0;
  Position_ = 0;
}

void TVReadOnlyMemStream::SetSize(int32_t) {
  if (Memory_) Error("Method not applicable");
}

void TVReadOnlyMemStream::Write(const void*, int32_t) { Error("Method not applicable"); }

void TVReadOnlyMemStream::SetCapacity(int32_t N) {
  if (N > 0) Error("Method not applicable");
}

TGMEMStream::TGMEMStream(int32_t InitialCapacity, uint32_t AllocFlags) : AllocFlags(AllocFlags) {
  SetCapacity(InitialCapacity);
}

void TGMEMStream::SetCapacity(int32_t N) {
  if (N == Capacity_) return;
  if (N < 0 || Released_) Error(N < 0 ? "Error in parameters" : "Method not applicable");
  if (N < Size_) Error("Set size error");
  if (N == 0) {
    std::free(Memory_);
    Memory_ = nullptr;
  } else {
    void* P = std::realloc(Memory_, static_cast<size_t>(N));
    if (!P) throw EWin32Error(kNotEnoughMemoryCode, std::strerror(ENOMEM));
    Memory_ = static_cast<uint8_t*>(P);
  }
  Capacity_ = N;
}

int32_t TGMEMStream::ReleaseHandle(void*& Handle) {
  Handle = Memory_;
  const int32_t Result = Capacity_;
  Memory_ = nullptr;
  Capacity_ = 0;
  Released_ = true;
  return Result;
}

// ---- Adapters ---------------------------------------------------------------------------------------

TVStreamOnStream::TVStreamOnStream(TVStream* Stream, bool OwnsStream)
    : Stream(Stream), OwnsStream(OwnsStream) {
  if (!Stream) Error("Error in parameters");
}

TVStreamOnStream::~TVStreamOnStream() {
  if (OwnsStream) delete Stream;
}

int32_t TVStreamOnStream::GetPosition() { return Stream->GetPosition(); }
int32_t TVStreamOnStream::GetSize() { return Stream->GetSize(); }
void TVStreamOnStream::SetSize(int32_t NewSize) { Stream->SetSize(NewSize); }
void TVStreamOnStream::Seek(int32_t Pos) { Stream->Seek(Pos); }
bool TVStreamOnStream::Eof() { return Stream->Eof(); }
void TVStreamOnStream::Write(const void* Buf, int32_t Count) { Stream->Write(Buf, Count); }
int32_t TVStreamOnStream::Read(void* Buf, int32_t Count) { return Stream->Read(Buf, Count); }

TVLimitedStream::TVLimitedStream(TVStream* Stream, int32_t Offset, int32_t Length, bool OwnsStream)
    : TVStreamOnStream(Stream, OwnsStream) {
  SetLimits(Offset, Length);
}

void TVLimitedStream::SetLimits(int32_t NewOffset, int32_t NewLength) {
  if (NewOffset < 0 || NewLength < 0 || static_cast<int64_t>(NewOffset) + NewLength > INT32_MAX)
    Error("Error in parameters");
  Offset = NewOffset;
  Length = NewLength;
  Stream->Seek(Offset);
}

int32_t TVLimitedStream::GetPosition() { return Stream->GetPosition() - Offset; }

void TVLimitedStream::SetSize(int32_t) { Error("Method not implemented"); }

void TVLimitedStream::Seek(int32_t Pos) {
  const int64_t Inner = static_cast<int64_t>(Pos) + Offset;
  if (Inner < INT32_MIN || Inner > INT32_MAX) Error("Seek error (%d)", {Pos});
  Stream->Seek(static_cast<int32_t>(Inner));
}

bool TVLimitedStream::Eof() {
  return Stream->Eof() || Stream->GetPosition() >= static_cast<int64_t>(Offset) + Length;
}

void TVLimitedStream::Write(const void* Buf, int32_t Count) {
  if (static_cast<int64_t>(Stream->GetPosition()) + Count > static_cast<int64_t>(Offset) + Length)
    Error("Error in parameters");
  Stream->Write(Buf, Count);
}

int32_t TVLimitedStream::Read(void* Buf, int32_t Count) {
  const int64_t Left = static_cast<int64_t>(Offset) + Length - Stream->GetPosition();
  const int32_t Wanted = static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(Count, Left)));
  const int32_t N = Wanted > 0 ? Stream->Read(Buf, Wanted) : 0;
  if (Filter) Filter->Apply(this, Buf, N);
  return N;
}

char TVCharStreamOnStream::ReadChar() {
  if (Next_ >= End_) {
    const int32_t N = Stream->Read(Buffer_, kBufferSize);
    if (N <= 0) Error("Read after end error");
    Next_ = 0;
    End_ = N;
  }
  return Buffer_[Next_++];
}

int32_t TVCharStreamOnStream::GetPosition() { return Stream->GetPosition() - (End_ - Next_); }

void TVCharStreamOnStream::Seek(int32_t Pos) {
  Stream->Seek(Pos);
  Next_ = 0;
  End_ = 0;
}

bool TVCharStreamOnStream::Eof() { return Next_ >= End_ && Stream->Eof(); }
