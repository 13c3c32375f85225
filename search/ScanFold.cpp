#include "search/ScanFold.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kAsciiCount = 128;
// The units of two printable ASCII bytes read as one UTF-16 unit, roughly: what UTF-16 passes over 8-bit
// text see most.
constexpr uint32_t kEightBitAsUnitsFirst = 0x2000;
constexpr uint32_t kEightBitAsUnitsLimit = 0x7F00;

uint32_t AsciiUpper(uint32_t C) { return C >= 'a' && C <= 'z' ? C - ('a' - 'A') : C; }

#if defined(__SSE2__)
// Sixteen ASCII bytes (all below 0x80) upper-cased: "a".."z" lose bit 0x20.
inline __m128i UpperAscii16(__m128i V) {
  // Signed compares are right here: every byte is below 0x80.
  const __m128i IsLower =
      _mm_and_si128(_mm_cmpgt_epi8(V, _mm_set1_epi8('a' - 1)), _mm_cmpgt_epi8(_mm_set1_epi8('z' + 1), V));
  return _mm_sub_epi8(V, _mm_and_si128(IsLower, _mm_set1_epi8('a' - 'A')));
}

// Eight units below 0x80 upper-cased.
inline __m128i UpperAscii8Units(__m128i V) {
  const __m128i IsLower =
      _mm_and_si128(_mm_cmpgt_epi16(V, _mm_set1_epi16('a' - 1)), _mm_cmpgt_epi16(_mm_set1_epi16('z' + 1), V));
  return _mm_sub_epi16(V, _mm_and_si128(IsLower, _mm_set1_epi16('a' - 'A')));
}
#endif

}  // namespace

void TByteFolder::SetTable(const uint8_t* Table) {
  Table_ = Table;
  if (Table == nullptr) {
    Ascii_ = TAsciiRule::kSame;
    return;
  }
  bool Same = true, Upper = true;
  for (int B = 0; B < kAsciiCount; ++B) {
    Same = Same && Table[B] == B;
    Upper = Upper && Table[B] == AsciiUpper(static_cast<uint32_t>(B));
  }
  Ascii_ = Same ? TAsciiRule::kSame : Upper ? TAsciiRule::kUpper : TAsciiRule::kNone;
}

void TByteFolder::Fold(const uint8_t* Source, uint8_t* Dest, int32_t Count) const {
  if (Count <= 0) return;
  if (Table_ == nullptr) {
    std::memcpy(Dest, Source, static_cast<size_t>(Count));
    return;
  }
  int32_t I = 0;
#if defined(__SSE2__)
  if (Ascii_ != TAsciiRule::kNone) {
    for (; I + 16 <= Count; I += 16) {
      __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Source + I));
      if (_mm_movemask_epi8(V) != 0) {
        for (int J = 0; J < 16; ++J) Dest[I + J] = Table_[Source[I + J]];
        continue;
      }
      if (Ascii_ == TAsciiRule::kUpper) V = UpperAscii16(V);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + I), V);
    }
  }
#endif
  for (; I < Count; ++I) Dest[I] = Table_[Source[I]];
}

void TUnitFolder::SetTable(const char16_t* Table) {
  Table_ = Table;
  AsciiUpper_ = false;
  for (TRun& Run : Runs_) Run = TRun();
  if (Table == nullptr) return;
  bool Upper = true;
  for (int U = 0; U < kAsciiCount; ++U) Upper = Upper && Table[U] == AsciiUpper(static_cast<uint32_t>(U));
  AsciiUpper_ = Upper;
  // The runs of units mapped to themselves (from 0x80 on, at most 0xFFFF long), ranked first by how much
  // of 0x2000-0x7EFF they cover (8-bit text read as UTF-16: a byte 0x20-0x7E is the high half), then by
  // length. The ranks pick the kRuns runs the fast path tests.
  auto Rank = [](uint32_t First, uint32_t Size) {
    const uint32_t Lo = std::max<uint32_t>(First, kEightBitAsUnitsFirst);
    const uint32_t Hi = std::min<uint32_t>(First + Size, kEightBitAsUnitsLimit);
    return (uint64_t{Hi > Lo ? Hi - Lo : 0} << 32) | Size;
  };
  uint32_t Start = kAsciiCount;
  for (uint32_t U = kAsciiCount; U <= 0x10000; ++U) {
    if (U < 0x10000 && Table[U] == U) continue;
    const uint32_t Size = std::min<uint32_t>(U - Start, 0xFFFF);
    for (int I = 0; I < kRuns; ++I) {
      if (Rank(Start, Size) <= Rank(Runs_[I].First, Runs_[I].Size)) continue;
      for (int J = kRuns - 1; J > I; --J) Runs_[J] = Runs_[J - 1];
      Runs_[I] = {static_cast<uint16_t>(Start), static_cast<uint16_t>(Size)};
      break;
    }
    Start = U + 1;
  }
}

void TUnitFolder::Fold(const uint8_t* Source, char16_t* Dest, int32_t Units) const {
  if (Units <= 0) return;
  if (Table_ == nullptr) {
    std::memcpy(Dest, Source, 2 * static_cast<size_t>(Units));
    return;
  }
  auto Load = [Source](int32_t I) { return static_cast<char16_t>(Source[2 * I] | (Source[2 * I + 1] << 8)); };
  int32_t I = 0;
#if defined(__SSE2__)
  if (AsciiUpper_) {
    const __m128i High = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i Flip = _mm_set1_epi16(static_cast<short>(0x8000));
    // Unit u lies in run R when (u - First) < Size unsigned: flipping the top bit of both sides makes
    // the signed compare of SSE2 an unsigned one.
    __m128i RunFirst[kRuns], RunLimit[kRuns];
    for (int R = 0; R < kRuns; ++R) {
      RunFirst[R] = _mm_set1_epi16(static_cast<short>(Runs_[R].First));
      RunLimit[R] = _mm_set1_epi16(static_cast<short>(Runs_[R].Size ^ 0x8000));
    }
    for (; I + 8 <= Units; I += 8) {
      const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Source + 2 * I));
      __m128i Plain = _mm_cmpeq_epi16(_mm_and_si128(V, High), _mm_setzero_si128());
      if (_mm_movemask_epi8(Plain) != 0xFFFF) {
        for (int R = 0; R < kRuns; ++R) {
          const __m128i Offset = _mm_xor_si128(_mm_sub_epi16(V, RunFirst[R]), Flip);
          Plain = _mm_or_si128(Plain, _mm_cmplt_epi16(Offset, RunLimit[R]));
        }
        if (_mm_movemask_epi8(Plain) != 0xFFFF) {
          for (int J = 0; J < 8; ++J) Dest[I + J] = Table_[Load(I + J)];
          continue;
        }
      }
      // ASCII letters are upper-cased; every other unit here stays.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + I), UpperAscii8Units(V));
    }
  }
#endif
  for (; I < Units; ++I) Dest[I] = Table_[Load(I)];
}
