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
  const int64_t Step = std::max<int64_t>((static_cast<int64_t>(InSize) + 255) / 256 * 256, 256);
  int64_t Size = std::min<int64_t>(Estimate > 0 ? Estimate : Step, MaxOut);
  std::vector<uint8_t> Out;
  try {
    Out.resize(static_cast<size_t>(std::max<int64_t>(Size, 1)));
    TInflater Inf;
    z_stream& Z = Inf.Z;
    Z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
    Z.avail_in = static_cast<uInt>(InSize);
    int64_t Produced = 0;
    for (;;) {
      Z.next_out = Out.data() + Produced;
      Z.avail_out = static_cast<uInt>(Out.size() - static_cast<size_t>(Produced));
      const int R = inflate(&Z, Z_FINISH);
      Produced = static_cast<int64_t>(Out.size()) - Z.avail_out;
      if (R == Z_STREAM_END) break;
      if (R == Z_NEED_DICT || R == Z_DATA_ERROR) Fail(Z.msg ? Z.msg : "damaged data", Z, Produced);
      if (R == Z_MEM_ERROR) throw EOutOfMemory();
      // Z_BUF_ERROR or Z_OK: either the output is full, or the input ended before the final block.
      if (Z.avail_out > 0) Fail("the data ends before its last block", Z, Produced);
      if (Produced >= MaxOut) Fail("the output exceeds its limit", Z, Produced);
      Out.resize(static_cast<size_t>(std::min<int64_t>(Produced + Step, MaxOut)));
    }
    Out.resize(static_cast<size_t>(Produced));
    Out.shrink_to_fit();
  } catch (...) {
    OutBuf.clear();
    throw;
  }
  OutBuf.swap(Out);
}
