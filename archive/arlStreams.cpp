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
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int k = 0; k < 8; ++k) c = static_cast<uint16_t>((c & 1) ? (c >> 1) ^ 0xA001 : c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr auto kCrc16Table = MakeCrc16Table();

}  // namespace

void CrcUpdate16(const void* Buffer, int32_t Count, uint16_t& Crc) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  uint16_t c = Crc;
  for (int32_t i = 0; i < Count; ++i) c = static_cast<uint16_t>(kCrc16Table[(c ^ p[i]) & 0xFF] ^ (c >> 8));
  Crc = c;
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
  const int64_t pos = Seek(static_cast<int64_t>(Offset), Origin);
  if (pos > INT32_MAX) throw ERangeError();
  return static_cast<int32_t>(pos);
}

int64_t TStream32::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (Offset < INT32_MIN || Offset > INT32_MAX) throw ERangeError();
  return Seek32(static_cast<int32_t>(Offset), Origin);
}

int64_t TStream32::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
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
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(Count, 1), Chunk)));
  int64_t done = 0;
  while (done < Count && !(CancelFlag && *CancelFlag)) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(Count - done, Chunk));
    if (Strict) {
      Source.ReadBuffer(buf.data(), n);
      Dest.WriteBuffer(buf.data(), n);
    } else if (Source.Read(buf.data(), n) != n || Dest.Write(buf.data(), n) != n) {
      return -1;
    }
    done += n;
    if (Progress) Progress(done, Count);
  }
  return done;
}

}  // namespace

int64_t TStream32::CopyFrom(TStream32& Source, const bool* CancelFlag, const TStreamProgressEvent& Progress,
                            int64_t Count) {
  return CopyInChunks(*this, Source, CancelFlag, Progress, Count, kCopyChunk, true);
}

// --- THandleStream32, TFileStream32 ---------------------------------------------------------------------

THandle THandleStream32::Handle() const {
  if (FPos >= 0 && FHandle != kInvalidHandle) ::lseek(FHandle, static_cast<off_t>(FPos), SEEK_SET);
  FPos = -1;
  DropReadAhead();  // whoever has the descriptor may change the file
  return FHandle;
}

int64_t THandleStream32::KnownPosition() {
  if (FPos < 0 && FHandle != kInvalidHandle) {
    const off_t pos = ::lseek(FHandle, 0, SEEK_CUR);
    FPos = pos < 0 ? -1 : static_cast<int64_t>(pos);
  }
  return FPos;
}

int32_t THandleStream32::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t pos = KnownPosition();
  if (pos < 0) return 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  int32_t done = 0;
  for (int i = 0; i < 2; ++i) {
    const TReadAhead& a = FAhead[i];
    if (pos < a.Start || pos >= a.Start + a.Len) continue;
    done = static_cast<int32_t>(std::min<int64_t>(Count, a.Start + a.Len - pos));
    std::memcpy(out, a.Data.get() + (pos - a.Start), static_cast<size_t>(done));
    FLastUsed = i;
    break;
  }
  const int32_t rest = Count - done;
  if (rest >= kDirectRead) {
    const ssize_t n =
        FileLayer().PRead(FHandle, out + done, static_cast<size_t>(rest), static_cast<off_t>(pos + done));
    if (n > 0) done += static_cast<int32_t>(n);
  } else if (rest > 0) {
    const int i = 1 - FLastUsed;
    TReadAhead& a = FAhead[i];
    if (!a.Data) a.Data = std::make_unique<uint8_t[]>(kReadAhead);
    a.Len = 0;
    const ssize_t n = FileLayer().PRead(FHandle, a.Data.get(), kReadAhead, static_cast<off_t>(pos + done));
    if (n > 0) {
      a.Start = pos + done;
      a.Len = static_cast<int32_t>(n);
      FLastUsed = i;
      const int32_t take = std::min(rest, a.Len);
      std::memcpy(out + done, a.Data.get(), static_cast<size_t>(take));
      done += take;
    }
  }
  FPos = pos + done;
  return done;
}

int32_t THandleStream32::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t pos = KnownPosition();
  if (pos < 0) return 0;
  DropReadAhead();
  const ssize_t n = FileLayer().PWrite(FHandle, Buffer, static_cast<size_t>(Count), static_cast<off_t>(pos));
  if (n <= 0) return 0;
  FPos = pos + n;
  return static_cast<int32_t>(n);
}

