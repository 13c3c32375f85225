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
  uint8_t FontCharset;
  uint8_t Charset;
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

uint8_t GetHTMLCharsetP(const char* Name) {
  const CharsetInfo* Info = FindCharsetName(Name);
  return Info != nullptr ? Info->Code : kCharsetNone;
}

bool GetHTMLCharsetNameBuf(uint8_t Charset, char* Buffer, int32_t BufferSize) {
  const CharsetInfo* Info = FindCharset(Charset);
  if (Info == nullptr || Buffer == nullptr) return false;
  const size_t Length = std::strlen(Info->Name);
  if (BufferSize <= 0 || Length + 1 > static_cast<size_t>(BufferSize)) return false;
  std::memcpy(Buffer, Info->Name, Length + 1);
  return true;
}

uint8_t FontCharsetToHTMLCharset(uint8_t FontCharset) {
  if (FontCharset == kDefaultFontCharset) return GetAnsiCharset();
  if (FontCharset == kOemFontCharset) return GetOemCharset();
  for (const FontCharsetRow& Row : kFontCharsets)
    if (Row.FontCharset == FontCharset) return Row.Charset;
  return kCharsetNone;
}

uint8_t WindowsCodePageToHTMLCharset(int32_t CodePage) {
  const CharsetInfo* Info = FindCodePage(CodePage);
  return Info != nullptr ? Info->Code : kCharsetNone;
}

uint8_t DOSCodePageToHTMLCharset(int32_t CodePage) { return WindowsCodePageToHTMLCharset(CodePage); }

uint8_t CharsetToWindows(uint8_t Charset) {
  const CharsetInfo* Info = FindCharset(Charset);
  return Info != nullptr ? Info->Windows : kCharsetNone;
}

}  // namespace qvnls
