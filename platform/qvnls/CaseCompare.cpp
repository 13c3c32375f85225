// Upper case by one table of UTF-16 units, and the ICU collation behind every comparison.
#include <unicode/uchar.h>
#include <unicode/ucol.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/qvnls/CharsetTable.h"
#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

namespace qvnls {
namespace {

constexpr int kUnits = 65536;  // every UTF-16 code unit

struct UpperTable {
  std::vector<char16_t> Table;
  UpperTable() : Table(kUnits) {
    for (int32_t C = 0; C < kUnits; ++C) {
      const UChar32 Upper = (C >= 0xD800 && C <= 0xDFFF) ? C : u_toupper(C);
      Table[C] = static_cast<char16_t>(Upper <= 0xFFFF ? Upper : C);
    }
  }
};

const UpperTable& Upper() {
  static const UpperTable Upper;
  return Upper;
}

// The two root collators: secondary strength ignores case, tertiary sees it. A collator is safe to
// share between threads for comparisons.
struct Collators {
  UCollator* Text = nullptr;
  UCollator* Str = nullptr;
  Collators() {
    UErrorCode Error = U_ZERO_ERROR;
    Text = ucol_open("", &Error);
    if (Text != nullptr) ucol_setStrength(Text, UCOL_SECONDARY);
    Error = U_ZERO_ERROR;
    Str = ucol_open("", &Error);
    if (Str != nullptr) ucol_setStrength(Str, UCOL_TERTIARY);
  }
  ~Collators() {
    if (Text != nullptr) ucol_close(Text);
    if (Str != nullptr) ucol_close(Str);
  }
};

const Collators& GetCollators() {
  static const Collators Collators;
  return Collators;
}

int32_t Sign(int32_t V) { return (V > 0) - (V < 0); }

int32_t CollationSign(UCollator* Collator, const char16_t* Text1, int32_t Chars1, const char16_t* Text2,
                      int32_t Chars2) {
  if (Collator == nullptr) return 0;
  switch (ucol_strcoll(Collator, Text1, Chars1, Text2, Chars2)) {
    case UCOL_LESS:
      return -1;
    case UCOL_GREATER:
      return 1;
    default:
      return 0;
  }
}

// Lexicographic order of the units after `Map`, the shorter text first on a common prefix.
template <class MapFn>
int32_t UnitOrder(const char16_t* Text1, int32_t Chars1, const char16_t* Text2, int32_t Chars2, MapFn Map) {
  const int32_t N = std::min(Chars1, Chars2);
  for (int32_t I = 0; I < N; ++I) {
    const char16_t A = Map(Text1[I]);
    const char16_t B = Map(Text2[I]);
    if (A != B) return A < B ? -1 : 1;
  }
  return Sign(Chars1 - Chars2);
}

// Null texts and negative lengths count as empty.
void Normalise(const char16_t*& Text, int32_t& Chars) {
  static const char16_t kEmpty[1] = {0};
  if (Text == nullptr || Chars < 0) {
    Text = kEmpty;
    Chars = 0;
  }
}

}  // namespace

const char16_t* WideUpperTable() { return Upper().Table.data(); }

void WideUpperBuf(char16_t* Buffer, int32_t Chars) {
  if (Buffer == nullptr) return;
  const char16_t* Table = WideUpperTable();
  for (int32_t I = 0; I < Chars; ++I) Buffer[I] = Table[Buffer[I]];
}

bool UnicodeIsAlphaNum(char16_t Ch) { return u_isalnum(Ch); }

int32_t CompareTextBufWide(const char16_t* Text1, const char16_t* Text2, int32_t Chars1, int32_t Chars2) {
  Normalise(Text1, Chars1);
  Normalise(Text2, Chars2);
  const int32_t Order = CollationSign(GetCollators().Text, Text1, Chars1, Text2, Chars2);
  if (Order != 0) return Order;
  const char16_t* Table = WideUpperTable();
  return UnitOrder(Text1, Chars1, Text2, Chars2, [Table](char16_t C) { return Table[C]; });
}

int32_t CompareStrBufWide(const char16_t* Text1, const char16_t* Text2, int32_t Chars1, int32_t Chars2) {
  Normalise(Text1, Chars1);
  Normalise(Text2, Chars2);
  const int32_t Order = CollationSign(GetCollators().Str, Text1, Chars1, Text2, Chars2);
  if (Order != 0) return Order;
  return UnitOrder(Text1, Chars1, Text2, Chars2, [](char16_t C) { return C; });
}

int32_t CompareTextWide(const char16_t* Text1, const char16_t* Text2) {
  return CompareTextBufWide(Text1, Text2, StrLenW(Text1), StrLenW(Text2));
}

int32_t CompareStrWide(const char16_t* Text1, const char16_t* Text2) {
  return CompareStrBufWide(Text1, Text2, StrLenW(Text1), StrLenW(Text2));
}

int32_t Emulate_lstrcmpiW(const char16_t* Text1, const char16_t* Text2) { return ::lstrcmpiW(Text1, Text2); }

int32_t Emulate_CompareStringW(uint32_t Locale, uint32_t Flags, const char16_t* Text1, int32_t Chars1,
                               const char16_t* Text2, int32_t Chars2) {
  return ::CompareStringW(Locale, Flags, Text1, Chars1, Text2, Chars2);
}

}  // namespace qvnls
