// Byte streams: the abstract TVStream with typed little-endian reads and writes, length-prefixed 8-bit and
// UTF-16 strings, copying and a forward byte search; memory streams (heap, caller's block, handed-over
// block); adapter streams over an inner stream (a window of it, a byte reader with a small buffer); and read
// filters that change the bytes a stream has just read. Every persistent format of the system is written
// and read through these classes, so the byte layout below is binding:
//   Byte, Bool     1 byte (a Bool is written as a byte, read as byte <> 0)
//   Int16, Int32   2 / 4 bytes, little endian
//   String         Int32 byte count, then the bytes, no terminator
//   WideString     Int32 count of UTF-16 code units, then 2 bytes per unit, low byte first
// Positions, sizes and counts are signed 32-bit: a stream never holds more than 2 147 483 647 bytes.
//
// Failures raise EVStream with the message "Class " + class name + ":" CR LF + text. A stream is used by
// one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "core/WideFormat.h"

class TVStream;

// The exception of every stream. Its message is complete when made (see TVStream::Error).
class EVStream : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EVStream"; }
};

// Changes, in place, Count bytes that Stream has just read into Buf. A stream does not own its filter;
// one filter object may serve many streams.
class TReadFilter {
 public:
  virtual ~TReadFilter() = default;
  virtual void Apply(TVStream* Stream, void* Buf, int32_t Count) = 0;
};

// Reads UTF-16BE as UTF-16LE: swaps the two bytes of every complete pair of each buffer read; an odd last
// byte stays. A reader therefore reads even lengths from even positions. Next, when set, is applied first
// (not owned).
class TBigEndianFilter : public TReadFilter {
 public:
  explicit TBigEndianFilter(TReadFilter* Next = nullptr) : Next(Next) {}
  void Apply(TVStream* Stream, void* Buf, int32_t Count) override;
  TReadFilter* Next;
};

// Upper-cases ASCII: bytes "a" to "z" become "A" to "Z"; all other bytes stay. Next is applied first.
class TUpperCaseFilter : public TReadFilter {
 public:
  explicit TUpperCaseFilter(TReadFilter* Next = nullptr) : Next(Next) {}
  void Apply(TVStream* Stream, void* Buf, int32_t Count) override;
  TReadFilter* Next;
};

class TVStream {
 public:
  TVStream() = default;
  TVStream(const TVStream&) = delete;
  TVStream& operator=(const TVStream&) = delete;
  virtual ~TVStream() = default;

  virtual const char* ClassName() const { return "TVStream"; }

