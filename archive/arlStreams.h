// The archive library's own stream family with 64-bit positions, the CRC routines that its decoders
// feed, and the buffered raw-inflating stream that ZIP and GZIP members are read through.
//
//   TStream32            abstract stream: 64-bit Seek and SetSize, CopyFrom in 61440-byte chunks
//   THandleStream32      a file descriptor (the system's file handle); not owned
//   TFileStream32        opens a file by name, never raises on open (Error 0, 254 or 255), owns the handle
//   TMemoryStream32      a growable memory block; the decoders' memory output builds on it
//   TCustomStream        a stream over another stream with a 65536-byte input buffer
//   TDecompressStream    raw inflate (zlib, window bits -15) of its source, optionally deciphering first
//
// Errors raise EStreamError (and its read, write and range variants) with the texts "Stream read error",
// "Stream write error", "Seek not implemented" and "Range check error". Streams are used by one thread
// at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "core/VFileStream.h"

// A file handle of the library: a file descriptor; kInvalidHandle when no file is open.
using THandle = int;
constexpr THandle kInvalidHandle = -1;

class EStreamError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EStreamError"; }
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
  const char* ClassName() const noexcept override { return "EReadError"; }
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
  const char* ClassName() const noexcept override { return "EWriteError"; }
};
class ERangeError : public EStreamError {
 public:
  ERangeError() : EStreamError("Range check error") {}
  const char* ClassName() const noexcept override { return "ERangeError"; }
};

// Seek origins.
enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Progress while copying: bytes copied so far of the total; not called when unassigned.
using TStreamProgressEvent = std::function<void(int64_t Done, int64_t Total)>;

// --- CRC ------------------------------------------------------------------------------------------------

// Table-driven CRC updates without initial or final complement: CRC-16 with the reflected polynomial
// 0xA001 (ARC, LHA, ZOO), CRC-32 with the reflected polynomial 0xEDB88320 (ZIP, GZIP, ARJ; computed by
// the core's UpdateCrc32). Count <= 0 leaves Crc unchanged.
void CrcUpdate16(const void* Buffer, int32_t Count, uint16_t& Crc);
void CrcUpdate32(const void* Buffer, int32_t Count, uint32_t& Crc);
// One CRC-32 table step: Table[(Crc ^ B) & 0xFF] ^ (Crc >> 8). The traditional ZIP cipher's key schedule
// is defined on exactly this step.
uint32_t Crc32Byte(uint8_t B, uint32_t Crc);

// --- Streams --------------------------------------------------------------------------------------------

class TStream32 {
 public:
  virtual ~TStream32() = default;
  TStream32() = default;
  TStream32(const TStream32&) = delete;
  TStream32& operator=(const TStream32&) = delete;

  // The base does nothing; a 64-bit size outside the 32-bit range raises ERangeError in the base.
  virtual void SetSize32(int32_t NewSize);
  virtual void SetSize(int64_t NewSize);
  // The bytes transferred; 0 at the end; never more than Count.
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  // The base's 32-bit Seek calls the 64-bit one when a class overrides it (Has64BitSeek), else raises
  // EStreamError "Seek not implemented"; the base's 64-bit Seek raises ERangeError for offsets outside
  // the 32-bit range and calls the 32-bit one. The result is the new position.
  virtual int32_t Seek32(int32_t Offset, TSeekOrigin Origin);
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin);
  // Copies Count bytes of Source (Count 0: all of Source from its start) in chunks of at most 61440
  // bytes, until done or *CancelFlag (when given) turns true. The result is the bytes copied.
  virtual int64_t CopyFrom(TStream32& Source, const bool* CancelFlag, const TStreamProgressEvent& Progress,
                           int64_t Count);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  // Seeks to the end and back.
  int64_t Size();
  // Raise EReadError / EWriteError when fewer than Count bytes move.
  void ReadBuffer(void* Buffer, int32_t Count);
  void WriteBuffer(const void* Buffer, int32_t Count);

  TStreamProgressEvent OnProgress;

 protected:
  // True in classes that implement the 64-bit Seek themselves.
  virtual bool Has64BitSeek() const { return false; }
  // A chunk size for CopyFrom.
  static constexpr int32_t kCopyChunk = 61440;
};

// A stream over a file descriptor that someone else owns. Read and Write transfer through the core file
// layer (one pread/pwrite each); a failed call counts as 0 bytes. SetSize raises EStreamError with the
// system's text when it fails.
//
// The stream starts at the descriptor's file offset and then keeps its position itself, so that a read
// costs no lseek: the descriptor's offset is brought up to the stream's position whenever Handle() hands
// the descriptor out (the handle routines of arlFileIo then see the same position), and the stream asks the
// descriptor again at its next call. Small reads (headers, names) are served from a read-ahead buffer of
// kReadAhead bytes, filled by one pread; there are two, so that a reader going back and forth between two
// places of the file (a directory and the headers it points to) keeps both. A write, a size change and
// Handle() drop them.
class THandleStream32 : public TStream32 {
 public:
  explicit THandleStream32(THandle Handle) : Handle_(Handle) {}
  THandle Handle() const;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;

 protected:
  bool Has64BitSeek() const override { return true; }
  // The position, read from the descriptor when not known; -1 when the descriptor has none (closed,
  // invalid or not seekable).
  int64_t KnownPosition();
  THandle Handle_;
  // The stream's position; -1 until the descriptor's offset is read (and again after Handle()).
  mutable int64_t Pos_ = -1;

