// The decoding libraries' allocations held to what decoding a RAR 2.9-4 item can need.
//
// libunarr and libarchive (3.6) read the length of a filter program's static data from the compressed
// stream, up to 4 GB, and allocate and fill that many bytes before they look at the program: a 125-byte
// archive makes either fill about 1 GB, byte by byte, for seconds. Real static data comes from inside the
// program (64 KB at most), and their other allocations are bounded by the format (a 4 MB window, the
// filter machine's 256 KB, code tables, read buffers) except the PPMd model, whose size (up to 256 MB) the
// stream chooses too; that memory is used only as the model grows with the data decoded, so it costs
// nothing up front.
//
// While a TDecoderMemoryLimit lives on a thread, the allocations either library makes on that thread draw
// on a budget of kDecoderBaseBudget bytes and the item's declared size; a request beyond what is left, or
// one larger than kDecoderBaseBudget, fails (as an allocation failure, which the library reports as a
// failed item) and is recorded. A PPMd model does
// not draw on the budget: the place in each library that allocates models is found once, by handing it a
// tiny PPMd item, and its requests up to 256 MB pass. Where that place cannot be found, requests of a
// model's size (a whole number of megabytes and 16 bytes) pass, two in a scope.
//
// The libraries reach malloc, calloc and realloc through their own table slots (LibrarySlots), which are
// pointed at this unit once; on threads without a limit, and outside one, they pass straight through.
#pragma once

#include <cstdint>

namespace unrar {

constexpr uint64_t kDecoderBaseBudget = 64u << 20;

// Points the libraries' allocation slots here once (later calls do nothing); false when libunarr's were
// not found, in which case nothing is limited in it (libarchive's are set on their own where found).
bool GuardDecoderMemory();

class TDecoderMemoryLimit {
 public:
  // A limit for decoding an item that declares ItemSize bytes.
  explicit TDecoderMemoryLimit(uint64_t ItemSize);
  ~TDecoderMemoryLimit();
  TDecoderMemoryLimit(const TDecoderMemoryLimit&) = delete;
  TDecoderMemoryLimit& operator=(const TDecoderMemoryLimit&) = delete;
  // Whether a request was refused in this scope.
  bool Refused() const;
};

}  // namespace unrar
