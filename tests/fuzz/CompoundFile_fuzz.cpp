// libFuzzer target: any bytes as a compound file; every stream that opens is read to its end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/cfb/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  std::unique_ptr<TCfbStorage> Storage;
  if (CfbOpenStorage(MakeCfbMemorySource(std::string(reinterpret_cast<const char*>(Data), Size)), STGM_READ,
                     Storage) != S_OK) {
    return 0;
  }
  std::vector<char> Buffer(4096);
  for (const std::u16string& Name : Storage->StreamNames()) {
    std::unique_ptr<TCfbStream> Stream;
    if (Storage->OpenStream(Name, STGM_READ, Stream) != S_OK) continue;
    uint32_t Got = 0;
    while (Stream->Read(Buffer.data(), static_cast<uint32_t>(Buffer.size()), &Got) == S_OK && Got > 0) {
    }
  }
  return 0;
}
