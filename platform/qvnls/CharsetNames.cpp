// Charset names, Windows font charsets and code page numbers, mapped to the charset codes.
#include <cstring>

#include "platform/qvnls/CharsetTable.h"
#include "platform/qvnls/Qvnls.h"

namespace qvnls {

using detail::CharsetInfo;
using detail::FindCharset;
using detail::FindCharsetName;
using detail::FindCodePage;

namespace {

// Windows font charsets (the lfCharSet values) and the charset code of each.
struct FontCharsetRow {
  uint8_t fontCharset;
  uint8_t charset;
};
constexpr uint8_t kDefaultFontCharset = 1;  // DEFAULT_CHARSET: the system Windows code page
constexpr uint8_t kOemFontCharset = 255;    // OEM_CHARSET: the system OEM code page
constexpr FontCharsetRow kFontCharsets[] = {
    {0, kCharsetWin1252},     // ANSI_CHARSET
    {128, kCharsetShiftJis},  // SHIFTJIS_CHARSET
    {129, kCharsetEucKr},     // HANGEUL_CHARSET
    {134, kCharsetGbk},       // GB2312_CHARSET
    {136, kCharsetBig5},      // CHINESEBIG5_CHARSET
    {161, kCharsetWin1253},   // GREEK_CHARSET
    {162, kCharsetWin1254},   // TURKISH_CHARSET
    {163, kCharsetWin1258},   // VIETNAMESE_CHARSET
    {177, kCharsetWin1255},   // HEBREW_CHARSET
    {178, kCharsetWin1256},   // ARABIC_CHARSET
    {186, kCharsetWin1257},   // BALTIC_CHARSET
    {204, kCharsetWin1251},   // RUSSIAN_CHARSET
    {222, kCharsetWin874},    // THAI_CHARSET
    {238, kCharsetWin1250},   // EASTEUROPE_CHARSET
};

}  // namespace

uint8_t GetHTMLCharsetP(const char* name) {
  const CharsetInfo* info = FindCharsetName(name);
  return info != nullptr ? info->code : kCharsetNone;
}

bool GetHTMLCharsetNameBuf(uint8_t charset, char* buffer, int32_t bufferSize) {
  const CharsetInfo* info = FindCharset(charset);
  if (info == nullptr || buffer == nullptr) return false;
  const size_t length = std::strlen(info->name);
  if (bufferSize <= 0 || length + 1 > static_cast<size_t>(bufferSize)) return false;
  std::memcpy(buffer, info->name, length + 1);
  return true;
}

uint8_t FontCharsetToHTMLCharset(uint8_t fontCharset) {
  if (fontCharset == kDefaultFontCharset) return GetAnsiCharset();
  if (fontCharset == kOemFontCharset) return GetOemCharset();
  for (const FontCharsetRow& row : kFontCharsets)
    if (row.fontCharset == fontCharset) return row.charset;
  return kCharsetNone;
}

uint8_t WindowsCodePageToHTMLCharset(int32_t codePage) {
  const CharsetInfo* info = FindCodePage(codePage);
  return info != nullptr ? info->code : kCharsetNone;
}

uint8_t DOSCodePageToHTMLCharset(int32_t codePage) { return WindowsCodePageToHTMLCharset(codePage); }

uint8_t CharsetToWindows(uint8_t charset) {
  const CharsetInfo* info = FindCharset(charset);
  return info != nullptr ? info->windows : kCharsetNone;
}

}  // namespace qvnls
