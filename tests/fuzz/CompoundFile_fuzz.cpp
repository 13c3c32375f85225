// libFuzzer target: any bytes as a compound file; every stream that opens is read to its end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/cfb/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  std::unique_ptr<TCfbStorage> storage;
  if (CfbOpenStorage(MakeCfbMemorySource(std::string(reinterpret_cast<const char*>(Data), Size)), STGM_READ,
                     storage) != S_OK) {
    return 0;
  }
  std::vector<char> buffer(4096);
  for (const std::u16string& name : storage->StreamNames()) {
    std::unique_ptr<TCfbStream> stream;
    if (storage->OpenStream(name, STGM_READ, stream) != S_OK) continue;
    uint32_t got = 0;
    while (stream->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got) == S_OK && got > 0) {
    }
  }
  return 0;
}
