#include "platform/unrar/DecoderMemory.h"

#include <archive.h>
#include <archive_entry.h>
#include <unarr.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/unrar/LibrarySlots.h"
#include "platform/unrar/RarBlocks.h"

namespace unrar {

namespace {

constexpr size_t kMegabyte = size_t(1) << 20;
constexpr size_t kModelExtra = 16;  // what the PPMd allocator adds to a model's size
constexpr size_t kLargestModel = 256 * kMegabyte + kModelExtra;
constexpr int kShapedModelsInScope = 2;

struct TScope {
  bool Active = false;
  uint64_t Left = 0;
  bool Refused = false;
  int ShapedLeft = 0;
  // Finding the model's place: the return address of a request of exactly Observed bytes.
  size_t Observed = 0;
  void* Caller = nullptr;
};
// The scope lives in the static TLS block: the dynamic TLS of a library loaded at run time leaves entries
// that the leak checker of the sanitized test build trips over when the process ends (as in cabinet.so).
thread_local TScope Scope __attribute__((tls_model("initial-exec")));

// Where libunarr and libarchive allocate PPMd models (null while not found).
std::atomic<void*> UnarrModelSite{nullptr};
std::atomic<void*> ArchiveModelSite{nullptr};

bool ModelSized(size_t Size) {
  return Size > kModelExtra && Size <= kLargestModel && (Size - kModelExtra) % kMegabyte == 0;
}

// Whether a request of Size bytes from Caller may be made; draws on the scope's budget.
bool Admit(size_t Size, void* Caller) {
  TScope& S = Scope;
  if (S.Observed != 0 && Size == S.Observed) S.Caller = Caller;
  if (!S.Active) return true;
  void* const Unarr = UnarrModelSite.load(std::memory_order_relaxed);
  void* const Archive = ArchiveModelSite.load(std::memory_order_relaxed);
  if (Caller && (Caller == Unarr || Caller == Archive) && Size <= kLargestModel) return true;
  if ((!Unarr || !Archive) && ModelSized(Size) && S.ShapedLeft > 0) {
    --S.ShapedLeft;
    return true;
  }
  // No request of the format's own (a window, tables, the filter machine) comes near the base budget:
  // one beyond it is refused whatever the item declares, since the declared size is the archive's word.
  if (Size > S.Left || Size > kDecoderBaseBudget) {
    S.Refused = true;
    errno = ENOMEM;
    return false;
  }
  S.Left -= Size;
  return true;
}

void* LimitedMalloc(size_t Size) {
  return Admit(Size, __builtin_return_address(0)) ? std::malloc(Size) : nullptr;
}

void* LimitedCalloc(size_t Count, size_t Size) {
  size_t Total = 0;
  if (__builtin_mul_overflow(Count, Size, &Total)) Total = SIZE_MAX;
  return Admit(Total, __builtin_return_address(0)) ? std::calloc(Count, Size) : nullptr;
}

void* LimitedRealloc(void* Block, size_t Size) {
  return Admit(Size, __builtin_return_address(0)) ? std::realloc(Block, Size) : nullptr;
}

// A RAR 2.9 archive of one item whose data opens a PPMd block with a 1 MB model: decoding it makes a
// library allocate that model, and so shows where it does so.
std::vector<uint8_t> ModelProbe() {
  std::vector<uint8_t> A = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  std::vector<uint8_t> Main = {0, 0, btMain, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0};
  SetHeaderCrc(Main);
  A.insert(A.end(), Main.begin(), Main.end());
  constexpr uint8_t kPacked = 16;
  std::vector<uint8_t> File = {
      0,       0,    btFile, 0x00, 0x80, 33, 0,           // block header, a long block
      kPacked, 0,    0,      0,    1,    0,  0, 0,        // packed and unpacked size
      0,       0,    0,      0,    0,    0,  0, 0x21, 0,  // host, CRC, time (1980-01-01)
      29,      0x33, 1,      0,    0x20, 0,  0, 0,    'x'};
  SetHeaderCrc(File);
  A.insert(A.end(), File.begin(), File.end());
  // A PPMd block (the top bit), a new model (0x20) of order 6, its size in megabytes less one.
  std::vector<uint8_t> Data(kPacked, 0);
  Data[0] = 0x80 | 0x20 | 0x05;
  A.insert(A.end(), Data.begin(), Data.end());
  return A;
}

// The return address of the model's allocation while Decode runs; null when none was seen.
template <class TDecode>
void* ModelSiteOf(TDecode Decode) {
  Scope.Observed = kMegabyte + kModelExtra;
  Scope.Caller = nullptr;
  Decode();
  Scope.Observed = 0;
  return Scope.Caller;
}

void FindUnarrModelSite(const std::vector<uint8_t>& Probe) {
  ar_stream* Stream = ar_open_memory(Probe.data(), Probe.size());
  if (!Stream) return;
  ar_archive* Archive = ar_open_rar_archive(Stream);
  if (Archive && ar_parse_entry(Archive)) {
    UnarrModelSite.store(ModelSiteOf([Archive] {
                           uint8_t Byte = 0;
                           ar_entry_uncompress(Archive, &Byte, 1);
                         }),
                         std::memory_order_relaxed);
  }
  if (Archive) ar_close_archive(Archive);
  ar_close(Stream);
}

void FindArchiveModelSite(const std::vector<uint8_t>& Probe) {
  struct archive* Ar = archive_read_new();
  if (!Ar) return;
  archive_read_support_format_rar(Ar);
  struct archive_entry* Entry = nullptr;
  if (archive_read_open_memory(Ar, Probe.data(), Probe.size()) == ARCHIVE_OK &&
      archive_read_next_header(Ar, &Entry) == ARCHIVE_OK) {
    ArchiveModelSite.store(ModelSiteOf([Ar] {
                             uint8_t Byte = 0;
                             archive_read_data(Ar, &Byte, 1);
                           }),
                           std::memory_order_relaxed);
  }
  archive_read_free(Ar);
}

// Points the allocation slots of the library that holds Code here: every slot is checked before any is
// changed, so that only slots bound to the functions this program calls are pointed elsewhere, and then
// all of them.
bool LimitLibrary(const void* Code) {
  struct TSlot {
    const char* Name;
    void* Real;
    void* Limited;
  };
  const TSlot Wanted[] = {
      {"malloc", reinterpret_cast<void*>(&std::malloc), reinterpret_cast<void*>(&LimitedMalloc)},
      {"calloc", reinterpret_cast<void*>(&std::calloc), reinterpret_cast<void*>(&LimitedCalloc)},
      {"realloc", reinterpret_cast<void*>(&std::realloc), reinterpret_cast<void*>(&LimitedRealloc)},
  };
  std::vector<std::pair<void**, void*>> Changes;
  for (const TSlot& W : Wanted) {
    for (void** Slot : LibrarySlots(Code, W.Name)) {
      if (*Slot != W.Real) return false;
      Changes.push_back({Slot, W.Limited});
    }
  }
  if (Changes.empty()) return false;
  for (const auto& [Slot, Value] : Changes)
    if (!SetLibrarySlot(Code, Slot, Value)) return false;
  return true;
}

bool Install() {
  const std::vector<uint8_t> Probe = ModelProbe();
  if (LimitLibrary(reinterpret_cast<const void*>(&archive_read_new))) FindArchiveModelSite(Probe);
  if (!LimitLibrary(reinterpret_cast<const void*>(&ar_open_rar_archive))) return false;
  FindUnarrModelSite(Probe);
  return true;
}

}  // namespace

bool GuardDecoderMemory() {
  static std::once_flag Once;
  static bool Done = false;
  std::call_once(Once, [] { Done = Install(); });
  return Done;
}

TDecoderMemoryLimit::TDecoderMemoryLimit(uint64_t ItemSize) {
  Scope.Active = true;
  Scope.Refused = false;
  Scope.ShapedLeft = kShapedModelsInScope;
  Scope.Left = ItemSize > UINT64_MAX - kDecoderBaseBudget ? UINT64_MAX : kDecoderBaseBudget + ItemSize;
}

TDecoderMemoryLimit::~TDecoderMemoryLimit() { Scope.Active = false; }

bool TDecoderMemoryLimit::Refused() const { return Scope.Refused; }

}  // namespace unrar
