#include "archive/arlStreams.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/arlFileIo.h"
#include "core/FileLayer.h"
#include "core/WinUtils.h"

// --- CRC ------------------------------------------------------------------------------------------------

namespace {

// The reflected CRC-16 table of polynomial 0xA001, one entry per byte value. CRC-32 is the core's.
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> Table{};
  for (unsigned I = 0; I < 256; ++I) {
    uint16_t C = static_cast<uint16_t>(I);
    for (int K = 0; K < 8; ++K) C = static_cast<uint16_t>((C & 1) ? (C >> 1) ^ 0xA001 : C >> 1);
    Table[I] = C;
  }
  return Table;
}

constexpr auto kCrc16Table = MakeCrc16Table();

}  // namespace

void CrcUpdate16(const void* Buffer, int32_t Count, uint16_t& Crc) {
  const auto* P = static_cast<const uint8_t*>(Buffer);
  uint16_t C = Crc;
  for (int32_t I = 0; I < Count; ++I) C = static_cast<uint16_t>(kCrc16Table[(C ^ P[I]) & 0xFF] ^ (C >> 8));
  Crc = C;
}

void CrcUpdate32(const void* Buffer, int32_t Count, uint32_t& Crc) { Crc = UpdateCrc32(Crc, Buffer, Count); }

uint32_t Crc32Byte(uint8_t B, uint32_t Crc) { return UpdateCrc32(Crc, &B, 1); }

// --- TStream32 ------------------------------------------------------------------------------------------

void TStream32::SetSize32(int32_t) {}

void TStream32::SetSize(int64_t NewSize) {
  if (NewSize < INT32_MIN || NewSize > INT32_MAX) throw ERangeError();
  SetSize32(static_cast<int32_t>(NewSize));
}

int32_t TStream32::Seek32(int32_t Offset, TSeekOrigin Origin) {
  if (!Has64BitSeek()) throw EStreamError("Seek not implemented");
  const int64_t Pos = Seek(static_cast<int64_t>(Offset), Origin);
  if (Pos > INT32_MAX) throw ERangeError();
  return static_cast<int32_t>(Pos);
}

int64_t TStream32::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (Offset < INT32_MIN || Offset > INT32_MAX) throw ERangeError();
  return Seek32(static_cast<int32_t>(Offset), Origin);
}

int64_t TStream32::Size() {
  const int64_t Pos = Seek(0, soCurrent);
  const int64_t Size = Seek(0, soEnd);
  Seek(Pos, soBeginning);
  return Size;
}

void TStream32::ReadBuffer(void* Buffer, int32_t Count) {
  if (Count > 0 && Read(Buffer, Count) != Count) throw EReadError();
}

void TStream32::WriteBuffer(const void* Buffer, int32_t Count) {
  if (Count > 0 && Write(Buffer, Count) != Count) throw EWriteError();
}

namespace {

// Copies Count bytes of Source (Count 0: all of Source from its start) into Dest in chunks of at most
// Chunk bytes until done or *CancelFlag turns true; the bytes copied. A short chunk raises when Strict
// (EReadError / EWriteError), else gives -1.
int64_t CopyInChunks(TStream32& Dest, TStream32& Source, const bool* CancelFlag,
                     const TStreamProgressEvent& Progress, int64_t Count, int32_t Chunk, bool Strict) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<uint8_t> Buf(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(Count, 1), Chunk)));
  int64_t Done = 0;
  while (Done < Count && !(CancelFlag && *CancelFlag)) {
    const auto N = static_cast<int32_t>(std::min<int64_t>(Count - Done, Chunk));
    if (Strict) {
      Source.ReadBuffer(Buf.data(), N);
      Dest.WriteBuffer(Buf.data(), N);
    } else if (Source.Read(Buf.data(), N) != N || Dest.Write(Buf.data(), N) != N) {
      return -1;
    }
    Done += N;
    if (Progress) Progress(Done, Count);
  }
  return Done;
}

}  // namespace

int64_t TStream32::CopyFrom(TStream32& Source, const bool* CancelFlag, const TStreamProgressEvent& Progress,
                            int64_t Count) {
  return CopyInChunks(*this, Source, CancelFlag, Progress, Count, kCopyChunk, true);
}

