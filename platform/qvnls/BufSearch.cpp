// Exact search in byte and UTF-16 buffers, value scans and zero-terminated UTF-16 helpers.
//
// FindInBuf and FindWordsInBuf run on every window of every scanned file. They test 16 bytes (8 units)
// at once for candidates whose characters at two chosen pattern positions both match, and verify only
// those with memcmp; the answer is the same as a naive left-to-right search. The two positions are
// the pattern's rarest characters by a rough frequency rank of text and binary bytes, so that a
// pattern starting and ending in "E" does not stop at every "E" of the text.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/qvnls/CharsetTable.h"
#include "platform/qvnls/Qvnls.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qvnls {

using detail::LoadUnit;

int32_t StrLenW(const char16_t* text) {
  if (text == nullptr) return 0;
  int32_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

const char16_t* StrLScanW(const char16_t* text, char16_t ch, int32_t chars) {
  if (text == nullptr) return nullptr;
  for (int32_t i = 0; i < chars; ++i)
    if (text[i] == ch) return text + i;
  return nullptr;
}

void StrSwapByteOrder(char16_t* text) {
  if (text == nullptr) return;
  for (; *text != 0; ++text) *text = static_cast<char16_t>((*text << 8) | (*text >> 8));
}

int32_t IndexOfValue8(const void* buffer, uint8_t value, int32_t lastIndex) {
  if (buffer == nullptr || lastIndex < 0) return -1;
  const void* hit = std::memchr(buffer, value, static_cast<size_t>(lastIndex) + 1);
  return hit == nullptr
             ? -1
             : static_cast<int32_t>(static_cast<const uint8_t*>(hit) - static_cast<const uint8_t*>(buffer));
}

int32_t IndexOfValue16(const void* buffer, uint16_t value, int32_t lastIndex) {
  if (buffer == nullptr || lastIndex < 0) return -1;
  for (int32_t i = 0; i <= lastIndex; ++i)
    if (LoadUnit(buffer, i) == value) return i;
  return -1;
}

int32_t CountEqualToValue8(const void* buffer, uint8_t value, int32_t count) {
  if (buffer == nullptr || count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  return static_cast<int32_t>(std::count(bytes, bytes + count, value));
}

namespace {

// A rough rank of how often a byte occurs in text and in binary files; higher is more frequent.
// Letters of both cases rank alike, since scanned windows are often upper-cased.
struct ByteRanks {
  uint8_t rank[256];
  ByteRanks() {
    for (int b = 0; b < 256; ++b) rank[b] = b < 0x20 ? 20 : b < 0x80 ? 60 : 40;
    const char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";  // English letters, most frequent first
    for (int i = 0; kLetters[i] != '\0'; ++i) {
      const auto r = static_cast<uint8_t>(250 - 7 * i);
      rank[static_cast<uint8_t>(kLetters[i])] = r;
      rank[static_cast<uint8_t>(kLetters[i] - 'a' + 'A')] = r;
    }
    for (int d = '0'; d <= '9'; ++d) rank[d] = 120;
    for (char c : {',', '.', ';', ':', '-', '\''}) rank[static_cast<uint8_t>(c)] = 130;
    rank[' '] = 255;
    rank[0] = 210;
    rank['\n'] = 150;
    rank['\r'] = 150;
    rank['\t'] = 100;
    rank[0xFF] = 110;
  }
};

uint8_t Rank(uint32_t unit) {
  static const ByteRanks ranks;
  return unit < 0x100 ? ranks.rank[unit] : 40;  // other UTF-16 units: as high bytes
}

// The two positions (first < second) of the pattern's two rarest characters; `at(i)` reads one.
template <class At>
void RarePositions(int32_t m, At at, int32_t& first, int32_t& second) {
  first = 0;
  for (int32_t i = 1; i < m; ++i)
    if (Rank(at(i)) < Rank(at(first))) first = i;
  second = first == 0 ? 1 : 0;
  for (int32_t i = 0; i < m; ++i)
    if (i != first && Rank(at(i)) < Rank(at(second))) second = i;
  if (second < first) std::swap(first, second);
}

}  // namespace

TBufPattern PrepareBufPattern(const void* pattern, int32_t patternBytes) {
  TBufPattern prepared;
  prepared.pattern = pattern;
  prepared.length = patternBytes;
  if (pattern != nullptr && patternBytes > 1) {
    const auto* p = static_cast<const uint8_t*>(pattern);
    RarePositions(
        patternBytes, [p](int32_t i) { return p[i]; }, prepared.first, prepared.second);
  }
  return prepared;
}

TBufPattern PrepareWordsPattern(const void* pattern, int32_t patternChars) {
  TBufPattern prepared;
  prepared.pattern = pattern;
  prepared.length = patternChars;
  if (pattern != nullptr && patternChars > 1)
    RarePositions(
        patternChars, [pattern](int32_t i) { return LoadUnit(pattern, i); }, prepared.first, prepared.second);
  return prepared;
}

int32_t FindInBuf(const void* pattern, int32_t patternBytes, const void* buffer, int32_t bufferBytes) {
  if (pattern == nullptr || buffer == nullptr || patternBytes <= 0 || bufferBytes < patternBytes) return -1;
  return FindInBuf(PrepareBufPattern(pattern, patternBytes), buffer, bufferBytes);
}

int32_t FindWordsInBuf(const void* pattern, int32_t patternChars, const void* buffer, int32_t bufferChars) {
  if (pattern == nullptr || buffer == nullptr || patternChars <= 0 || bufferChars < patternChars) return -1;
  return FindWordsInBuf(PrepareWordsPattern(pattern, patternChars), buffer, bufferChars);
}

int32_t FindInBuf(const TBufPattern& pattern, const void* buffer, int32_t bufferBytes) {
  if (pattern.pattern == nullptr || buffer == nullptr || pattern.length <= 0 || bufferBytes < pattern.length)
    return -1;
  const auto* p = static_cast<const uint8_t*>(pattern.pattern);
  const auto* s = static_cast<const uint8_t*>(buffer);
  const int32_t m = pattern.length;
  const int32_t lastStart = bufferBytes - m;
  if (m == 1) return IndexOfValue8(s, p[0], lastStart);
  const int32_t j1 = pattern.first, j2 = pattern.second;
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i c1 = _mm_set1_epi8(static_cast<char>(p[j1]));
  const __m128i c2 = _mm_set1_epi8(static_cast<char>(p[j2]));
  // Sixteen starts i..i+15 per step; the loads end at i + 15 + j2 <= bufferBytes - 1.
  for (; i + 15 <= lastStart; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + j1));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + j2));
    unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, c1), _mm_cmpeq_epi8(b, c2))));
    while (mask != 0) {
      const int k = __builtin_ctz(mask);
      if (std::memcmp(s + i + k, p, m) == 0) return i + k;
      mask &= mask - 1;
    }
  }
