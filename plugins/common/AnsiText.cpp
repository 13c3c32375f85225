#include "plugins/common/AnsiText.h"

#include <unicode/unorm2.h>

#include <limits>

#include "core/Exception.h"
#include "platform/qvnls/Qvnls.h"

namespace {

// The NFC form of Text; Text itself when it is already composed or normalisation fails.
std::u16string Composed(std::u16string_view Text) {
  UErrorCode Status = U_ZERO_ERROR;
  const UNormalizer2* Nfc = unorm2_getNFCInstance(&Status);
  if (U_FAILURE(Status) || Text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 3)) {
    return std::u16string(Text);
  }
  const auto Length = static_cast<int32_t>(Text.size());
  if (unorm2_isNormalized(Nfc, Text.data(), Length, &Status) && U_SUCCESS(Status))
    return std::u16string(Text);
  Status = U_ZERO_ERROR;
  // Composition never lengthens a text by more than three times.
  std::u16string Out(Text.size() * 3 + 1, u'\0');
  const int32_t N =
      unorm2_normalize(Nfc, Text.data(), Length, Out.data(), static_cast<int32_t>(Out.size()), &Status);
  if (U_FAILURE(Status)) return std::u16string(Text);
  Out.resize(static_cast<std::size_t>(N));
  return Out;
}

bool IsHighSurrogate(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsLowSurrogate(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

}  // namespace

std::string WideToAnsi(std::u16string_view Text) {
  // ASCII stays as it is in every Windows code page, and needs no composing.
  bool Ascii = true;
  for (char16_t C : Text) Ascii = Ascii && C < 0x80;
  if (Ascii) return std::string(Text.begin(), Text.end());
  const std::u16string ComposedText = Composed(Text);
  const uint8_t Charset = qvnls::GetAnsiCharset();
  std::string Out;
  Out.reserve(ComposedText.size());
  for (std::size_t I = 0; I < ComposedText.size(); ++I) {
    const char16_t C = ComposedText[I];
    if (C < 0x80) {
      Out += static_cast<char>(C);
      continue;
    }
    if (IsHighSurrogate(C) && I + 1 < ComposedText.size() && IsLowSurrogate(ComposedText[I + 1])) {
      Out += '?';
      ++I;
      continue;
    }
    const uint8_t B = qvnls::WideCharToChar(C, Charset);
    Out += B != 0 ? static_cast<char>(B) : '?';
  }
  return Out;
}

std::u16string AnsiToWide(std::string_view Text) {
  std::u16string Out(Text.size(), u'\0');
  if (Text.empty()) return Out;
  if (Text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 2)) {
    throw Exception("Out of memory");
  }
  const int32_t N = qvnls::BufToWide(Text.data(), static_cast<int32_t>(Text.size()), Out.data(),
                                     static_cast<int32_t>(Out.size() * 2), qvnls::kCharsetNone);
  Out.resize(N > 0 ? static_cast<std::size_t>(N) / 2 : 0);
  return Out;
}
