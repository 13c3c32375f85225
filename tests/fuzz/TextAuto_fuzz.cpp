// Fuzz target of the text questions about a stream: charset detection with every option, the text test,
// and the conversion of a whole text to UTF-16 and to 8-bit text. Detection must leave the stream where
// it was, from an even and from an odd start.
#include <cstddef>
#include <cstdint>

#include "core/Exception.h"
#include "core/VStream.h"
#include "search/TextAuto.h"

namespace {

constexpr uint8_t kOptionSets[] = {
    0,
    kDetectFlagUtf16 | kDetectFlagUtf8 | kDetectFlagEightBit,
    kDetectFlagUtf16 | kDetectFlagUtf8 | kDetectFlagEightBit | kDetectFlagCyrillic,
    kDetectFlagUtf16 | kDetectFlagUtf8 | kDetectFlagEightBit | kDetectFlagCyrillic | kDetectFlagNarrow,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TVReadOnlyMemStream S(Data, static_cast<int32_t>(Size));
  try {
    for (int32_t Start : {0, 1}) {
      if (Start > S.GetSize()) break;
      for (uint8_t Options : kOptionSets) {
        for (int32_t MaxBytes : {0, 64}) {
          S.Seek(Start);
          uint32_t Details = 0;
          DetectStreamCharset(S, Options, Details, MaxBytes);
          if (S.GetPosition() != Start) __builtin_trap();  // detection moved the stream
        }
      }
      S.Seek(Start);
      IsTextStream(S, 0);
      S.Seek(Start);
      IsTextStream(S, 16);
    }
    for (bool ToUnicode : {true, false}) {
      TVMemStream Dest;
      ConvertTextCharset(S, Dest, 0, ToUnicode, kOptionSets[2]);
    }
  } catch (const Exception&) {
  }
  return 0;
}
