// The storage classes of the spreadsheet and presentation plug-ins: an opened compound file (Storage)
// and one stream of it (Stream), over the compound-file reader of platform/cfb. Every failure raises an
// EOleStorage whose message is the fixed English text of the failing call; the end of a stream raises
// Stream_eof, which readers catch by type as the normal end of a document.
//
// Ownership: OpenStorage and Storage::OpenStream hand out owning pointers; a Stream keeps the file's data
// alive on its own, so the order of release does not matter. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Exception.h"

class TCfbStorage;
class TCfbStream;

// A storage or stream call failed; the message is ready to show.
class EOleStorage : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EOleStorage"; }
};

// A read reached the end of the stream before it had all its bytes.
class Stream_eof : public EOleStorage {
 public:
  Stream_eof() : EOleStorage("End of file reached") {}
  const char* ClassName() const noexcept override { return "Stream_eof"; }
};

class Stream {
 public:
  explicit Stream(std::unique_ptr<TCfbStream> Opened);
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Reads exactly Count bytes; fewer raise Stream_eof, a damaged stream "IStream read error".
  void Read(void* Buffer, uint32_t Count);
  // Moves Count bytes forward. The count is unsigned: a skip never moves back, so a reader that skips
  // bodies always comes to the end. Moving beyond the end is allowed; the next Read raises Stream_eof.
  void Skip(uint32_t Count);
  // Moves to the absolute Position (0-based).
  void Seek(uint32_t Position);
  // The stream's size (its low 32 bits).
  uint32_t Size() const;
  // Bytes from the position to the end (0 when the position is beyond it).
  uint64_t Remaining() const;

 private:
  std::unique_ptr<TCfbStream> Stream_;
};

class Storage {
 public:
  explicit Storage(std::unique_ptr<TCfbStorage> Opened);
  ~Storage();
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;

  // Opens the stream Name (case ignored) for reading.
  std::unique_ptr<Stream> OpenStream(const std::u16string& Name);

 private:
  std::unique_ptr<TCfbStorage> Storage_;
};

// Opens the compound file FileName (a path in the system's bytes) for reading.
std::unique_ptr<Storage> OpenStorage(const std::string& FileName);

// Little-endian values read with Stream::Read.
uint8_t ReadStreamUInt8(Stream& S);
uint16_t ReadStreamUInt16(Stream& S);
uint32_t ReadStreamUInt32(Stream& S);
uint64_t ReadStreamUInt64(Stream& S);