  virtual int32_t GetPosition() = 0;
  virtual int32_t GetSize() = 0;
  virtual void SetSize(int32_t NewSize) = 0;
  // Moves to the absolute position Pos.
  virtual void Seek(int32_t Pos) = 0;
  // GetPosition() >= GetSize().
  virtual bool Eof();
  // Writes all Count bytes or raises; nothing for Count <= 0.
  virtual void Write(const void* Buf, int32_t Count) = 0;
  // Returns the bytes read: fewer than Count only at the end of the data; 0 for Count <= 0. Never raises at
  // the end. The Filter, when set, is applied to the bytes read.
  virtual int32_t Read(void* Buf, int32_t Count) = 0;
  // Searches forward from the position, reading at most MaxBytes bytes, for the PatLen bytes of Pattern.
  // Found: the position moves to the first byte of the match, true. Not found (or PatLen < 1): false and
  // the position is unchanged. A match that straddles two internal reads is found. The internal reads have
  // even lengths (except a last odd byte allowed by MaxBytes).
  virtual bool FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes);

  // Read, raising "Read after end error" when fewer than Count bytes came (those that came are consumed).
  void ReadBuffer(void* Buf, int32_t Count);
  void WriteByte(uint8_t B);
  uint8_t ReadByte();
  bool ReadBool();
  void WriteInt16(int16_t V);
  int16_t ReadInt16();
  void WriteInt32(int32_t V);
  int32_t ReadInt32();
  void WriteString(const std::string& S);
  // Raises "Read after end error" before allocating when the stored count is negative or larger than the
  // bytes left.
  std::string ReadString();
  // The bytes of S only, no count.
  void WriteText(const std::string& S);
  // WriteText (S), then CR LF.
  void WriteLine(const std::string& S);
  // Count bytes; "Read after end error" when Count is negative or more than the bytes left.
  std::string ReadChars(int32_t Count);
  void WriteWideString(const std::u16string& S);
  std::u16string ReadWideString();
  // The UTF-16LE code units of S only, no count.
  void WriteWideText(const std::u16string& S);
  // Seek (GetPosition + Count).
  void Skip(int32_t Count);
  // Copies up to Count bytes from the position to Dest's position; returns the bytes copied.
  int32_t CopyBytesTo(TVStream& Dest, int32_t Count);
  // The copy loop through the caller's buffer Buf of BufSize bytes.
  int32_t CopyBytesWithBuffer(TVStream& Dest, int32_t Count, int32_t BufSize, void* Buf);
  // Dest.Seek (Dest.GetSize), then CopyBytesTo.
  int32_t AppendBytesTo(TVStream& Dest, int32_t Count);
  // Seek (0), then appends the whole stream to the end of Dest; "Stream error" when fewer bytes came.
  void AppendToStream(TVStream& Dest);
  // Dest.SetSize (0), then AppendToStream (Dest).
  void SaveToStream(TVStream& Dest);
  // FindBytes with the bytes of S.
  bool FindString(const std::string& S, int32_t MaxBytes);

  // Raises EVStream with "Class " + ClassName() + ":" CR LF + FormatIfPercent (Msg, Args).
  [[noreturn]] void Error(const std::string& Msg, const TFormatArgs& Args = {}) const;

  // Applied to the bytes Read delivers; nullptr means none. Not owned.
  TReadFilter* Filter = nullptr;
};

// A stream over one contiguous memory block. Invariant: 0 <= Position <= Size <= Capacity (a read-only
// stream keeps Capacity 0). The block is allocated with std::realloc and freed when the size goes to 0.
class TVBaseMemStream : public TVStream {
 public:
  TVBaseMemStream() = default;
  ~TVBaseMemStream() override;
  const char* ClassName() const override { return "TVBaseMemStream"; }

  int32_t GetPosition() override { return Position_; }
  int32_t GetSize() override { return Size_; }
  // Capacity follows the size down as well as up; SetSize (0) frees the block. Negative: "Error in
  // parameters".
  void SetSize(int32_t NewSize) override;
  // Outside 0..Size: "Seek error (%d)".
  void Seek(int32_t Pos) override;
  // Grows the block first (16 bytes, then by a quarter, beyond 1 MB by an eighth plus 128 KB); a failed
  // growth leaves the stream as it was.
  void Write(const void* Buf, int32_t Count) override;
  int32_t Read(void* Buf, int32_t Count) override;
  bool FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes) override;
  // Reallocates the block to N raised to a multiple of 4, keeping the content up to the smaller size;
  // 0 frees it. Negative or too large: "Error in parameters"; below the size: "Set size error"; no memory:
  // EOutOfMemory, stream unchanged.
  virtual void SetCapacity(int32_t N);

  // Reserves room without changing the size; below the size: "Set size error".
  void ResizeBuffer(int32_t N);
  uint8_t* GetMemory() const { return Memory_; }
  int32_t GetCapacity() const { return Capacity_; }

 protected:
  uint8_t* Memory_ = nullptr;
  int32_t Position_ = 0;
  int32_t Size_ = 0;
  int32_t Capacity_ = 0;
};

// The ordinary growable heap stream.
class TVMemStream : public TVBaseMemStream {
 public:
  const char* ClassName() const override { return "TVMemStream"; }
};

