// libFuzzer target: any bytes as an MP3 file, read for its tags.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "core/VStream.h"
#include "plugins/imptag/MP3Imp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  if (Size > 0x7FFFFFFF) return 0;
  try {
    TVReadOnlyMemStream stream(Data, static_cast<int32_t>(Size));
    ReadMP3Tags(stream, false);
  } catch (const std::exception&) {
  }
  return 0;
}
