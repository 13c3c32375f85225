// File streams: TVFileStream, an unbuffered stream over a file that can be closed to free its descriptor
// and re-opens itself on the next use, and TVBufFileStream, the same with a read-ahead and a write-behind
// buffer for callers that read and write in small pieces.
//
// Open mode (TFileOpenMode), the 16-bit word every constructor takes:
//   bits 0-1  access: 0 read, 1 write, 2 read and write, 3 no access (the size can still be asked)
//   bits 4-7  sharing others may have (none, read, write, both); kept as data, since the system has no
//             mandatory sharing modes
//   0xFFFF    create the file or truncate it to 0 bytes, read and write
// Every other value opens an existing file. A re-open after Close never truncates (0xFFFF becomes 2).
//
// Reads and writes are positional (pread/pwrite at the stream position), so the stream position and the
// file can never drift apart: a refused seek or a failed or short write leaves the position where it was.
// Files of 2 GB or more are refused, since positions are 32-bit. Only regular files are opened: a folder,
// FIFO, socket or device is refused with "Can't open file" (opening a FIFO would block). A stream opened
// at a TFileAt takes the caller's word for the type and size; every open is non-blocking, so a FIFO found
// there instead fails at the first read and never blocks.
//
// Failures raise EVFileStream with ErrorCode (the Windows-style code of the system error, see FileLayer.h)
// and the message "Class <class> (file "<name>"): <text>".
//
// A stream is used by one thread at a time. TVBufFileStream holds written bytes back: call Close (or
// Flush) to learn whether they reached the file. The destructor never throws; output it cannot write is
// reported through ReportLostOutput.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/VStream.h"

using TFileOpenMode = uint16_t;

// The open modes that callers use.
constexpr TFileOpenMode fmOpenRead = 0;
constexpr TFileOpenMode fmOpenWrite = 1;
constexpr TFileOpenMode fmOpenReadWrite = 2;
constexpr TFileOpenMode fmShareDenyWrite = 0x20;
constexpr TFileOpenMode fmCreate = 0xFFFF;

// Largest file a stream accepts: positions are signed 32-bit.
constexpr int64_t kMaxStreamFileSize = INT32_MAX;

class EVFileStream : public EVStream {
 public:
  EVFileStream(const std::string& Message, int32_t Code) : EVStream(Message), ErrorCode(Code) {}
  const char* ClassName() const noexcept override { return "EVFileStream"; }
  int32_t ErrorCode;
};

// Where a destructor reports output it could not write (the message of the failure). The default writes
// a line to standard error; a program or a test may install its own. Not thread-safe to change.
using TLostOutputHandler = std::function<void(const std::string& Message)>;
void SetLostOutputHandler(TLostOutputHandler Handler);
void ReportLostOutput(const std::string& Message);

// A file the caller has just found and looked at: a descriptor of the folder it lies in (a
// TFolderListing's), its name there, and the size the caller saw, which also vouches that it is a regular
// file. A stream given one opens the file relative to the folder with one call and asks neither its type
// nor its size again. The folder must stay open only while the stream is made: a re-open after Close
// uses the stream's full name.
// Fd, when not -1, is the file already opened there (read-only, non-blocking) and looked at by the caller:
// the stream takes the descriptor over instead of opening the file, and closes it (also when its
// constructor raises).
struct TFileAt {
  int DirFd = -1;
  std::string Name;
  int64_t Size = -1;
  int Fd = -1;
};

class TVFileStream : public TVStream {
 public:
  // Opens (or, with fmCreate, creates) the file and asks its size, so a file of 2 GB or more fails here.
  // An 8-bit FileName is UTF-8; a UTF-16 one is kept as given and converted for the system.
  TVFileStream(const std::string& FileName, TFileOpenMode Mode);
  TVFileStream(const std::u16string& FileName, TFileOpenMode Mode);
  // Opens the existing file FileName where At says it is, with the size At gives (fmCreate ignores At).
  TVFileStream(const std::u16string& FileName, TFileOpenMode Mode, const TFileAt& At);
  ~TVFileStream() override;
  const char* ClassName() const override { return "TVFileStream"; }

  int32_t GetPosition() override { return Position_; }
  // The size as last seen; asked again (re-opening a closed stream) when unknown.
  int32_t GetSize() override;
  // Cuts or extends the file; "Set size error" on failure or for a negative size.
  void SetSize(int32_t NewSize) override;
  // Outside 0..size: "seek error (<Pos>)", position unchanged.
  void Seek(int32_t Pos) override;
  // Writes all Count bytes at the position or raises "File write error" (position unchanged).
  void Write(const void* Buf, int32_t Count) override;
  // "File read error" on failure; a short read at the end is no failure. The Filter is applied.
  int32_t Read(void* Buf, int32_t Count) override;

  // Releases the descriptor; the position stays, so the next operation re-opens the file there.
  virtual void Close();
  // Asks the system to write its buffers to the disk; false when that failed or the stream is closed.
  virtual bool Flush();

