// libunarr's allocations held to what decoding an item can need.
//
// libunarr reads the length of a filter program's static data from the compressed stream, up to 4 GB, and
// allocates and fills that many bytes before it looks at the program: a 125-byte archive makes it fill
// about 1 GB, byte by byte, for seconds. Real static data comes from inside the program (64 KB at most),
// and libunarr's other allocations are bounded by the format (a 4 MB window, the filter machine's 256 KB,
// code tables) except the PPMd model, whose size (up to 256 MB) the stream chooses too; that memory is
// used only as the model grows with the data decoded, so it costs nothing up front.
//
// While a TUnarrMemoryLimit lives on a thread, the allocations libunarr makes on that thread draw on a
// budget of kUnarrBaseBudget bytes and the item's declared size; a request beyond what is left fails (as
// an allocation failure, which libunarr reports as a failed item) and is recorded. A PPMd model does not
// draw on the budget: the place in libunarr that allocates models is found once, by handing it a tiny PPMd
// item, and its requests up to 256 MB pass. Where that place cannot be found, requests of a model's size
// (a whole number of megabytes and 16 bytes) pass, two in a scope.
//
// libunarr reaches malloc, calloc and realloc through its own table slots (UnarrSlots), which are pointed
// at this unit once; on threads without a limit, and outside one, they pass straight through.
#pragma once

#include <cstdint>

namespace unrar {

constexpr uint64_t kUnarrBaseBudget = 64u << 20;

// Points libunarr's allocation slots here once (later calls do nothing); false when they were not found,
// in which case nothing is limited.
bool GuardUnarrMemory();

class TUnarrMemoryLimit {
 public:
  // A limit for decoding an item that declares ItemSize bytes.
  explicit TUnarrMemoryLimit(uint64_t ItemSize);
  ~TUnarrMemoryLimit();
  TUnarrMemoryLimit(const TUnarrMemoryLimit&) = delete;
  TUnarrMemoryLimit& operator=(const TUnarrMemoryLimit&) = delete;
  // Whether a request was refused in this scope.
  bool Refused() const;
};

}  // namespace unrar
