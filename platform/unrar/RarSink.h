// Where UnRar3.so puts an item's decoded data: the caller's callback (testing), a file (extracting), or
// nowhere (an item of a solid archive decoded only so that the next one can be). Never more than Limit
// bytes are taken, and the CRC-32 of everything taken is kept for the check against the stored one.
#pragma once

#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "platform/unrar/UnRarApi.h"

namespace unrar {

struct TSink {
  TRarCallback Callback = nullptr;  // null: the data is not handed on
  void* UserData = nullptr;
  int Fd = -1;
  uint64_t Limit = 0;
  uint64_t Written = 0;
  uint32_t Crc = 0;

  int Put(const void* Data, size_t Size) {
    if (Written + Size > Limit) return RAR_E_BAD_DATA;
    Crc = static_cast<uint32_t>(::crc32(Crc, static_cast<const Bytef*>(Data), static_cast<uInt>(Size)));
    if (Fd >= 0) {
      size_t Done = 0;
      while (Done < Size) {
        const ssize_t N = ::write(Fd, static_cast<const char*>(Data) + Done, Size - Done);
        if (N <= 0) return RAR_E_EWRITE;
        Done += static_cast<size_t>(N);
      }
    }
    Written += Size;
    if (Callback && Size > 0 &&
        Callback(RAR_MSG_PROCESS_DATA, UserData, reinterpret_cast<intptr_t>(Data),
                 static_cast<intptr_t>(Size)) == -1)
      return RAR_E_ABORTED;
    return RAR_SUCCESS;
  }
  // Whether the item came whole: its declared size, and the CRC-32 it was stored with.
  bool Whole(uint32_t StoredCrc) const { return Written == Limit && Crc == StoredCrc; }
};

}  // namespace unrar