  // The name as given, in UTF-8 or converted to UTF-16.
  std::string GetFileName() const;
  std::u16string GetWideFileName() const;
  TFileOpenMode GetMode() const { return Mode_; }
  bool IsOpen() const { return Handle_ >= 0; }
  // The descriptor while open (-1 when closed), for looking at the open file; the stream keeps it.
  int Handle() const { return Handle_; }

 protected:
  struct TBare {};
  // A stream with no name and no file, for descendants that open something else.
  explicit TVFileStream(TBare) {}
  // Opens the named file, or the one At gives (the constructors' work); closes what it opened when it
  // raises.
  void OpenAtCreation(const TFileAt* At = nullptr);

  // Raises EVFileStream with ErrorCode = the code of ErrnoValue.
  [[noreturn]] void FileError(const std::string& Text, int ErrnoValue) const;
  // Re-opens a closed stream (never truncating) and re-reads its size.
  void EnsureOpen();
  // The file layer's calls at an absolute offset, looping over partial transfers; the bytes moved, or -1
  // with errno set (Done then holds the bytes moved before the failure).
  int64_t ReadAt(int64_t Offset, void* Buf, int64_t Count);
  int64_t WriteAt(int64_t Offset, const void* Buf, int64_t Count, int64_t& Done);
  // The file's size from the system; "File is too large (>= 2Gb)" beyond 31 bits.
  int32_t AskSize();
  // FileSize, or "File is too large (>= 2Gb)" beyond 31 bits.
  int32_t CheckedSize(int64_t FileSize) const;
  // Cuts or extends the open file; "Set size error".
  void TruncateTo(int32_t NewSize);
  void ReleaseHandle();

  TFileOpenMode Mode_ = 0;
  std::string FileName_;         // UTF-8
  std::u16string WideFileName_;  // set instead of FileName by CreateW
  int Handle_ = -1;
  int32_t Position_ = 0;
  int32_t Size_ = -1;

 private:
  // Opens the file (at At when given) into Handle and answers its size; raises "Can't open file" or
  // "Can't create file".
  int64_t Open(TFileOpenMode OpenMode, const TFileAt* At = nullptr);
};

class TVBufFileStream : public TVFileStream {
 public:
  static constexpr int32_t kDefaultBufferSize = 32768;

  TVBufFileStream(const std::string& FileName, TFileOpenMode Mode);
  TVBufFileStream(const std::u16string& FileName, TFileOpenMode Mode);
  // With buffers of BufferSize bytes; <= 0: "Error in parameters".
  TVBufFileStream(const std::u16string& FileName, int32_t BufferSize, TFileOpenMode Mode);
  // The same, opening the existing file where At says it is (see TFileAt).
  TVBufFileStream(const std::u16string& FileName, int32_t BufferSize, TFileOpenMode Mode, const TFileAt& At);
  // Writes what waits; failures are reported through ReportLostOutput, never thrown.
  ~TVBufFileStream() override;
  const char* ClassName() const override { return "TVBufFileStream"; }

  int32_t GetPosition() override { return BufPos_; }
  // The file's size, or the end of the waiting bytes when they reach further.
  int32_t GetSize() override;
  void SetSize(int32_t NewSize) override;
  // Outside 0..size: "seek error (<Pos>)"; otherwise only the logical position changes.
  void Seek(int32_t Pos) override;
  void Write(const void* Buf, int32_t Count) override;
  int32_t Read(void* Buf, int32_t Count) override;
  // Writes the waiting bytes, then releases the descriptor. When the bytes cannot be written the
  // descriptor is still released, the bytes are dropped, and the failure is raised.
  void Close() override;
  // Writes the waiting bytes (raising on failure), then flushes the system's buffers.
  bool Flush() override;

  // Size of each buffer; <= 0: "Error in parameters". Only while no write buffer exists.
  void SetBufferSize(int32_t NewSize);
  // Writes the waiting bytes; on failure they stay waiting and the failure is raised.
  void FlushWriteBuffer();
  void FreeWriteBuffer();
  int32_t GetBufferSize() const { return BufferSize_; }

 private:
  void EmptyReadBuffer() { ReadBufLen_ = 0; }
  // Reads the file at Offset until Count bytes came or the file ended; raises "File read error".
  int32_t ReadFile(int64_t Offset, void* Buf, int32_t Count);
  void WriteFile(int64_t Offset, const void* Buf, int32_t Count);

  int32_t BufPos_ = 0;       // the logical position
  int32_t ReadBufPos_ = 0;   // file offset of ReadBuf[0]
  int32_t WriteBufPos_ = 0;  // file offset of WriteBuf[0]
  int32_t BufferSize_ = kDefaultBufferSize;
  int32_t ReadBufAlloc_ = 0;
  int32_t ReadBufLen_ = 0;   // valid bytes in ReadBuf
  int32_t WriteBufLen_ = 0;  // bytes waiting in WriteBuf
  std::unique_ptr<uint8_t[]> ReadBuf_;
  std::unique_ptr<uint8_t[]> WriteBuf_;
};
