// Fuzz target of the MP3 tag reader: any bytes as an MP3 file, its tags reported from a stream and from a
// memory block, in both text forms. A clean error (no tag, no Unicode) is a good answer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "core/VStream.h"
#include "plugins/imptag/MP3Imp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TVReadOnlyMemStream S(Data, static_cast<int32_t>(Size));
  TID3v2Header Header;
  try {
    HasID3v2Header(S, Header);
  } catch (const Exception&) {
  }
  for (bool Unicode : {false, true}) {
    try {
      S.Seek(0);
      ReadMP3Tags(S, Unicode);
    } catch (const Exception&) {
    }
    try {
      std::string Text;
      ConvertMP3Memory(Data, Size, Unicode, nullptr, Text);
    } catch (const Exception&) {
    }
  }
  return 0;
}