// --- THandleStream32, TFileStream32 ---------------------------------------------------------------------

THandle THandleStream32::Handle() const {
  if (Pos_ >= 0 && Handle_ != kInvalidHandle) ::lseek(Handle_, static_cast<off_t>(Pos_), SEEK_SET);
  Pos_ = -1;
  DropReadAhead();  // whoever has the descriptor may change the file
  return Handle_;
}

int64_t THandleStream32::KnownPosition() {
  if (Pos_ < 0 && Handle_ != kInvalidHandle) {
    const off_t Pos = ::lseek(Handle_, 0, SEEK_CUR);
    Pos_ = Pos < 0 ? -1 : static_cast<int64_t>(Pos);
  }
  return Pos_;
}

int32_t THandleStream32::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t Pos = KnownPosition();
  if (Pos < 0) return 0;
  auto* Out = static_cast<uint8_t*>(Buffer);
  int32_t Done = 0;
  for (int I = 0; I < 2; ++I) {
    const TReadAhead& A = Ahead_[I];
    if (Pos < A.Start || Pos >= A.Start + A.Len) continue;
    Done = static_cast<int32_t>(std::min<int64_t>(Count, A.Start + A.Len - Pos));
    std::memcpy(Out, A.Data.get() + (Pos - A.Start), static_cast<size_t>(Done));
    LastUsed_ = I;
    break;
  }
  const int32_t Rest = Count - Done;
  if (Rest >= kDirectRead) {
    const ssize_t N =
        FileLayer().PRead(Handle_, Out + Done, static_cast<size_t>(Rest), static_cast<off_t>(Pos + Done));
    if (N > 0) Done += static_cast<int32_t>(N);
  } else if (Rest > 0) {
    const int I = 1 - LastUsed_;
    TReadAhead& A = Ahead_[I];
    if (!A.Data) A.Data = std::make_unique<uint8_t[]>(kReadAhead);
    A.Len = 0;
    const ssize_t N = FileLayer().PRead(Handle_, A.Data.get(), kReadAhead, static_cast<off_t>(Pos + Done));
    if (N > 0) {
      A.Start = Pos + Done;
      A.Len = static_cast<int32_t>(N);
      LastUsed_ = I;
      const int32_t Take = std::min(Rest, A.Len);
      std::memcpy(Out + Done, A.Data.get(), static_cast<size_t>(Take));
      Done += Take;
    }
  }
  Pos_ = Pos + Done;
  return Done;
}

int32_t THandleStream32::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t Pos = KnownPosition();
  if (Pos < 0) return 0;
  DropReadAhead();
  const ssize_t N = FileLayer().PWrite(Handle_, Buffer, static_cast<size_t>(Count), static_cast<off_t>(Pos));
  if (N <= 0) return 0;
  Pos_ = Pos + N;
  return static_cast<int32_t>(N);
}

int64_t THandleStream32::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t Pos = KnownPosition();
  if (Pos < 0) return -1;
  if (Origin == soEnd) {
    // The end is the file's, which may have moved: the descriptor is asked.
    const off_t End = ::lseek(Handle_, static_cast<off_t>(Offset), SEEK_END);
    if (End < 0) return -1;
    Pos_ = static_cast<int64_t>(End);
    return Pos_;
  }
  const int64_t Base = Origin == soBeginning ? 0 : Pos;
  if (Offset < 0 ? Base + Offset < 0 : Base > INT64_MAX - Offset) {
    errno = EINVAL;
    return -1;
  }
  Pos_ = Base + Offset;
  return Pos_;
}

void THandleStream32::SetSize(int64_t NewSize) {
  DropReadAhead();
  if (NewSize < 0 || Seek(NewSize, soBeginning) != NewSize || FileLayer().FTruncate(Handle_, NewSize) != 0)
    throw EStreamError(std::strerror(errno ? errno : EINVAL));
}

