// Fuzz target of the reader of TAR archives: any bytes as an archive file, tested, extracted into memory
// and extracted into a folder (see ArchiveFuzz.h for what must hold); then read once more as a
// forward-only stream (the TAR of a .tar.gz), which must give the very items the file gives.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "archive/arlForwardStream.h"
#include "archive/tar/arlUnTar.h"
#include "tests/fuzz/ArchiveFuzz.h"

namespace {

// The items of a run into memory: name and bytes of each, in order.
std::string ItemsOf(TUnBase& Reader, TStream32* Forward) {
  TDecompMemoryStream Memory;
  Reader.FileSpec = {"*.*"};
  Reader.ForwardInput = Forward;
  Reader.ExtractToMemoryStream(&Memory);
  Reader.ForwardInput = nullptr;
  std::string Out;
  for (const TDecompRecord& R : Memory.Records) {
    if (static_cast<int64_t>(R.Start) + R.Size > Memory.GetSize()) __builtin_trap();
    Out += R.Name + '\0' + std::to_string(R.Size) + '\0';
    Out.append(reinterpret_cast<const char*>(Memory.Memory()) + R.Start, R.Size);
  }
  return Out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Bytes = fuzztest::Input(Data, Size);
  TUnTar Reader;
  fuzztest::RunArchiveReader(Reader, Bytes, "archive.tar");

  const std::string FromFile = ItemsOf(Reader, nullptr);
  size_t At = 0;
  TForwardStream Stream(
      [&](uint8_t* Buffer, int32_t Capacity) {
        // Uneven pieces, as a decompressor gives them.
        const size_t N = std::min({static_cast<size_t>(Capacity), Bytes.size() - At, size_t{1} + At % 5000});
        std::memcpy(Buffer, Bytes.data() + At, N);
        At += N;
        return static_cast<int32_t>(N);
      },
      TUnBase::kCopyBlock, TUnTar::kForwardKeepBytes);
  if (ItemsOf(Reader, &Stream) != FromFile) __builtin_trap();
  return 0;
}
