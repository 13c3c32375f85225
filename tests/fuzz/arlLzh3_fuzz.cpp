// Fuzz target of the LZ decoders of the ARJ and LHA families, on raw compressed data. Input layout:
//   byte 0     the decoder: 0-4 the static-Huffman decoder with the ARJ, -lh4-, -lh5-, -lh6- and ZOO
//              parameters, 5 the ARJ method-4 decoder, 6 the -lh1- decoder (taken modulo 7)
//   bytes 1-3  the declared uncompressed size, little endian, at most kMaxUnpacked
//   the rest   the compressed data (its size is the packed size)
// What must hold: the sink receives exactly what the decoder says it produced, never more than the
// declared size, and all of it when the decoding succeeds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "archive/arj/arlArjFast.h"
#include "archive/lha/arlLhaPack.h"
#include "archive/lzh/arlLzh3.h"

namespace {

constexpr int32_t kHeaderSize = 4;
constexpr int64_t kMaxUnpacked = 1 << 20;
constexpr TLzh3Params kRows[] = {kLzh3Arj, kLzh3Lh4, kLzh3Lh5, kLzh3Lh6, kLzh3Zoo};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  if (Size < kHeaderSize) return 0;
  const int Decoder = Data[0] % 7;
  const int64_t Unpacked = (Data[1] | (Data[2] << 8) | (Data[3] << 16)) % (kMaxUnpacked + 1);
  const uint8_t* Packed = Data + kHeaderSize;
  const int64_t PackedSize = static_cast<int64_t>(Size) - kHeaderSize;

  int64_t Read = 0;
  const TLzhSource Source = [&](uint8_t* Buffer, int32_t Count) -> int32_t {
    const int32_t N = static_cast<int32_t>(std::min<int64_t>(Count, PackedSize - Read));
    if (N > 0) std::memcpy(Buffer, Packed + Read, N);
    Read += N;
    return N;
  };
  int64_t Received = 0;
  const TLzhSink Sink = [&](const uint8_t*, int32_t Count) { Received += Count; };

  TLzhResult Result;
  int64_t Produced;
  if (Decoder < 5) {
    TLzh3Decoder D(kRows[Decoder]);
    Result = D.Decode(Source, PackedSize, Unpacked, Sink);
    Produced = D.Produced();
  } else if (Decoder == 5) {
    TArjFastDecoder D;
    Result = D.Decode(Source, PackedSize, Unpacked, Sink);
    Produced = D.Produced();
  } else {
    TLhaPackDecoder D;
    Result = D.Decode(Source, PackedSize, Unpacked, Sink);
    Produced = D.Produced();
  }
  if (Received != Produced || Produced > Unpacked) __builtin_trap();
  if (Result == lrOk && Produced != Unpacked) __builtin_trap();
  if (Read > PackedSize) __builtin_trap();
  return 0;
}