int64_t THandleStream32::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t pos = KnownPosition();
  if (pos < 0) return -1;
  if (Origin == soEnd) {
    // The end is the file's, which may have moved: the descriptor is asked.
    const off_t end = ::lseek(FHandle, static_cast<off_t>(Offset), SEEK_END);
    if (end < 0) return -1;
    FPos = static_cast<int64_t>(end);
    return FPos;
  }
  const int64_t base = Origin == soBeginning ? 0 : pos;
  if (Offset < 0 ? base + Offset < 0 : base > INT64_MAX - Offset) {
    errno = EINVAL;
    return -1;
  }
  FPos = base + Offset;
  return FPos;
}

void THandleStream32::SetSize(int64_t NewSize) {
  DropReadAhead();
  if (NewSize < 0 || Seek(NewSize, soBeginning) != NewSize || FileLayer().FTruncate(FHandle, NewSize) != 0)
    throw EStreamError(std::strerror(errno ? errno : EINVAL));
}

TFileStream32::TFileStream32(const std::string& Name, TFileOpenMode Mode, int32_t& Error)
    : THandleStream32(kInvalidHandle), FFileName(Name) {
  if (Mode == fmCreate) {
    FHandle = FileLayer().Open(Name, O_RDWR | O_CREAT | O_TRUNC, 0644);
    Error = FHandle < 0 ? 254 : 0;
  } else {
    const int access = (Mode & 3) == fmOpenWrite       ? O_WRONLY
                       : (Mode & 3) == fmOpenReadWrite ? O_RDWR
                                                       : O_RDONLY;
    FHandle = FileLayer().Open(Name, access, 0);
    Error = FHandle < 0 ? 255 : 0;
  }
  if (FHandle < 0) FHandle = kInvalidHandle;
}

TFileStream32::~TFileStream32() { Close(); }

bool TFileStream32::Close() {
  if (FHandle == kInvalidHandle) return true;
  const bool ok = FileClose(FHandle);
  FHandle = kInvalidHandle;
  FPos = -1;
  return ok;
}

// --- TMemoryStream32 ------------------------------------------------------------------------------------

TMemoryStream32::~TMemoryStream32() { std::free(FMemory); }

