// Fuzz target of UnRar3.so's reading: any bytes as an archive file (RAR 1.5-4 or RAR 5, plain or behind a
// program), walked for its headers and, when no item declares more than kLargestDecoded bytes, opened for
// extraction with every item tested in one walk (libunarr, libarchive and the solid-archive skipping). The
// promises: no item hands over more bytes than its header declares, a walk ends, and a missing further
// volume is asked for only a few times.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unrar/UnRarApi.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" {
void* RAROpenArchive(TRarOpenData* Data);
int RARCloseArchive(void* Handle);
int RARReadHeaderEx(void* Handle, TRarHeaderDataEx* Header);
int RARProcessFile(void* Handle, int Operation, const char* DestPath, const char* DestName);
void RARSetCallback(void* Handle, TRarCallback Callback, void* UserData);
}

namespace {

constexpr uint64_t kLargestDecoded = 4u << 20;

struct TState {
  uint64_t Delivered = 0;
  int VolumeAsks = 0;
};

int Callback(uint32_t Msg, void* User, intptr_t, intptr_t P2) {
  auto* S = static_cast<TState*>(User);
  if (Msg == RAR_MSG_CHANGE_VOLUME) {
    if (P2 != 0) return 1;
    ++S->VolumeAsks;
    return -1;  // no further volume is there
  }
  S->Delivered += static_cast<uint64_t>(P2);
  return 1;
}

// One walk over the archive: false when it cannot be opened. Largest := the largest declared item.
bool Walk(const std::string& Name, uint32_t Mode, std::size_t Size, uint64_t& Largest) {
  TRarOpenData Open{};
  Open.ArcName = Name.c_str();
  Open.OpenMode = Mode;
  void* H = RAROpenArchive(&Open);
  if (!H) return false;
  TState State;
  RARSetCallback(H, Callback, &State);
  for (std::size_t Steps = 0;; ++Steps) {
    if (Steps > Size + 1) __builtin_trap();  // more items than the file has bytes
    TRarHeaderDataEx Header{};
    if (RARReadHeaderEx(H, &Header) != RAR_SUCCESS) break;
    const uint64_t Declared = (static_cast<uint64_t>(Header.UnpSizeHigh) << 32) | Header.UnpSize;
    Largest = std::max(Largest, Declared);
    State.Delivered = 0;
    RARProcessFile(H, Mode == RAR_OM_LIST ? RAR_SKIP : RAR_TEST, nullptr, nullptr);
    if (State.Delivered > Declared) __builtin_trap();
  }
  if (State.VolumeAsks > 8) __builtin_trap();
  RARCloseArchive(H);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Name = fuzztest::WriteTempFile("archive.rar", fuzztest::Input(Data, Size));
  uint64_t Largest = 0;
  if (!Walk(Name, RAR_OM_LIST, Size, Largest) || Largest > kLargestDecoded) return 0;
  Walk(Name, RAR_OM_EXTRACT, Size, Largest);
  return 0;
}
