#include "platform/qvnls/WinNls.h"

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/SystemPages.h"

using qvnls::detail::GetSystemPages;
using qvnls::detail::SystemPages;

namespace {

void Translate(const uint8_t* table, const char* source, char* target, uint32_t length) {
  if (source == nullptr || target == nullptr) return;
  for (uint32_t i = 0; i < length; ++i) target[i] = static_cast<char>(table[static_cast<uint8_t>(source[i])]);
}

}  // namespace

uint32_t CharUpperBuffA(char* buffer, uint32_t length) {
  if (buffer == nullptr) return 0;
  Translate(GetSystemPages().ansiUpper, buffer, buffer, length);
  return length;
}

bool OemToCharBuffA(const char* source, char* target, uint32_t length) {
  Translate(GetSystemPages().oemToAnsi, source, target, length);
  return true;
}

bool CharToOemBuffA(const char* source, char* target, uint32_t length) {
  Translate(GetSystemPages().ansiToOem, source, target, length);
  return true;
}

bool IsCharAlphaA(char ch) { return GetSystemPages().ansiAlpha[static_cast<uint8_t>(ch)]; }

int32_t lstrcmpiW(const char16_t* text1, const char16_t* text2) {
  return qvnls::CompareTextWide(text1, text2);
}

int32_t CompareStringW(uint32_t /*locale*/, uint32_t flags, const char16_t* text1, int32_t chars1,
                       const char16_t* text2, int32_t chars2) {
  if (text1 == nullptr || text2 == nullptr) return 0;
  if (chars1 < 0) chars1 = qvnls::StrLenW(text1);
  if (chars2 < 0) chars2 = qvnls::StrLenW(text2);
  const int32_t order = (flags & NORM_IGNORECASE) ? qvnls::CompareTextBufWide(text1, text2, chars1, chars2)
                                                  : qvnls::CompareStrBufWide(text1, text2, chars1, chars2);
  return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

const uint8_t* AnsiUpperTable() { return GetSystemPages().ansiUpper; }
const uint8_t* OemToAnsiTable() { return GetSystemPages().oemToAnsi; }
const uint8_t* AnsiToOemTable() { return GetSystemPages().ansiToOem; }
const uint8_t* OemToAnsiUpperTable() { return GetSystemPages().oemToAnsiUpper; }
