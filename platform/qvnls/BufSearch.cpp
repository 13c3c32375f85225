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

int32_t StrLenW(const char16_t* Text) {
  if (Text == nullptr) return 0;
  int32_t N = 0;
  while (Text[N] != 0) ++N;
  return N;
}

const char16_t* StrLScanW(const char16_t* Text, char16_t Ch, int32_t Chars) {
  if (Text == nullptr) return nullptr;
  for (int32_t I = 0; I < Chars; ++I)
    if (Text[I] == Ch) return Text + I;
  return nullptr;
}

void StrSwapByteOrder(char16_t* Text) {
  if (Text == nullptr) return;
  for (; *Text != 0; ++Text) *Text = static_cast<char16_t>((*Text << 8) | (*Text >> 8));
}

int32_t IndexOfValue8(const void* Buffer, uint8_t Value, int32_t LastIndex) {
  if (Buffer == nullptr || LastIndex < 0) return -1;
  const void* Hit = std::memchr(Buffer, Value, static_cast<size_t>(LastIndex) + 1);
  return Hit == nullptr
             ? -1
             : static_cast<int32_t>(static_cast<const uint8_t*>(Hit) - static_cast<const uint8_t*>(Buffer));
}

int32_t IndexOfValue16(const void* Buffer, uint16_t Value, int32_t LastIndex) {
  if (Buffer == nullptr || LastIndex < 0) return -1;
  for (int32_t I = 0; I <= LastIndex; ++I)
    if (LoadUnit(Buffer, I) == Value) return I;
  return -1;
}

int32_t CountEqualToValue8(const void* Buffer, uint8_t Value, int32_t Count) {
  if (Buffer == nullptr || Count <= 0) return 0;
  const auto* Bytes = static_cast<const uint8_t*>(Buffer);
  return static_cast<int32_t>(std::count(Bytes, Bytes + Count, Value));
}

namespace {

// A rough rank of how often a byte occurs in text and in binary files; higher is more frequent.
// Letters of both cases rank alike, since scanned windows are often upper-cased.
struct ByteRanks {
  uint8_t Rank[256];
  ByteRanks() {
    for (int B = 0; B < 256; ++B) Rank[B] = B < 0x20 ? 20 : B < 0x80 ? 60 : 40;
    const char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";  // English letters, most frequent first
    for (int I = 0; kLetters[I] != '\0'; ++I) {
      const auto R = static_cast<uint8_t>(250 - 7 * I);
      Rank[static_cast<uint8_t>(kLetters[I])] = R;
      Rank[static_cast<uint8_t>(kLetters[I] - 'a' + 'A')] = R;
    }
    for (int D = '0'; D <= '9'; ++D) Rank[D] = 120;
    for (char C : {',', '.', ';', ':', '-', '\''}) Rank[static_cast<uint8_t>(C)] = 130;
    Rank[' '] = 255;
    Rank[0] = 210;
    Rank['\n'] = 150;
    Rank['\r'] = 150;
    Rank['\t'] = 100;
    Rank[0xFF] = 110;
  }
};

uint8_t Rank(uint32_t Unit) {
  static const ByteRanks Ranks;
  return Unit < 0x100 ? Ranks.Rank[Unit] : 40;  // other UTF-16 units: as high bytes
}

// The two positions (first < second) of the pattern's two rarest characters; `At(I)` reads one.
template <class AtFn>
void RarePositions(int32_t M, AtFn At, int32_t& First, int32_t& Second) {
  First = 0;
  for (int32_t I = 1; I < M; ++I)
    if (Rank(At(I)) < Rank(At(First))) First = I;
  Second = First == 0 ? 1 : 0;
  for (int32_t I = 0; I < M; ++I)
    if (I != First && Rank(At(I)) < Rank(At(Second))) Second = I;
  if (Second < First) std::swap(First, Second);
}

}  // namespace

TBufPattern PrepareBufPattern(const void* Pattern, int32_t PatternBytes) {
  TBufPattern Prepared;
  Prepared.Pattern = Pattern;
  Prepared.Length = PatternBytes;
  if (Pattern != nullptr && PatternBytes > 1) {
    const auto* P = static_cast<const uint8_t*>(Pattern);
    RarePositions(
        PatternBytes, [P](int32_t I) { return P[I]; }, Prepared.First, Prepared.Second);
  }
  return Prepared;
}

TBufPattern PrepareWordsPattern(const void* Pattern, int32_t PatternChars) {
  TBufPattern Prepared;
  Prepared.Pattern = Pattern;
  Prepared.Length = PatternChars;
  if (Pattern != nullptr && PatternChars > 1)
    RarePositions(
        PatternChars, [Pattern](int32_t I) { return LoadUnit(Pattern, I); }, Prepared.First, Prepared.Second);
  return Prepared;
}

