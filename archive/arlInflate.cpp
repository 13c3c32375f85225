#include "archive/arlInflate.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

struct TInflater {
  z_stream Z{};
  TInflater() {
    if (inflateInit2(&Z, -MAX_WBITS) != Z_OK) throw EOutOfMemory();
  }
  ~TInflater() { inflateEnd(&Z); }
};

[[noreturn]] void Fail(const std::string& What, const z_stream& Z, int64_t Produced) {
  throw EInflateError("Inflate error: " + What + " (input byte " + std::to_string(Z.total_in) +
                      ", output byte " + std::to_string(Produced) + ")");
}

}  // namespace

void InflateBuffer(const void* InBuf, int32_t InSize, std::vector<uint8_t>& OutBuf, int32_t Estimate,
                   int64_t MaxOut) {
  OutBuf.clear();
  if (InSize < 0) InSize = 0;
  const int64_t step = std::max<int64_t>((static_cast<int64_t>(InSize) + 255) / 256 * 256, 256);
  int64_t size = std::min<int64_t>(Estimate > 0 ? Estimate : step, MaxOut);
  std::vector<uint8_t> out;
  try {
    out.resize(static_cast<size_t>(std::max<int64_t>(size, 1)));
    TInflater inf;
    z_stream& z = inf.Z;
    z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
    z.avail_in = static_cast<uInt>(InSize);
    int64_t produced = 0;
    for (;;) {
      z.next_out = out.data() + produced;
      z.avail_out = static_cast<uInt>(out.size() - static_cast<size_t>(produced));
      const int r = inflate(&z, Z_FINISH);
      produced = static_cast<int64_t>(out.size()) - z.avail_out;
      if (r == Z_STREAM_END) break;
      if (r == Z_NEED_DICT || r == Z_DATA_ERROR) Fail(z.msg ? z.msg : "damaged data", z, produced);
      if (r == Z_MEM_ERROR) throw EOutOfMemory();
      // Z_BUF_ERROR or Z_OK: either the output is full, or the input ended before the final block.
      if (z.avail_out > 0) Fail("the data ends before its last block", z, produced);
      if (produced >= MaxOut) Fail("the output exceeds its limit", z, produced);
      out.resize(static_cast<size_t>(std::min<int64_t>(produced + step, MaxOut)));
    }
    out.resize(static_cast<size_t>(produced));
    out.shrink_to_fit();
  } catch (...) {
    OutBuf.clear();
    throw;
  }
  OutBuf.swap(out);
}
