// Fuzz target of the RAR block walk of UnRar3.so: any bytes as a volume file, its start found and its file
// headers walked to the end of the volume (for RAR 5, the walk over its headers). Every step must move
// forward, so that no chain of blocks can walk in a circle; a broken block ends the walk.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unrar/RarBlocks.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  unrar::TVolume Volume;
  if (!Volume.Open(fuzztest::WriteTempFile("archive.rar", fuzztest::Input(Data, Size)))) __builtin_trap();
  uint16_t MainFlags = 0;
  int64_t Pos = 0;
  const unrar::TOpenResult Start = unrar::ReadArchiveStart(Volume, MainFlags, Pos);
  if (Start == unrar::orRar5) {
    // The RAR 5 header walk: it ends, and finds no more encrypted names than the file has bytes.
    unrar::TRar5Start Rar5;
    unrar::ReadRar5Start(Volume, Pos, Rar5);
    if (Rar5.EncryptedNames.size() > Size) __builtin_trap();
    return 0;
  }
  if (Start != unrar::orOk) return 0;
  // Each file header takes at least a block header's bytes.
  for (std::size_t Steps = 0;; ++Steps) {
    if (Steps > Size / unrar::kBlockHeaderSize + 1) __builtin_trap();  // more headers than the file can hold
    const int64_t Before = Pos;
    unrar::TFileHeader Header;
    bool NextVolume = false, EndBlockSeen = false;
    if (unrar::NextFileHeader(Volume, Pos, Header, NextVolume, EndBlockSeen) != unrar::brFile) break;
    if (Pos <= Before || Header.HeaderPos < Before || Header.DataPos < Header.HeaderPos) __builtin_trap();
  }
  unrar::NextVolumeFileName(Volume.Name, (MainFlags & unrar::mfNewNumbering) != 0);
  return 0;
}