TFileStream32::TFileStream32(const std::string& Name, TFileOpenMode Mode, int32_t& Error)
    : THandleStream32(kInvalidHandle), FileName_(Name) {
  if (Mode == fmCreate) {
    Handle_ = FileLayer().Open(Name, O_RDWR | O_CREAT | O_TRUNC, 0644);
    Error = Handle_ < 0 ? 254 : 0;
  } else {
    const int Access = (Mode & 3) == fmOpenWrite       ? O_WRONLY
                       : (Mode & 3) == fmOpenReadWrite ? O_RDWR
                                                       : O_RDONLY;
    Handle_ = FileLayer().Open(Name, Access, 0);
    Error = Handle_ < 0 ? 255 : 0;
  }
  if (Handle_ < 0) Handle_ = kInvalidHandle;
}

TFileStream32::~TFileStream32() { Close(); }

bool TFileStream32::Close() {
  if (Handle_ == kInvalidHandle) return true;
  const bool Ok = FileClose(Handle_);
  Handle_ = kInvalidHandle;
  Pos_ = -1;
  return Ok;
}

// --- TMemoryStream32 ------------------------------------------------------------------------------------

TMemoryStream32::~TMemoryStream32() { std::free(Memory_); }

void TMemoryStream32::SetCapacity(int64_t NewCapacity) {
  if (NewCapacity <= 0) {
    std::free(Memory_);
    Memory_ = nullptr;
    Capacity_ = 0;
    return;
  }
  if (NewCapacity > kMaxMemorySize) throw EOutOfMemory();
  void* P = std::realloc(Memory_, static_cast<size_t>(NewCapacity));
  if (!P) throw EOutOfMemory();
  Memory_ = static_cast<uint8_t*>(P);
  Capacity_ = NewCapacity;
}

int32_t TMemoryStream32::Read(void* Buffer, int32_t Count) {
  if (Count <= 0 || Position_ >= Size_) return 0;
  const auto N = static_cast<int32_t>(std::min<int64_t>(Count, Size_ - Position_));
  std::memcpy(Buffer, Memory_ + Position_, static_cast<size_t>(N));
  Position_ += N;
  return N;
}

int32_t TMemoryStream32::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t End = Position_ + Count;
  if (End > kMaxMemorySize) return 0;
  if (End > Capacity_) {
    // Grow by a quarter at least, in 8 KB steps, so that many small writes stay cheap.
    int64_t Want = std::max(End, Capacity_ + Capacity_ / 4);
    Want = std::min<int64_t>((Want + 8191) & ~int64_t{8191}, kMaxMemorySize);
    SetCapacity(Want);
  }
  if (Position_ > Size_) std::memset(Memory_ + Size_, 0, static_cast<size_t>(Position_ - Size_));
  std::memcpy(Memory_ + Position_, Buffer, static_cast<size_t>(Count));
  Position_ = End;
  Size_ = std::max(Size_, End);
  return Count;
}

int64_t TMemoryStream32::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t Base = Origin == soBeginning ? 0 : Origin == soCurrent ? Position_ : Size_;
  const int64_t Pos = Base + Offset;
  if (Pos < 0 || Pos > kMaxMemorySize) return -1;
  Position_ = Pos;
  return Position_;
}

void TMemoryStream32::SetSize(int64_t NewSize) {
  if (NewSize < 0 || NewSize > kMaxMemorySize) throw ERangeError();
  if (NewSize > Capacity_) SetCapacity(NewSize);
  if (NewSize > Size_) std::memset(Memory_ + Size_, 0, static_cast<size_t>(NewSize - Size_));
  Size_ = NewSize;
  Position_ = std::min(Position_, Size_);
}

void TMemoryStream32::Clear() {
  SetCapacity(0);
  Size_ = 0;
  Position_ = 0;
}

uint8_t* TMemoryStream32::ReleaseMemory() {
  uint8_t* P = Memory_;
  Memory_ = nullptr;
  Size_ = Position_ = Capacity_ = 0;
  return P;
}

// --- TCustomStream, TDecompressStream -------------------------------------------------------------------

struct TCustomStream::TInflateState {
  z_stream Z{};
  bool Ready = false;
};

TCustomStream::TCustomStream(TStream32& Source)
    : Source_(&Source),
      SourcePosition_(Source.Position()),
      Buffer_(new uint8_t[kBufferSize]),
      Fz_(std::make_unique<TInflateState>()) {}

TCustomStream::~TCustomStream() = default;

int32_t TCustomStream::Write(const void*, int32_t) { return -1; }

