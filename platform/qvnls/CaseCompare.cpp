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
  std::vector<char16_t> table;
  UpperTable() : table(kUnits) {
    for (int32_t c = 0; c < kUnits; ++c) {
      const UChar32 upper = (c >= 0xD800 && c <= 0xDFFF) ? c : u_toupper(c);
      table[c] = static_cast<char16_t>(upper <= 0xFFFF ? upper : c);
    }
  }
};

const UpperTable& Upper() {
  static const UpperTable upper;
  return upper;
}

// The two root collators: secondary strength ignores case, tertiary sees it. A collator is safe to
// share between threads for comparisons.
struct Collators {
  UCollator* text = nullptr;
  UCollator* str = nullptr;
  Collators() {
    UErrorCode error = U_ZERO_ERROR;
    text = ucol_open("", &error);
    if (text != nullptr) ucol_setStrength(text, UCOL_SECONDARY);
    error = U_ZERO_ERROR;
    str = ucol_open("", &error);
    if (str != nullptr) ucol_setStrength(str, UCOL_TERTIARY);
  }
  ~Collators() {
    if (text != nullptr) ucol_close(text);
    if (str != nullptr) ucol_close(str);
  }
};

const Collators& GetCollators() {
  static const Collators collators;
  return collators;
}

int32_t Sign(int32_t v) { return (v > 0) - (v < 0); }

int32_t CollationSign(UCollator* collator, const char16_t* text1, int32_t chars1, const char16_t* text2,
                      int32_t chars2) {
  if (collator == nullptr) return 0;
  switch (ucol_strcoll(collator, text1, chars1, text2, chars2)) {
    case UCOL_LESS:
      return -1;
    case UCOL_GREATER:
      return 1;
    default:
      return 0;
  }
}

// Lexicographic order of the units after `map`, the shorter text first on a common prefix.
template <class Map>
int32_t UnitOrder(const char16_t* text1, int32_t chars1, const char16_t* text2, int32_t chars2, Map map) {
  const int32_t n = std::min(chars1, chars2);
  for (int32_t i = 0; i < n; ++i) {
    const char16_t a = map(text1[i]);
    const char16_t b = map(text2[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return Sign(chars1 - chars2);
}

// Null texts and negative lengths count as empty.
void Normalise(const char16_t*& text, int32_t& chars) {
  static const char16_t kEmpty[1] = {0};
  if (text == nullptr || chars < 0) {
    text = kEmpty;
    chars = 0;
  }
}

}  // namespace

const char16_t* WideUpperTable() { return Upper().table.data(); }

void WideUpperBuf(char16_t* buffer, int32_t chars) {
  if (buffer == nullptr) return;
  const char16_t* table = WideUpperTable();
  for (int32_t i = 0; i < chars; ++i) buffer[i] = table[buffer[i]];
}

bool UnicodeIsAlphaNum(char16_t ch) { return u_isalnum(ch); }

int32_t CompareTextBufWide(const char16_t* text1, const char16_t* text2, int32_t chars1, int32_t chars2) {
  Normalise(text1, chars1);
  Normalise(text2, chars2);
  const int32_t order = CollationSign(GetCollators().text, text1, chars1, text2, chars2);
  if (order != 0) return order;
  const char16_t* table = WideUpperTable();
  return UnitOrder(text1, chars1, text2, chars2, [table](char16_t c) { return table[c]; });
}

int32_t CompareStrBufWide(const char16_t* text1, const char16_t* text2, int32_t chars1, int32_t chars2) {
  Normalise(text1, chars1);
  Normalise(text2, chars2);
  const int32_t order = CollationSign(GetCollators().str, text1, chars1, text2, chars2);
  if (order != 0) return order;
  return UnitOrder(text1, chars1, text2, chars2, [](char16_t c) { return c; });
}

int32_t CompareTextWide(const char16_t* text1, const char16_t* text2) {
  return CompareTextBufWide(text1, text2, StrLenW(text1), StrLenW(text2));
}

int32_t CompareStrWide(const char16_t* text1, const char16_t* text2) {
  return CompareStrBufWide(text1, text2, StrLenW(text1), StrLenW(text2));
}

int32_t Emulate_lstrcmpiW(const char16_t* text1, const char16_t* text2) { return ::lstrcmpiW(text1, text2); }

int32_t Emulate_CompareStringW(uint32_t locale, uint32_t flags, const char16_t* text1, int32_t chars1,
                               const char16_t* text2, int32_t chars2) {
  return ::CompareStringW(locale, flags, text1, chars1, text2, chars2);
}

}  // namespace qvnls
