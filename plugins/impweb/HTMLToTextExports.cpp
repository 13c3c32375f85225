// The HTMLToText exports. Every body catches everything: a caller across the library boundary cannot
// receive an exception, so a failure is a null answer with Size 0, as a cancel is.
#include <cstring>
#include <limits>
#include <new>

#include "core/VStream.h"
#include "plugins/impweb/HTMLToText.h"
#include "plugins/impweb/html/HTMLPasses.h"

namespace {

// Two zero bytes follow the text: a zero character of either width.
constexpr int32_t kTerminatorBytes = 2;

void* ConvertBuffer(const void* Buffer, IHTMLLinks* Links, IConvProgress* Progress, uint8_t Charset,
                    bool Unicode, int32_t* Size) noexcept {
  if (Size == nullptr) return nullptr;
  try {
    if (*Size < 0 || (Buffer == nullptr && *Size > 0)) {
      *Size = 0;
      return nullptr;
    }
    TVReadOnlyMemStream Source(Buffer, *Size);
    TVMemStream Text;
    if (Charset == 0) {
      Charset = DetectHTMLCharset(Source, nullptr);
      Source.Seek(0);
    }
    if (ConvertHTMLCharset(Source, Text, Links, Unicode, true, Charset, Progress) == 0 ||
        Text.GetSize() > std::numeric_limits<int32_t>::max() - kTerminatorBytes) {
      *Size = 0;
      return nullptr;
    }
    const int32_t N = Text.GetSize();
    void* Block = ConvAllocResultBlock(static_cast<std::size_t>(N) + kTerminatorBytes);
    if (Block == nullptr) {
      *Size = 0;
      return nullptr;
    }
    std::memset(Block, 0, static_cast<std::size_t>(N) + kTerminatorBytes);
    if (N > 0) std::memcpy(Block, Text.GetMemory(), static_cast<std::size_t>(N));
    *Size = N;
    return Block;
  } catch (...) {
    *Size = 0;
    return nullptr;
  }
}

}  // namespace

extern "C" {

void* HTMLToTextWithLinks2(const void* Buffer, IHTMLLinks* Links, IConvProgress* Progress, uint8_t Charset,
                           TConvBool Unicode, int32_t* Size) {
  return ConvertBuffer(Buffer, Links, Progress, Charset, Unicode != 0, Size);
}

void* HTMLToTextWithLinks(const void* Buffer, IHTMLLinks* Links, uint8_t Charset, TConvBool Unicode,
                          int32_t* Size) {
  return ConvertBuffer(Buffer, Links, nullptr, Charset, Unicode != 0, Size);
}

void* HTMLToText2(const void* Buffer, IConvProgress* Progress, uint8_t Charset, TConvBool Unicode,
                  int32_t* Size) {
  return ConvertBuffer(Buffer, nullptr, Progress, Charset, Unicode != 0, Size);
}

void* HTMLToText(const void* Buffer, uint8_t Charset, TConvBool Unicode, int32_t* Size) {
  return ConvertBuffer(Buffer, nullptr, nullptr, Charset, Unicode != 0, Size);
}

}  // extern "C"
