// Exact search in byte and UTF-16 buffers, value scans and zero-terminated UTF-16 helpers.
//
// FindInBuf and FindWordsInBuf run on every window of every scanned file. They test 16 bytes (8 units)
// at once for candidates whose first and last characters both match the pattern's, and verify only
// those with memcmp; the answer is the same as a naive left-to-right search.
#include <algorithm>
#include <cstring>

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
  return hit == nullptr ? -1
                        : static_cast<int32_t>(static_cast<const uint8_t*>(hit) -
                                               static_cast<const uint8_t*>(buffer));
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

int32_t FindInBuf(const void* pattern, int32_t patternBytes, const void* buffer, int32_t bufferBytes) {
  if (pattern == nullptr || buffer == nullptr || patternBytes <= 0 || bufferBytes < patternBytes)
    return -1;
  const auto* p = static_cast<const uint8_t*>(pattern);
  const auto* s = static_cast<const uint8_t*>(buffer);
  const int32_t m = patternBytes;
  const int32_t lastStart = bufferBytes - m;
  if (m == 1) return IndexOfValue8(s, p[0], lastStart);
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(static_cast<char>(p[0]));
  const __m128i last = _mm_set1_epi8(static_cast<char>(p[m - 1]));
  // Sixteen starts i..i+15 per step; the loads end at i + 15 + m - 1 <= bufferBytes - 1.
  for (; i + 15 <= lastStart; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const int k = __builtin_ctz(mask);
      if (std::memcmp(s + i + k + 1, p + 1, m - 2) == 0) return i + k;
      mask &= mask - 1;
    }
  }
#endif
  for (; i <= lastStart; ++i)
    if (s[i] == p[0] && s[i + m - 1] == p[m - 1] && std::memcmp(s + i + 1, p + 1, m - 2) == 0)
      return i;
  return -1;
}

int32_t FindWordsInBuf(const void* pattern, int32_t patternChars, const void* buffer,
                       int32_t bufferChars) {
  if (pattern == nullptr || buffer == nullptr || patternChars <= 0 || bufferChars < patternChars)
    return -1;
  const auto* p = static_cast<const uint8_t*>(pattern);
  const auto* s = static_cast<const uint8_t*>(buffer);
  const int32_t m = patternChars;
  const int32_t lastStart = bufferChars - m;
  const char16_t firstUnit = LoadUnit(p, 0);
  const char16_t lastUnit = LoadUnit(p, m - 1);
  const size_t innerBytes = 2 * static_cast<size_t>(m > 1 ? m - 2 : 0);
  auto matchesAt = [&](int32_t i) {
    return m == 1 || (LoadUnit(s, i + m - 1) == lastUnit &&
                      std::memcmp(s + 2 * (i + 1), p + 2, innerBytes) == 0);
  };
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi16(static_cast<short>(firstUnit));
  const __m128i last = _mm_set1_epi16(static_cast<short>(lastUnit));
  // Eight starts i..i+7 per step; the loads end at unit i + 7 + m - 1 <= bufferChars - 1.
  for (; i + 7 <= lastStart; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * (i + m - 1)));
    // Both bytes of a matching lane are set; keep the low one, so bit 2k stands for start i + k.
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
                        _mm_and_si128(_mm_cmpeq_epi16(a, first), _mm_cmpeq_epi16(b, last)))) &
                    0x5555u;
    while (mask != 0) {
      const int k = __builtin_ctz(mask) / 2;
      if (m <= 2 || std::memcmp(s + 2 * (i + k + 1), p + 2, innerBytes) == 0) return i + k;
      mask &= mask - 1;
    }
  }
#endif
  for (; i <= lastStart; ++i)
    if (LoadUnit(s, i) == firstUnit && matchesAt(i)) return i;
  return -1;
}

}  // namespace qvnls