 private:
  static constexpr int32_t kReadAhead = 16384;
  // A read of at least this many bytes goes straight to the caller's buffer.
  static constexpr int32_t kDirectRead = 4096;
  // A read-ahead buffer: Len bytes of the file from Start (allocated at its first fill).
  struct TReadAhead {
    std::unique_ptr<uint8_t[]> Data;
    int64_t Start = 0;
    int32_t Len = 0;
  };
  mutable TReadAhead Ahead_[2];
  int LastUsed_ = 0;  // the buffer read from last; the other one is filled next
  void DropReadAhead() const { Ahead_[0].Len = Ahead_[1].Len = 0; }
};

// Open modes of TFileStream32: those of the core's file streams (fmOpenRead, fmOpenWrite,
// fmOpenReadWrite, fmCreate), and two sharing values that are kept as data only.
constexpr TFileOpenMode fmShareExclusive = 0x10;
constexpr TFileOpenMode fmShareDenyNone = 0x40;

// Opens Name with Mode; never raises on open. Error is 0 on success, 254 when creating failed, 255 when
// opening failed (the handle is then kInvalidHandle and every read gives 0 bytes). Closes its handle.
class TFileStream32 : public THandleStream32 {
 public:
  TFileStream32(const std::string& Name, TFileOpenMode Mode, int32_t& Error);
  ~TFileStream32() override;
  const std::string& FileName() const { return FileName_; }
  // Closes the handle; false when the system reports a failure (a late write error).
  bool Close();

 private:
  std::string FileName_;
};

// A growable memory block with a size and a position. Growing goes through SetCapacity, which descendants
// replace to keep the block in a memory of their own; such a descendant frees its block in its own
// destructor and leaves Memory_ null (the base frees with std::free).
class TMemoryStream32 : public TStream32 {
 public:
  ~TMemoryStream32() override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  void Clear();

  uint8_t* Memory() const { return Memory_; }
  int64_t GetSize() const { return Size_; }
  int64_t Capacity() const { return Capacity_; }
  // Raises EOutOfMemory when the block cannot be had. A capacity of 0 frees the block.
  virtual void SetCapacity(int64_t NewCapacity);

  // The largest block these streams hold: the system refuses files of 2 GB or more.
  static constexpr int64_t kMaxMemorySize = INT32_MAX;

 protected:
  bool Has64BitSeek() const override { return true; }
  // Hands the block to the caller and leaves the stream empty.
  uint8_t* ReleaseMemory();
  uint8_t* Memory_ = nullptr;
  int64_t Size_ = 0;
  int64_t Position_ = 0;
  int64_t Capacity_ = 0;
};

// A stream over Source (not owned, must outlive it) with a 65536-byte input buffer and a raw-inflate
// state. Writing is not supported (-1).
class TCustomStream : public TStream32 {
 public:
  explicit TCustomStream(TStream32& Source);
  ~TCustomStream() override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  // As TStream32::CopyFrom, but ends with result 0 as soon as a chunk comes up short.
  int64_t CopyFrom(TStream32& Source, const bool* CancelFlag, const TStreamProgressEvent& Progress,
                   int64_t Count) override;

  static constexpr int32_t kBufferSize = 65536;

 protected:
  bool Has64BitSeek() const override { return true; }
  TStream32* Source_;
  int64_t SourcePosition_;  // where the next read of the source continues
  std::unique_ptr<uint8_t[]> Buffer_;
  struct TInflateState;
  std::unique_ptr<TInflateState> Fz_;
};

// Raw inflate of the deflated data that starts at the source's current position. Read gives the bytes
// produced (fewer at the end of the deflated data), or a negative zlib result for damaged data: then
// Failed() is true and later reads give it again. Seek: offset 0 from the beginning starts over from
// where the deflated data starts (not from the source's start, which may be an archive's); a
// forward move reads and discards; other moves stay; the result is the bytes produced so far.
// Destruction moves the source back by the input that inflate did not consume, so that the source
// stands right after the deflated data.
class TDecompressStream : public TCustomStream {
 public:
  // Decipher: called on every buffer read from the source before inflating (the traditional ZIP
  // cipher of an encrypted member); may be empty.
  using TDecipher = std::function<void(uint8_t* Buffer, int32_t Count)>;
  TDecompressStream(TStream32& Source, TDecipher Decipher = {});
  ~TDecompressStream() override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  // The deflated data ended (the final block was inflated).
  bool AtStreamEnd() const { return End_; }
  // Inflate reported damaged data; ErrorCode is zlib's (negative).
  bool Failed() const { return Error_ != 0; }
  int ErrorCode() const { return Error_; }
  // The source ran out before the deflated data ended (a truncated member, or a spanned one whose next
  // part is on the next disk); Read then returns what it produced.
  bool InputExhausted() const { return InputExhausted_; }
  // Takes up reading after the source has been replaced at its current position (a spanned member).
  void ContinueFrom(TStream32& Source);

 private:
  void Reset();
  TDecipher Decipher_;
  int64_t StartPosition_ = 0;  // where the deflated data starts in the source
  int64_t Produced_ = 0;
  bool End_ = false;
  bool InputExhausted_ = false;
  int Error_ = 0;
};