// A read-only view of a block that the caller owns and keeps alive as long as the stream. The block is
// never written, reallocated or freed by the stream.
class TVReadOnlyMemStream : public TVMemStream {
 public:
  // A negative Size: "Error in parameters".
  TVReadOnlyMemStream(const void* Data, int32_t Size);
  ~TVReadOnlyMemStream() override;
  const char* ClassName() const override { return "TVReadOnlyMemStream"; }
  // "Method not applicable" while a block is attached; nothing without one.
  void SetSize(int32_t NewSize) override;
  // Always "Method not applicable".
  void Write(const void* Buf, int32_t Count) override;
  // "Method not applicable" while a block is attached (the block is not the stream's to reallocate).
  void SetCapacity(int32_t N) override;
};

// A memory stream whose block can be handed over to a new owner (the clipboard, a receiver across a
// library boundary) with ReleaseHandle. The handle is the block's address, a block from std::malloc that
// its new owner frees with std::free. Capacity follows requests exactly (no multiple of 4).
class TGMEMStream : public TVBaseMemStream {
 public:
  // AllocFlags are kept as data (the allocation flags of the handed-over block, e.g. 0x2002).
  TGMEMStream(int32_t InitialCapacity, uint32_t AllocFlags);
  const char* ClassName() const override { return "TGMEMStream"; }
  // Negative: "Error in parameters"; below the size: "Set size error"; no memory: EWin32Error, stream
  // unchanged; after ReleaseHandle: "Method not applicable".
  void SetCapacity(int32_t N) override;
  // Hands the block to the caller and returns Capacity; the stream forgets the block (Capacity 0, Size and
  // Position unchanged) and is then only destroyed: it reads nothing and refuses to grow.
  int32_t ReleaseHandle(void*& Handle);
  void* GetHandle() const { return Memory_; }
  uint32_t AllocFlags;

 private:
  bool Released_ = false;
};

// Forwards every operation to the inner Stream; its own Filter is not applied (the inner stream's is).
// Stream must outlive this object unless OwnsStream, in which case it is deleted with it.
class TVStreamOnStream : public TVStream {
 public:
  TVStreamOnStream(TVStream* Stream, bool OwnsStream);
  ~TVStreamOnStream() override;
  const char* ClassName() const override { return "TVStreamOnStream"; }
  int32_t GetPosition() override;
  int32_t GetSize() override;
  void SetSize(int32_t NewSize) override;
  void Seek(int32_t Pos) override;
  bool Eof() override;
  void Write(const void* Buf, int32_t Count) override;
  int32_t Read(void* Buf, int32_t Count) override;

  TVStream* Stream;
  bool OwnsStream;
};

// The window [Offset, Offset + Length) of the inner stream, seen as a stream whose positions start at 0.
// Reads stop at the window's end; a write past it raises "Error in parameters"; SetSize raises "Method not
// implemented". This stream's Filter is applied after the inner stream's.
class TVLimitedStream : public TVStreamOnStream {
 public:
  TVLimitedStream(TVStream* Stream, int32_t Offset, int32_t Length, bool OwnsStream);
  const char* ClassName() const override { return "TVLimitedStream"; }
  // Stores the window and seeks to window position 0.
  void SetLimits(int32_t Offset, int32_t Length);
  int32_t GetPosition() override;
  int32_t GetSize() override { return Length; }
  void SetSize(int32_t NewSize) override;
  void Seek(int32_t Pos) override;
  bool Eof() override;
  void Write(const void* Buf, int32_t Count) override;
  int32_t Read(void* Buf, int32_t Count) override;

  int32_t Offset = 0;
  int32_t Length = 0;
};

// Byte-by-byte reading through a 512-byte buffer. Read, Write, GetSize and SetSize go to the inner stream
// and do not see the buffer, so a reader that mixes them with ReadChar calls Seek first.
class TVCharStreamOnStream : public TVStreamOnStream {
 public:
  static constexpr int32_t kBufferSize = 512;
  using TVStreamOnStream::TVStreamOnStream;
  const char* ClassName() const override { return "TVCharStreamOnStream"; }
  // The next byte; "Read after end error" at the end.
  char ReadChar();
  int32_t GetPosition() override;
  void Seek(int32_t Pos) override;
  bool Eof() override;

 private:
  char Buffer_[kBufferSize];
  int32_t Next_ = 0;  // index of the next unread byte
  int32_t End_ = 0;   // index past the last valid byte
};
