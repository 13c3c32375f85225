// Test helpers: text samples encoded and decoded by ICU itself, independently of the layer under test.
#pragma once

#include <unicode/ucnv.h>

#include <string>

namespace qvnls_test {

// `Text` encoded by the ICU converter `IcuName`; unmappable characters make the helper fail the
// sample (empty answer), so samples hold only what the charset can encode.
inline std::string IcuEncode(const std::u16string& Text, const char* IcuName) {
  UErrorCode Error = U_ZERO_ERROR;
  UConverter* Converter = ucnv_open(IcuName, &Error);
  if (U_FAILURE(Error)) return {};
  ucnv_setFromUCallBack(Converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &Error);
  std::string Out(Text.size() * 6 + 8, '\0');
  const int32_t N = ucnv_fromUChars(Converter, Out.data(), static_cast<int32_t>(Out.size()), Text.data(),
                                    static_cast<int32_t>(Text.size()), &Error);
  ucnv_close(Converter);
  if (U_FAILURE(Error)) return {};
  Out.resize(N);
  return Out;
}

inline std::u16string IcuDecode(const std::string& Bytes, const char* IcuName) {
  UErrorCode Error = U_ZERO_ERROR;
  UConverter* Converter = ucnv_open(IcuName, &Error);
  if (U_FAILURE(Error)) return {};
  std::u16string Out(Bytes.size() + 8, u'\0');
  const int32_t N = ucnv_toUChars(Converter, Out.data(), static_cast<int32_t>(Out.size()), Bytes.data(),
                                  static_cast<int32_t>(Bytes.size()), &Error);
  ucnv_close(Converter);
  if (U_FAILURE(Error)) return {};
  Out.resize(N);
  return Out;
}

// A paragraph of Russian prose, long enough for the letter statistics of the detectors.
inline const std::u16string kRussianProse =
    u"В начале было слово, и слово было у Бога. Мороз и солнце; день чудесный! "
    u"Еще ты дремлешь, друг прелестный. Пора, красавица, проснись.\r\n";

}  // namespace qvnls_test