#endif
  for (; i <= lastStart; ++i)
    if (s[i + j1] == p[j1] && s[i + j2] == p[j2] && std::memcmp(s + i, p, m) == 0) return i;
  return -1;
}

int32_t FindWordsInBuf(const TBufPattern& pattern, const void* buffer, int32_t bufferChars) {
  if (pattern.pattern == nullptr || buffer == nullptr || pattern.length <= 0 || bufferChars < pattern.length)
    return -1;
  const auto* p = static_cast<const uint8_t*>(pattern.pattern);
  const auto* s = static_cast<const uint8_t*>(buffer);
  const int32_t m = pattern.length;
  const int32_t lastStart = bufferChars - m;
  const size_t patternBytes = 2 * static_cast<size_t>(m);
  const int32_t j1 = pattern.first, j2 = pattern.second;
  const char16_t u1 = LoadUnit(p, j1);
  const char16_t u2 = LoadUnit(p, j2);
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i c1 = _mm_set1_epi16(static_cast<short>(u1));
  const __m128i c2 = _mm_set1_epi16(static_cast<short>(u2));
  // Eight starts i..i+7 per step; the loads end at unit i + 7 + j2 <= bufferChars - 1.
  for (; i + 7 <= lastStart; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * (i + j1)));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * (i + j2)));
    // Both bytes of a matching lane are set; keep the low one, so bit 2k stands for start i + k.
    unsigned mask = static_cast<unsigned>(
                        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, c1), _mm_cmpeq_epi16(b, c2)))) &
                    0x5555u;
    while (mask != 0) {
      const int k = __builtin_ctz(mask) / 2;
      if (std::memcmp(s + 2 * (i + k), p, patternBytes) == 0) return i + k;
      mask &= mask - 1;
    }
  }
#endif
  for (; i <= lastStart; ++i)
    if (LoadUnit(s, i + j1) == u1 && LoadUnit(s, i + j2) == u2 &&
        std::memcmp(s + 2 * i, p, patternBytes) == 0)
      return i;
  return -1;
}

}  // namespace qvnls
