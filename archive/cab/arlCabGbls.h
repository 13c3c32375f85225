// The file routines the cabinet library works through, over the archive library's streams, and the
// exception of a failed cabinet operation.
//
// TCabinetFileHandler is the set of file operations the library is given; TStreamCabinetFileHandler
// implements them with TFileStream32 objects that it owns: a handle is the stream's file descriptor, and
// destroying the handler closes every stream still open. A handle the handler did not open is refused
// (error -1, nothing moved). Used on the main thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "archive/arlStreams.h"
#include "core/Exception.h"

// "Cabinet error %d (type %d)": the library's operation code and its detail.
class ECabinetError : public Exception {
 public:
  ECabinetError(int32_t Code, int32_t Type)
      : Exception("Cabinet error " + std::to_string(Code) + " (type " + std::to_string(Type) + ")"),
        ErrorCode(Code),
        ErrorType(Type) {}
  const char* ClassName() const noexcept override { return "ECabinetError"; }
  int32_t ErrorCode;
  int32_t ErrorType;
};

// Open flags the library may pass.
enum : int32_t {
  cofWrite = 0x0001,      // write only
  cofReadWrite = 0x0002,  // read and write
  cofCreate = 0x0100,     // a new file
  cofExclusive = 0x0400,  // no sharing
  cofBinary = 0x8000,
};

class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  // A handle, or -1 with Error set.
  virtual intptr_t Open(const std::string& Name, int32_t Flags, int32_t Permission, int32_t& Error) = 0;
  // The bytes moved; Error 0 when all Count moved, else the system's error (or -1 for a foreign handle).
  virtual uint32_t Read(intptr_t Handle, void* Buffer, uint32_t Count, int32_t& Error) = 0;
  virtual uint32_t Write(intptr_t Handle, const void* Buffer, uint32_t Count, int32_t& Error) = 0;
  virtual int32_t Close(intptr_t Handle, int32_t& Error) = 0;
  // The new position (-1 when the move failed); Error is set only for a move from the start that did not
  // arrive at Distance.
  virtual int64_t Seek(intptr_t Handle, int64_t Distance, int32_t Origin, int32_t& Error) = 0;
  virtual void Delete(const std::string& Name, int32_t& Error) = 0;
};

class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  intptr_t Open(const std::string& Name, int32_t Flags, int32_t Permission, int32_t& Error) override;
  uint32_t Read(intptr_t Handle, void* Buffer, uint32_t Count, int32_t& Error) override;
  uint32_t Write(intptr_t Handle, const void* Buffer, uint32_t Count, int32_t& Error) override;
  int32_t Close(intptr_t Handle, int32_t& Error) override;
  int64_t Seek(intptr_t Handle, int64_t Distance, int32_t Origin, int32_t& Error) override;
  void Delete(const std::string& Name, int32_t& Error) override;
  // Streams still open.
  size_t OpenCount() const { return Streams_.size(); }

 private:
  TFileStream32* Find(intptr_t Handle);
  std::map<intptr_t, std::unique_ptr<TFileStream32>> Streams_;
};
