// Compound-file helpers in the style of the system's COM calls, for readers that work with the
// compound-file reader's result codes directly (the Word document reader): a result code that is not
// S_OK becomes an EComError, and two stream routines check theirs.
#pragma once

#include <cstdint>

#include "core/Exception.h"
#include "platform/cfb/CompoundFile.h"

// A compound-file call failed. ErrorCode is its result code; the message is the platform's text for a
// failing code when it has one, else "OLE/COM error %.8xh" with the code in eight hexadecimal digits.
class EComError : public Exception {
 public:
  explicit EComError(HRESULT Code);
  const char* ClassName() const noexcept override { return "EComError"; }
  HRESULT ErrorCode;
};

// Raises EComError(HResult) for every result other than S_OK, the success code S_FALSE (1) included.
void ComCheck(HRESULT HResult);
// Reads exactly Count bytes: a failing read raises its code, fewer bytes raise EComError(1).
void ReadOleStreamExact(TCfbStream& Stream, void* Buffer, uint32_t Count);
// Moves to Position bytes from the start of the stream.
void SeekOleStream(TCfbStream& Stream, int64_t Position);
