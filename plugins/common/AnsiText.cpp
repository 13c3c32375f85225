#include "plugins/common/AnsiText.h"

#include <unicode/unorm2.h>

#include <limits>

#include "core/Exception.h"
#include "platform/qvnls/Qvnls.h"

namespace {

// The NFC form of Text; Text itself when it is already composed or normalisation fails.
std::u16string Composed(std::u16string_view Text) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  if (U_FAILURE(status) || Text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 3)) {
    return std::u16string(Text);
  }
  const auto length = static_cast<int32_t>(Text.size());
  if (unorm2_isNormalized(nfc, Text.data(), length, &status) && U_SUCCESS(status))
    return std::u16string(Text);
  status = U_ZERO_ERROR;
  // Composition never lengthens a text by more than three times.
  std::u16string out(Text.size() * 3 + 1, u'\0');
  const int32_t n =
      unorm2_normalize(nfc, Text.data(), length, out.data(), static_cast<int32_t>(out.size()), &status);
  if (U_FAILURE(status)) return std::u16string(Text);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string WideToAnsi(std::u16string_view Text) {
  // ASCII stays as it is in every Windows code page, and needs no composing.
  bool ascii = true;
  for (char16_t c : Text) ascii = ascii && c < 0x80;
  if (ascii) return std::string(Text.begin(), Text.end());
  const std::u16string text = Composed(Text);
  const uint8_t charset = qvnls::GetAnsiCharset();
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += '?';
      ++i;
      continue;
    }
    const uint8_t b = qvnls::WideCharToChar(c, charset);
    out += b != 0 ? static_cast<char>(b) : '?';
  }
  return out;
}

std::u16string AnsiToWide(std::string_view Text) {
  std::u16string out(Text.size(), u'\0');
  if (Text.empty()) return out;
  if (Text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 2)) {
    throw Exception("Out of memory");
  }
  const int32_t n = qvnls::BufToWide(Text.data(), static_cast<int32_t>(Text.size()), out.data(),
                                     static_cast<int32_t>(out.size() * 2), qvnls::kCharsetNone);
  out.resize(n > 0 ? static_cast<std::size_t>(n) / 2 : 0);
  return out;
}
