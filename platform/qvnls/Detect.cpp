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

bool StartsWith(const uint8_t* S, int32_t N, std::initializer_list<uint8_t> Prefix) {
  if (N < static_cast<int32_t>(Prefix.size())) return false;
  int32_t I = 0;
  for (uint8_t B : Prefix)
    if (S[I++] != B) return false;
  return true;
}

enum class Utf16Order { kNone, kLittle, kBig };

// UTF-16 text without a mark: one byte of most ASCII characters (blanks, line breaks, digits, Latin
// letters) is zero, always at the same parity, and a zero unit is rare. The test asks for zero high
// bytes in at least 1 unit of 16 (Cyrillic or Greek prose still has its blanks), at most a quarter as
// many units with only the other byte zero, and at most 1 zero unit in 32 (one terminator is fine).
Utf16Order DetectUtf16(const uint8_t* S, int32_t N) {
  constexpr int32_t kMinShare = 16;
  constexpr int32_t kMaxOtherRatio = 4;
  constexpr int32_t kZeroUnitShare = 32;
  const int32_t Units = N / 2;
  if (Units == 0) return Utf16Order::kNone;
  int32_t LowZero = 0, HighZero = 0, BothZero = 0;  // by the little-endian reading
  for (int32_t I = 0; I < Units; ++I) {
    const bool Low = S[2 * I] == 0;
    const bool High = S[2 * I + 1] == 0;
    if (Low && High)
      ++BothZero;
    else if (Low)
      ++LowZero;
    else if (High)
      ++HighZero;
  }
  const int32_t Minimum = Units / kMinShare > 1 ? Units / kMinShare : 1;
  const int32_t ZeroUnitLimit = Units / kZeroUnitShare > 1 ? Units / kZeroUnitShare : 1;
  if (BothZero > ZeroUnitLimit) return Utf16Order::kNone;
  if (HighZero >= Minimum && LowZero * kMaxOtherRatio <= HighZero) return Utf16Order::kLittle;
  if (LowZero >= Minimum && HighZero * kMaxOtherRatio <= LowZero) return Utf16Order::kBig;
  return Utf16Order::kNone;
}

