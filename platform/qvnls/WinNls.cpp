#include "platform/qvnls/WinNls.h"

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/SystemPages.h"

using qvnls::detail::GetSystemPages;
using qvnls::detail::SystemPages;

namespace {

void Translate(const uint8_t* Table, const char* Source, char* Target, uint32_t Length) {
  if (Source == nullptr || Target == nullptr) return;
  for (uint32_t I = 0; I < Length; ++I) Target[I] = static_cast<char>(Table[static_cast<uint8_t>(Source[I])]);
}

}  // namespace

uint32_t CharUpperBuffA(char* Buffer, uint32_t Length) {
  if (Buffer == nullptr) return 0;
  Translate(GetSystemPages().AnsiUpper, Buffer, Buffer, Length);
  return Length;
}

bool OemToCharBuffA(const char* Source, char* Target, uint32_t Length) {
  Translate(GetSystemPages().OemToAnsi, Source, Target, Length);
  return true;
}

bool CharToOemBuffA(const char* Source, char* Target, uint32_t Length) {
  Translate(GetSystemPages().AnsiToOem, Source, Target, Length);
  return true;
}

bool IsCharAlphaA(char Ch) { return GetSystemPages().AnsiAlpha[static_cast<uint8_t>(Ch)]; }

int32_t lstrcmpiW(const char16_t* Text1, const char16_t* Text2) {
  return qvnls::CompareTextWide(Text1, Text2);
}

int32_t CompareStringW(uint32_t /*locale*/, uint32_t Flags, const char16_t* Text1, int32_t Chars1,
                       const char16_t* Text2, int32_t Chars2) {
  if (Text1 == nullptr || Text2 == nullptr) return 0;
  if (Chars1 < 0) Chars1 = qvnls::StrLenW(Text1);
  if (Chars2 < 0) Chars2 = qvnls::StrLenW(Text2);
  const int32_t Order = (Flags & NORM_IGNORECASE) ? qvnls::CompareTextBufWide(Text1, Text2, Chars1, Chars2)
                                                  : qvnls::CompareStrBufWide(Text1, Text2, Chars1, Chars2);
  return Order < 0 ? CSTR_LESS_THAN : Order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

const uint8_t* AnsiUpperTable() { return GetSystemPages().AnsiUpper; }
const uint8_t* OemToAnsiTable() { return GetSystemPages().OemToAnsi; }
const uint8_t* AnsiToOemTable() { return GetSystemPages().AnsiToOem; }
const uint8_t* OemToAnsiUpperTable() { return GetSystemPages().OemToAnsiUpper; }
