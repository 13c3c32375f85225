#include "search/ScanFold.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kAsciiCount = 128;

uint32_t AsciiUpper(uint32_t C) { return C >= 'a' && C <= 'z' ? C - ('a' - 'A') : C; }

#if defined(__SSE2__)
// Sixteen ASCII bytes (all below 0x80) upper-cased: "a".."z" lose bit 0x20.
inline __m128i UpperAscii16(__m128i V) {
  // Signed compares are right here: every byte is below 0x80.
  const __m128i IsLower = _mm_and_si128(_mm_cmpgt_epi8(V, _mm_set1_epi8('a' - 1)),
                                        _mm_cmpgt_epi8(_mm_set1_epi8('z' + 1), V));
  return _mm_sub_epi8(V, _mm_and_si128(IsLower, _mm_set1_epi8('a' - 'A')));
}

// Eight units below 0x80 upper-cased.
inline __m128i UpperAscii8Units(__m128i V) {
  const __m128i IsLower = _mm_and_si128(_mm_cmpgt_epi16(V, _mm_set1_epi16('a' - 1)),
                                        _mm_cmpgt_epi16(_mm_set1_epi16('z' + 1), V));
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
  if (Table == nullptr) return;
  bool Upper = true;
  for (int U = 0; U < kAsciiCount; ++U) Upper = Upper && Table[U] == AsciiUpper(static_cast<uint32_t>(U));
  AsciiUpper_ = Upper;
}

void TUnitFolder::Fold(const uint8_t* Source, char16_t* Dest, int32_t Units) const {
  if (Units <= 0) return;
  if (Table_ == nullptr) {
    std::memcpy(Dest, Source, 2 * static_cast<size_t>(Units));
    return;
  }
  auto Load = [Source](int32_t I) {
    return static_cast<char16_t>(Source[2 * I] | (Source[2 * I + 1] << 8));
  };
  int32_t I = 0;
#if defined(__SSE2__)
  if (AsciiUpper_) {
    const __m128i High = _mm_set1_epi16(static_cast<short>(0xFF80));
    for (; I + 8 <= Units; I += 8) {
      const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Source + 2 * I));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(V, High), _mm_setzero_si128())) != 0xFFFF) {
        for (int J = 0; J < 8; ++J) Dest[I + J] = Table_[Load(I + J)];
        continue;
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + I), UpperAscii8Units(V));
    }
  }
#endif
  for (; I < Units; ++I) Dest[I] = Table_[Load(I)];
}