// Valid UTF-8 with at least one multi-byte sequence. A sequence that the sample's end cuts off is
// accepted when the bytes present are right.
bool DetectUtf8(const uint8_t* S, int32_t N) {
  bool MultiByte = false;
  int32_t I = 0;
  while (I < N) {
    const uint8_t C = S[I];
    if (C < 0x80) {
      ++I;
      continue;
    }
    int32_t Length = 0;
    uint8_t Low = 0x80, High = 0xBF;  // the range of the second byte
    if (C >= 0xC2 && C <= 0xDF) {
      Length = 2;
    } else if (C >= 0xE0 && C <= 0xEF) {
      Length = 3;
      if (C == 0xE0) Low = 0xA0;   // no overlong forms
      if (C == 0xED) High = 0x9F;  // no surrogates
    } else if (C >= 0xF0 && C <= 0xF4) {
      Length = 4;
      if (C == 0xF0) Low = 0x90;
      if (C == 0xF4) High = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    for (int32_t K = 1; K < Length; ++K) {
      if (I + K >= N) return MultiByte;
      const uint8_t B = S[I + K];
      if (K == 1 ? (B < Low || B > High) : (B < 0x80 || B > 0xBF)) return false;
    }
    MultiByte = true;
    I += Length;
  }
  return MultiByte;
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

int32_t LetterWeight(char16_t U) {
  if (U >= 0x0430 && U <= 0x044F) return kRussianFrequency[U - 0x0430];
  if (U >= 0x0410 && U <= 0x042F) return kRussianFrequency[U - 0x0410] / kUpperDivisor;
  if (U == 0x0451) return kYoFrequency;
  if (U == 0x0401) return kYoFrequency;
  if (U >= 0x0400 && U <= 0x04FF) return kOtherCyrillicWeight;
  return -kNonLetterPenalty;
}

int64_t RussianScore(const uint8_t* S, int32_t N, uint8_t Charset) {
  const SingleByteMaps* Maps = GetSingleByteMaps(Charset);
  if (Maps == nullptr) return INT64_MIN;
  int64_t Score = 0;
  for (int32_t I = 0; I < N; ++I)
    if (S[I] >= 0x80) Score += LetterWeight(Maps->ToWide[S[I]]);
  return Score;
}

bool IsAsciiLetter(uint8_t B) { return (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z'); }

}  // namespace

uint8_t DetermineRussianCharsetEx(const void* Buffer, int32_t Bytes, uint32_t Candidates) {
  const auto* S = static_cast<const uint8_t*>(Buffer);
  if (S == nullptr || Bytes <= 0) return kCharsetWin1251;
  struct Candidate {
    uint32_t Bit;
    uint8_t Charset;
  };
  // Windows-1251 first: it wins every tie.
  constexpr Candidate kCandidates[] = {
      {0, kCharsetWin1251},
      {kRussianKoi8, kCharsetKoi8R},
      {kRussianDos, kCharsetDos866},
      {kRussianIso, kCharsetIso8859_5},
  };
  uint8_t Best = kCharsetWin1251;
  int64_t BestScore = INT64_MIN;
  for (const Candidate& C : kCandidates) {
    if (C.Bit != 0 && (Candidates & C.Bit) == 0) continue;
    const int64_t Score = RussianScore(S, Bytes, C.Charset);
    if (Score > BestScore) {
      Best = C.Charset;
      BestScore = Score;
    }
  }
  return Best;
}

bool TextIsPossiblyRussian(const void* Buffer, int32_t Bytes) {
  const auto* S = static_cast<const uint8_t*>(Buffer);
  if (S == nullptr || Bytes <= 0) return false;
  int32_t HighWords = 0, MixedWords = 0;
  int32_t I = 0;
  while (I < Bytes) {
    if (S[I] < 0x80 && !IsAsciiLetter(S[I])) {
      ++I;
      continue;
    }
    int32_t High = 0, Ascii = 0;
    for (; I < Bytes && (S[I] >= 0x80 || IsAsciiLetter(S[I])); ++I) (S[I] >= 0x80 ? High : Ascii)++;
    if (High >= 2 && Ascii == 0) ++HighWords;
    if (High > 0 && Ascii > 0) ++MixedWords;
  }
  return HighWords > 0 && HighWords > MixedWords;
}

uint8_t DetermineCharsetEx(const void* Buffer, int32_t Bytes, uint32_t& Options) {
  const uint32_t In = Options & ~kDetectBigEndian;
  Options = In;
  const auto* S = static_cast<const uint8_t*>(Buffer);
  if (S == nullptr || Bytes < 0) Bytes = 0;
  if (In & kDetectStartOfStream) {
    if (StartsWith(S, Bytes, {0xEF, 0xBB, 0xBF})) return kCharsetUtf8;
    if (StartsWith(S, Bytes, {0xFF, 0xFE})) return kCharsetUtf16LE;
    if (StartsWith(S, Bytes, {0xFE, 0xFF})) {
      Options |= kDetectBigEndian;
      return kCharsetUtf16LE;
    }
  }
  if (In & kDetectUtf16) {
    switch (DetectUtf16(S, Bytes)) {
      case Utf16Order::kLittle:
        return kCharsetUtf16LE;
      case Utf16Order::kBig:
        Options |= kDetectBigEndian;
        return kCharsetUtf16LE;
      case Utf16Order::kNone:
        break;
    }
  }
  if ((In & kDetectUtf8) && DetectUtf8(S, Bytes)) return kCharsetUtf8;
  if ((In & kDetectEightBit) == 0) return kCharsetNone;
  if ((In & kDetectCyrillic) != 0 && TextIsPossiblyRussian(S, Bytes))
    return DetermineRussianCharsetEx(S, Bytes, kRussianKoi8 | kRussianIso | kRussianDos);
  return GetAnsiCharset();
}

}  // namespace qvnls
