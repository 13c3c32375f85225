// InflateBuffer: raw inflate (zlib, window bits -15, no header) of a whole memory block, for the
// decoders and the program's own compressed resources.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Exception.h"

// Damaged or truncated deflated data: the message names what zlib reported and where.
class EInflateError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EInflateError"; }
};

// The largest output InflateBuffer produces (the system refuses files of 2 GB or more).
inline constexpr int64_t kMaxInflateOutput = INT32_MAX;

// Inflates InSize bytes of InBuf into OutBuf (resized to exactly the bytes produced). The output starts
// at Estimate bytes (0: the smallest multiple of 256 not below InSize) and grows by that step until the
// deflated data ends. Damaged data, data that ends before its final block, and output beyond MaxOut
// raise EInflateError; OutBuf is then empty.
void InflateBuffer(const void* InBuf, int32_t InSize, std::vector<uint8_t>& OutBuf, int32_t Estimate,
                   int64_t MaxOut = kMaxInflateOutput);
