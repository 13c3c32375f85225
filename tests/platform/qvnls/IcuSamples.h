// Test helpers: text samples encoded and decoded by ICU itself, independently of the layer under test.
#pragma once

#include <unicode/ucnv.h>

#include <string>

namespace qvnls_test {

// `text` encoded by the ICU converter `icuName`; unmappable characters make the helper fail the
// sample (empty answer), so samples hold only what the charset can encode.
inline std::string IcuEncode(const std::u16string& text, const char* icuName) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(icuName, &error);
  if (U_FAILURE(error)) return {};
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  std::string out(text.size() * 6 + 8, '\0');
  const int32_t n = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                    static_cast<int32_t>(text.size()), &error);
  ucnv_close(converter);
  if (U_FAILURE(error)) return {};
  out.resize(n);
  return out;
}

inline std::u16string IcuDecode(const std::string& bytes, const char* icuName) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(icuName, &error);
  if (U_FAILURE(error)) return {};
  std::u16string out(bytes.size() + 8, u'\0');
  const int32_t n = ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &error);
  ucnv_close(converter);
  if (U_FAILURE(error)) return {};
  out.resize(n);
  return out;
}

// A paragraph of Russian prose, long enough for the letter statistics of the detectors.
inline const std::u16string kRussianProse =
    u"В начале было слово, и слово было у Бога. Мороз и солнце; день чудесный! "
    u"Еще ты дремлешь, друг прелестный. Пора, красавица, проснись.\r\n";

}  // namespace qvnls_test