int64_t TCustomStream::CopyFrom(TStream32& Source, const bool* CancelFlag,
                                const TStreamProgressEvent& Progress, int64_t Count) {
  return std::max<int64_t>(CopyInChunks(*this, Source, CancelFlag, Progress, Count, kCopyChunk, false), 0);
}

TDecompressStream::TDecompressStream(TStream32& Source, TDecipher Decipher)
    : TCustomStream(Source), Decipher_(std::move(Decipher)) {
  StartPosition_ = SourcePosition_;
  if (inflateInit2(&Fz_->Z, -MAX_WBITS) != Z_OK) throw EOutOfMemory();
  Fz_->Ready = true;
}

TDecompressStream::~TDecompressStream() {
  try {
    // Give back the input that inflate did not consume, so that the source stands right after the
    // deflated data.
    if (Fz_->Z.avail_in > 0) Source_->Seek(SourcePosition_ - Fz_->Z.avail_in, soBeginning);
  } catch (...) {
  }
  if (Fz_->Ready) inflateEnd(&Fz_->Z);
}

void TDecompressStream::Reset() {
  inflateReset(&Fz_->Z);
  Fz_->Z.avail_in = 0;
  Fz_->Z.next_in = nullptr;
  SourcePosition_ = StartPosition_;
  Source_->Seek(StartPosition_, soBeginning);
  Produced_ = 0;
  End_ = false;
  InputExhausted_ = false;
  Error_ = 0;
}

void TDecompressStream::ContinueFrom(TStream32& Source) {
  Source_ = &Source;
  SourcePosition_ = Source.Position();
  InputExhausted_ = false;
}

int32_t TDecompressStream::Read(void* Buffer, int32_t Count) {
  if (Error_ != 0) return Error_;
  if (End_ || Count <= 0) return 0;
  z_stream& Z = Fz_->Z;
  Z.next_out = static_cast<Bytef*>(Buffer);
  Z.avail_out = static_cast<uInt>(Count);
  if (Z.avail_in == 0 && Source_->Position() != SourcePosition_) Source_->Seek(SourcePosition_, soBeginning);
  while (Z.avail_out > 0) {
    if (Z.avail_in == 0 && !InputExhausted_) {
      if (Source_->Position() != SourcePosition_) Source_->Seek(SourcePosition_, soBeginning);
      const int32_t N = Source_->Read(Buffer_.get(), kBufferSize);
      if (N <= 0) {
        InputExhausted_ = true;
      } else {
        SourcePosition_ += N;
        if (Decipher_) Decipher_(Buffer_.get(), N);
        Z.next_in = Buffer_.get();
        Z.avail_in = static_cast<uInt>(N);
        if (OnProgress) OnProgress(SourcePosition_ - StartPosition_, 0);
      }
    }
    // With the input used up, inflate is still called: it may hold decoded bytes that did not fit the
    // caller's buffer before. Only a call that hands over nothing more ends the read.
    const uInt RoomBefore = Z.avail_out;
    const int R = inflate(&Z, Z_NO_FLUSH);
    if (R == Z_STREAM_END) {
      End_ = true;
      break;
    }
    if (R == Z_NEED_DICT || (R < 0 && R != Z_BUF_ERROR)) {
      Error_ = R == Z_NEED_DICT ? Z_DATA_ERROR : R;
      return Error_;
    }
    if (InputExhausted_ && Z.avail_in == 0 && Z.avail_out == RoomBefore) break;
  }
  const int32_t Produced = Count - static_cast<int32_t>(Z.avail_out);
  Produced_ += Produced;
  return Produced;
}

int64_t TDecompressStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (Origin == soBeginning && Offset == 0) {
    Reset();
    return 0;
  }
  int64_t Target = -1;
  if (Origin == soCurrent && Offset > 0) Target = Produced_ + Offset;
  if (Origin == soBeginning && Offset > Produced_) Target = Offset;
  if (Target > Produced_) {
    uint8_t Scrap[4096];
    while (Produced_ < Target) {
      const int32_t N =
          Read(Scrap, static_cast<int32_t>(std::min<int64_t>(Target - Produced_, sizeof Scrap)));
      if (N <= 0) break;
    }
  }
  return Produced_;
}