void TMemoryStream32::SetCapacity(int64_t NewCapacity) {
  if (NewCapacity <= 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  if (NewCapacity > kMaxMemorySize) throw EOutOfMemory();
  void* p = std::realloc(FMemory, static_cast<size_t>(NewCapacity));
  if (!p) throw EOutOfMemory();
  FMemory = static_cast<uint8_t*>(p);
  FCapacity = NewCapacity;
}

int32_t TMemoryStream32::Read(void* Buffer, int32_t Count) {
  if (Count <= 0 || FPosition >= FSize) return 0;
  const auto n = static_cast<int32_t>(std::min<int64_t>(Count, FSize - FPosition));
  std::memcpy(Buffer, FMemory + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int32_t TMemoryStream32::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = FPosition + Count;
  if (end > kMaxMemorySize) return 0;
  if (end > FCapacity) {
    // Grow by a quarter at least, in 8 KB steps, so that many small writes stay cheap.
    int64_t want = std::max(end, FCapacity + FCapacity / 4);
    want = std::min<int64_t>((want + 8191) & ~int64_t{8191}, kMaxMemorySize);
    SetCapacity(want);
  }
  if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
  std::memcpy(FMemory + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  FSize = std::max(FSize, end);
  return Count;
}

int64_t TMemoryStream32::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : FSize;
  const int64_t pos = base + Offset;
  if (pos < 0 || pos > kMaxMemorySize) return -1;
  FPosition = pos;
  return FPosition;
}

void TMemoryStream32::SetSize(int64_t NewSize) {
  if (NewSize < 0 || NewSize > kMaxMemorySize) throw ERangeError();
  if (NewSize > FCapacity) SetCapacity(NewSize);
  if (NewSize > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(NewSize - FSize));
  FSize = NewSize;
  FPosition = std::min(FPosition, FSize);
}

void TMemoryStream32::Clear() {
  SetCapacity(0);
  FSize = 0;
  FPosition = 0;
}

uint8_t* TMemoryStream32::ReleaseMemory() {
  uint8_t* p = FMemory;
  FMemory = nullptr;
  FSize = FPosition = FCapacity = 0;
  return p;
}

// --- TCustomStream, TDecompressStream -------------------------------------------------------------------

struct TCustomStream::TInflateState {
  z_stream Z{};
  bool Ready = false;
};

TCustomStream::TCustomStream(TStream32& Source)
    : FSource(&Source),
      FSourcePosition(Source.Position()),
      FBuffer(new uint8_t[kBufferSize]),
      FZ(std::make_unique<TInflateState>()) {}

TCustomStream::~TCustomStream() = default;

int32_t TCustomStream::Write(const void*, int32_t) { return -1; }

int64_t TCustomStream::CopyFrom(TStream32& Source, const bool* CancelFlag,
                                const TStreamProgressEvent& Progress, int64_t Count) {
  return std::max<int64_t>(CopyInChunks(*this, Source, CancelFlag, Progress, Count, kCopyChunk, false), 0);
}

TDecompressStream::TDecompressStream(TStream32& Source, TDecipher Decipher)
    : TCustomStream(Source), FDecipher(std::move(Decipher)) {
  FStartPosition = FSourcePosition;
  if (inflateInit2(&FZ->Z, -MAX_WBITS) != Z_OK) throw EOutOfMemory();
  FZ->Ready = true;
}

TDecompressStream::~TDecompressStream() {
  try {
    // Give back the input that inflate did not consume, so that the source stands right after the
    // deflated data.
    if (FZ->Z.avail_in > 0) FSource->Seek(FSourcePosition - FZ->Z.avail_in, soBeginning);
  } catch (...) {
  }
  if (FZ->Ready) inflateEnd(&FZ->Z);
}

void TDecompressStream::Reset() {
  inflateReset(&FZ->Z);
  FZ->Z.avail_in = 0;
  FZ->Z.next_in = nullptr;
  FSourcePosition = FStartPosition;
  FSource->Seek(FStartPosition, soBeginning);
  FProduced = 0;
  FEnd = false;
  FInputExhausted = false;
  FError = 0;
}

void TDecompressStream::ContinueFrom(TStream32& Source) {
  FSource = &Source;
  FSourcePosition = Source.Position();
  FInputExhausted = false;
}

int32_t TDecompressStream::Read(void* Buffer, int32_t Count) {
  if (FError != 0) return FError;
  if (FEnd || Count <= 0) return 0;
  z_stream& z = FZ->Z;
  z.next_out = static_cast<Bytef*>(Buffer);
  z.avail_out = static_cast<uInt>(Count);
  if (z.avail_in == 0 && FSource->Position() != FSourcePosition) FSource->Seek(FSourcePosition, soBeginning);
  while (z.avail_out > 0) {
    if (z.avail_in == 0 && !FInputExhausted) {
      if (FSource->Position() != FSourcePosition) FSource->Seek(FSourcePosition, soBeginning);
      const int32_t n = FSource->Read(FBuffer.get(), kBufferSize);
      if (n <= 0) {
        FInputExhausted = true;
      } else {
        FSourcePosition += n;
        if (FDecipher) FDecipher(FBuffer.get(), n);
        z.next_in = FBuffer.get();
        z.avail_in = static_cast<uInt>(n);
        if (OnProgress) OnProgress(FSourcePosition - FStartPosition, 0);
      }
    }
    // With the input used up, inflate is still called: it may hold decoded bytes that did not fit the
    // caller's buffer before. Only a call that hands over nothing more ends the read.
    const uInt roomBefore = z.avail_out;
    const int r = inflate(&z, Z_NO_FLUSH);
    if (r == Z_STREAM_END) {
      FEnd = true;
      break;
    }
    if (r == Z_NEED_DICT || (r < 0 && r != Z_BUF_ERROR)) {
      FError = r == Z_NEED_DICT ? Z_DATA_ERROR : r;
      return FError;
    }
    if (FInputExhausted && z.avail_in == 0 && z.avail_out == roomBefore) break;
  }
  const int32_t produced = Count - static_cast<int32_t>(z.avail_out);
  FProduced += produced;
  return produced;
}

int64_t TDecompressStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (Origin == soBeginning && Offset == 0) {
    Reset();
    return 0;
  }
  int64_t target = -1;
  if (Origin == soCurrent && Offset > 0) target = FProduced + Offset;
  if (Origin == soBeginning && Offset > FProduced) target = Offset;
  if (target > FProduced) {
    uint8_t scrap[4096];
    while (FProduced < target) {
      const int32_t n =
          Read(scrap, static_cast<int32_t>(std::min<int64_t>(target - FProduced, sizeof scrap)));
      if (n <= 0) break;
    }
  }
  return FProduced;
}
