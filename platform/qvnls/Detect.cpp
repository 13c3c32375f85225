// Charset detection: byte-order marks, UTF-16 by its zero bytes, UTF-8 by its sequences, and a guess
// among the Cyrillic 8-bit charsets by Russian letter frequencies. Every answer depends only on the
// bytes and the options given.
#include <cstdint>
#include <initializer_list>

#include "platform/qvnls/CharsetTable.h"
#include "platform/qvnls/Qvnls.h"

namespace qvnls {

using detail::GetSingleByteMaps;
using detail::SingleByteMaps;

namespace {

bool StartsWith(const uint8_t* s, int32_t n, std::initializer_list<uint8_t> prefix) {
  if (n < static_cast<int32_t>(prefix.size())) return false;
  int32_t i = 0;
  for (uint8_t b : prefix)
    if (s[i++] != b) return false;
  return true;
}

enum class Utf16Order { kNone, kLittle, kBig };

// UTF-16 text without a mark: one byte of most ASCII characters (blanks, line breaks, digits, Latin
// letters) is zero, always at the same parity, and a zero unit is rare. The test asks for zero high
// bytes in at least 1 unit of 16 (Cyrillic or Greek prose still has its blanks), at most a quarter as
// many units with only the other byte zero, and at most 1 zero unit in 32 (one terminator is fine).
Utf16Order DetectUtf16(const uint8_t* s, int32_t n) {
  constexpr int32_t kMinShare = 16;
  constexpr int32_t kMaxOtherRatio = 4;
  constexpr int32_t kZeroUnitShare = 32;
  const int32_t units = n / 2;
  if (units == 0) return Utf16Order::kNone;
  int32_t lowZero = 0, highZero = 0, bothZero = 0;  // by the little-endian reading
  for (int32_t i = 0; i < units; ++i) {
    const bool low = s[2 * i] == 0;
    const bool high = s[2 * i + 1] == 0;
    if (low && high)
      ++bothZero;
    else if (low)
      ++lowZero;
    else if (high)
      ++highZero;
  }
  const int32_t minimum = units / kMinShare > 1 ? units / kMinShare : 1;
  const int32_t zeroUnitLimit = units / kZeroUnitShare > 1 ? units / kZeroUnitShare : 1;
  if (bothZero > zeroUnitLimit) return Utf16Order::kNone;
  if (highZero >= minimum && lowZero * kMaxOtherRatio <= highZero) return Utf16Order::kLittle;
  if (lowZero >= minimum && highZero * kMaxOtherRatio <= lowZero) return Utf16Order::kBig;
  return Utf16Order::kNone;
}

// Valid UTF-8 with at least one multi-byte sequence. A sequence that the sample's end cuts off is
// accepted when the bytes present are right.
bool DetectUtf8(const uint8_t* s, int32_t n) {
  bool multiByte = false;
  int32_t i = 0;
  while (i < n) {
    const uint8_t c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    int32_t length = 0;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;   // no overlong forms
      if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    for (int32_t k = 1; k < length; ++k) {
      if (i + k >= n) return multiByte;
      const uint8_t b = s[i + k];
      if (k == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return false;
    }
    multiByte = true;
    i += length;
  }
  return multiByte;
}

// Russian letters а..я by frequency in ten-thousandths, and ё.
constexpr int32_t kRussianFrequency[32] = {
    801, 159, 454, 170, 298, 845, 94, 165, 735, 121, 349, 440, 321, 670, 1097, 281,
    473, 547, 626, 262, 26,  97,  48, 144, 73,  36,  4,   190, 174, 32,  64,   201,
};
constexpr int32_t kYoFrequency = 4;
constexpr int32_t kUpperDivisor = 4;          // an upper-case letter counts a quarter
constexpr int32_t kOtherCyrillicWeight = 20;  // Ukrainian and Belarusian letters and the like
constexpr int32_t kNonLetterPenalty = 300;    // a high byte that is no Cyrillic letter

int32_t LetterWeight(char16_t u) {
  if (u >= 0x0430 && u <= 0x044F) return kRussianFrequency[u - 0x0430];
  if (u >= 0x0410 && u <= 0x042F) return kRussianFrequency[u - 0x0410] / kUpperDivisor;
  if (u == 0x0451) return kYoFrequency;
  if (u == 0x0401) return kYoFrequency;
  if (u >= 0x0400 && u <= 0x04FF) return kOtherCyrillicWeight;
  return -kNonLetterPenalty;
}

int64_t RussianScore(const uint8_t* s, int32_t n, uint8_t charset) {
  const SingleByteMaps* maps = GetSingleByteMaps(charset);
  if (maps == nullptr) return INT64_MIN;
  int64_t score = 0;
  for (int32_t i = 0; i < n; ++i)
    if (s[i] >= 0x80) score += LetterWeight(maps->toWide[s[i]]);
  return score;
}

bool IsAsciiLetter(uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

}  // namespace

uint8_t DetermineRussianCharsetEx(const void* buffer, int32_t bytes, uint32_t candidates) {
  const auto* s = static_cast<const uint8_t*>(buffer);
  if (s == nullptr || bytes <= 0) return kCharsetWin1251;
  struct Candidate {
    uint32_t bit;
    uint8_t charset;
  };
  // Windows-1251 first: it wins every tie.
  constexpr Candidate kCandidates[] = {
      {0, kCharsetWin1251},
      {kRussianKoi8, kCharsetKoi8R},
      {kRussianDos, kCharsetDos866},
      {kRussianIso, kCharsetIso8859_5},
  };
  uint8_t best = kCharsetWin1251;
  int64_t bestScore = INT64_MIN;
  for (const Candidate& c : kCandidates) {
    if (c.bit != 0 && (candidates & c.bit) == 0) continue;
    const int64_t score = RussianScore(s, bytes, c.charset);
    if (score > bestScore) {
      best = c.charset;
      bestScore = score;
    }
  }
  return best;
}

bool TextIsPossiblyRussian(const void* buffer, int32_t bytes) {
  const auto* s = static_cast<const uint8_t*>(buffer);
  if (s == nullptr || bytes <= 0) return false;
  int32_t highWords = 0, mixedWords = 0;
  int32_t i = 0;
  while (i < bytes) {
    if (s[i] < 0x80 && !IsAsciiLetter(s[i])) {
      ++i;
      continue;
    }
    int32_t high = 0, ascii = 0;
    for (; i < bytes && (s[i] >= 0x80 || IsAsciiLetter(s[i])); ++i) (s[i] >= 0x80 ? high : ascii)++;
    if (high >= 2 && ascii == 0) ++highWords;
    if (high > 0 && ascii > 0) ++mixedWords;
  }
  return highWords > 0 && highWords > mixedWords;
}

uint8_t DetermineCharsetEx(const void* buffer, int32_t bytes, uint32_t& options) {
  const uint32_t in = options & ~kDetectBigEndian;
  options = in;
  const auto* s = static_cast<const uint8_t*>(buffer);
  if (s == nullptr || bytes < 0) bytes = 0;
  if (in & kDetectStartOfStream) {
    if (StartsWith(s, bytes, {0xEF, 0xBB, 0xBF})) return kCharsetUtf8;
    if (StartsWith(s, bytes, {0xFF, 0xFE})) return kCharsetUtf16LE;
    if (StartsWith(s, bytes, {0xFE, 0xFF})) {
      options |= kDetectBigEndian;
      return kCharsetUtf16LE;
    }
  }
  if (in & kDetectUtf16) {
    switch (DetectUtf16(s, bytes)) {
      case Utf16Order::kLittle:
        return kCharsetUtf16LE;
      case Utf16Order::kBig:
        options |= kDetectBigEndian;
        return kCharsetUtf16LE;
      case Utf16Order::kNone:
        break;
    }
  }
  if ((in & kDetectUtf8) && DetectUtf8(s, bytes)) return kCharsetUtf8;
  if ((in & kDetectEightBit) == 0) return kCharsetNone;
  if ((in & kDetectCyrillic) != 0 && TextIsPossiblyRussian(s, bytes))
    return DetermineRussianCharsetEx(s, bytes, kRussianKoi8 | kRussianIso | kRussianDos);
  return GetAnsiCharset();
}

}  // namespace qvnls