int32_t FindInBuf(const void* Pattern, int32_t PatternBytes, const void* Buffer, int32_t BufferBytes) {
  if (Pattern == nullptr || Buffer == nullptr || PatternBytes <= 0 || BufferBytes < PatternBytes) return -1;
  return FindInBuf(PrepareBufPattern(Pattern, PatternBytes), Buffer, BufferBytes);
}

int32_t FindWordsInBuf(const void* Pattern, int32_t PatternChars, const void* Buffer, int32_t BufferChars) {
  if (Pattern == nullptr || Buffer == nullptr || PatternChars <= 0 || BufferChars < PatternChars) return -1;
  return FindWordsInBuf(PrepareWordsPattern(Pattern, PatternChars), Buffer, BufferChars);
}

int32_t FindInBuf(const TBufPattern& Pattern, const void* Buffer, int32_t BufferBytes) {
  if (Pattern.Pattern == nullptr || Buffer == nullptr || Pattern.Length <= 0 || BufferBytes < Pattern.Length)
    return -1;
  const auto* P = static_cast<const uint8_t*>(Pattern.Pattern);
  const auto* S = static_cast<const uint8_t*>(Buffer);
  const int32_t M = Pattern.Length;
  const int32_t LastStart = BufferBytes - M;
  if (M == 1) return IndexOfValue8(S, P[0], LastStart);
  const int32_t J1 = Pattern.First, J2 = Pattern.Second;
  int32_t I = 0;
#if defined(__SSE2__)
  const __m128i C1 = _mm_set1_epi8(static_cast<char>(P[J1]));
  const __m128i C2 = _mm_set1_epi8(static_cast<char>(P[J2]));
  // Sixteen starts I..I+15 per step; the loads end at I + 15 + J2 <= BufferBytes - 1.
  for (; I + 15 <= LastStart; I += 16) {
    const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + I + J1));
    const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + I + J2));
    unsigned Mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(A, C1), _mm_cmpeq_epi8(B, C2))));
    while (Mask != 0) {
      const int K = __builtin_ctz(Mask);
      if (std::memcmp(S + I + K, P, M) == 0) return I + K;
      Mask &= Mask - 1;
    }
  }
#endif
  for (; I <= LastStart; ++I)
    if (S[I + J1] == P[J1] && S[I + J2] == P[J2] && std::memcmp(S + I, P, M) == 0) return I;
  return -1;
}

int32_t FindWordsInBuf(const TBufPattern& Pattern, const void* Buffer, int32_t BufferChars) {
  if (Pattern.Pattern == nullptr || Buffer == nullptr || Pattern.Length <= 0 || BufferChars < Pattern.Length)
    return -1;
  const auto* P = static_cast<const uint8_t*>(Pattern.Pattern);
  const auto* S = static_cast<const uint8_t*>(Buffer);
  const int32_t M = Pattern.Length;
  const int32_t LastStart = BufferChars - M;
  const size_t PatternBytes = 2 * static_cast<size_t>(M);
  const int32_t J1 = Pattern.First, J2 = Pattern.Second;
  const char16_t U1 = LoadUnit(P, J1);
  const char16_t U2 = LoadUnit(P, J2);
  int32_t I = 0;
#if defined(__SSE2__)
  const __m128i C1 = _mm_set1_epi16(static_cast<short>(U1));
  const __m128i C2 = _mm_set1_epi16(static_cast<short>(U2));
  // Eight starts I..I+7 per step; the loads end at unit I + 7 + J2 <= BufferChars - 1.
  for (; I + 7 <= LastStart; I += 8) {
    const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 2 * (I + J1)));
    const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 2 * (I + J2)));
    // Both bytes of a matching lane are set; keep the low one, so bit 2k stands for start i + k.
    unsigned Mask = static_cast<unsigned>(
                        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(A, C1), _mm_cmpeq_epi16(B, C2)))) &
                    0x5555u;
    while (Mask != 0) {
      const int K = __builtin_ctz(Mask) / 2;
      if (std::memcmp(S + 2 * (I + K), P, PatternBytes) == 0) return I + K;
      Mask &= Mask - 1;
    }
  }
#endif
  for (; I <= LastStart; ++I)
    if (LoadUnit(S, I + J1) == U1 && LoadUnit(S, I + J2) == U2 &&
        std::memcmp(S + 2 * I, P, PatternBytes) == 0)
      return I;
  return -1;
}

}  // namespace qvnls
