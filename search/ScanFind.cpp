#include "search/ScanFind.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Rough rarity of a folded character in text: lower is rarer. Letters by English frequency; spaces and
// line breaks are the most common; everything else ranks as a rare letter.
int Rarity(uint32_t C) {
  static const char kByFrequency[] = "ZQXJKVBPYGFWMUCLDRHSNIOATE";
  if (C == ' ' || C == '\r' || C == '\n') return 100;
  for (int I = 0; kByFrequency[I] != '\0'; ++I)
    if (C == static_cast<uint8_t>(kByFrequency[I])) return 3 + I;
  return 6;
}

}  // namespace

template <typename CharT>
bool TFoldedFinder<CharT>::Prepare(const CharT* Table, const CharT* Word, int32_t Length) {
  Table_ = Table;
  Word_ = Word;
  Length_ = Length;
  if (Length <= 0) return false;
  // The rarest position, then the rarest other one (the same for a word of one character).
  int32_t First = 0;
  for (int32_t I = 1; I < Length; ++I)
    if (Rarity(Word[I]) < Rarity(Word[First])) First = I;
  int32_t Second = First == 0 && Length > 1 ? 1 : 0;
  for (int32_t I = 0; I < Length; ++I)
    if (I != First && Rarity(Word[I]) < Rarity(Word[Second])) Second = I;
  Pos_[0] = First;
  Pos_[1] = Second;
  constexpr uint32_t kValues = uint32_t{1} << (8 * sizeof(CharT));
  for (int P = 0; P < 2; ++P) {
    Count_[P] = 0;
    for (uint32_t V = 0; V < kValues; ++V) {
      if (Table[V] != Word[Pos_[P]]) continue;
      if (Count_[P] == kMaxPreimages) return false;
      Values_[P][Count_[P]++] = static_cast<CharT>(V);
    }
  }
  return Count_[0] > 0 && Count_[1] > 0;
}

template <typename CharT>
int32_t TFoldedFinder<CharT>::Find(const CharT* Text, int32_t TextLength) const {
  const int32_t LastStart = TextLength - Length_;
  auto Matches = [&](int32_t I) {
    for (int32_t K = 0; K < Length_; ++K)
      if (Table_[Text[I + K]] != Word_[K]) return false;
    return true;
  };
  auto IsValue = [&](int P, CharT C) {
    for (int V = 0; V < Count_[P]; ++V)
      if (Values_[P][V] == C) return true;
    return false;
  };
  int32_t I = 0;
#if defined(__SSE2__)
  constexpr int32_t kLanes = 16 / sizeof(CharT);
  auto Splat = [](uint32_t C) {
    return sizeof(CharT) == 1 ? _mm_set1_epi8(static_cast<char>(C)) : _mm_set1_epi16(static_cast<short>(C));
  };
  auto Equal = [](__m128i A, __m128i B) {
    return sizeof(CharT) == 1 ? _mm_cmpeq_epi8(A, B) : _mm_cmpeq_epi16(A, B);
  };
  // Each tested position is one value, or two that differ in one bit (a letter in both cases): then
  // "Data | Bit == Value" tests it in one compare. Otherwise up to kMaxPreimages compares (unused ones
  // repeat the first value).
  __m128i Bit[2], Value[2], Want[2][kMaxPreimages];
  bool Simple = true;
  for (int P = 0; P < 2; ++P) {
    const uint32_t A = Values_[P][0];
    const uint32_t B = Count_[P] == 2 ? Values_[P][1] : A;
    const uint32_t Diff = A ^ B;
    Simple = Simple && Count_[P] <= 2 && (Diff & (Diff - 1)) == 0;
    Bit[P] = Splat(Diff);
    Value[P] = Splat(A | Diff);
    for (int V = 0; V < kMaxPreimages; ++V) Want[P][V] = Splat(Values_[P][V < Count_[P] ? V : 0]);
  }
  auto Candidates = [&](int32_t Start, unsigned Mask) {
    if constexpr (sizeof(CharT) == 2) Mask &= 0x5555u;  // one bit per unit
    while (Mask != 0) {
      const int32_t At = Start + __builtin_ctz(Mask) / static_cast<int>(sizeof(CharT));
      if (Matches(At)) return At;
      Mask &= Mask - 1;
    }
    return int32_t{-1};
  };
  // kLanes starts per step; the loads end at start I + kLanes - 1 + Pos <= TextLength - 1.
  if (Simple) {
    for (; I + kLanes - 1 <= LastStart; I += kLanes) {
      const __m128i D0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + I + Pos_[0]));
      const __m128i D1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + I + Pos_[1]));
      const unsigned Mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
          Equal(_mm_or_si128(D0, Bit[0]), Value[0]), Equal(_mm_or_si128(D1, Bit[1]), Value[1]))));
      if (Mask != 0) {
        const int32_t At = Candidates(I, Mask);
        if (At >= 0) return At;
      }
    }
  } else {
    for (; I + kLanes - 1 <= LastStart; I += kLanes) {
      __m128i Hit[2];
      for (int P = 0; P < 2; ++P) {
        const __m128i D = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + I + Pos_[P]));
        Hit[P] = _mm_or_si128(_mm_or_si128(Equal(D, Want[P][0]), Equal(D, Want[P][1])),
                              _mm_or_si128(Equal(D, Want[P][2]), Equal(D, Want[P][3])));
      }
      const unsigned Mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(Hit[0], Hit[1])));
      if (Mask != 0) {
        const int32_t At = Candidates(I, Mask);
        if (At >= 0) return At;
      }
    }
  }
#endif
  for (; I <= LastStart; ++I)
    if (IsValue(0, Text[I + Pos_[0]]) && IsValue(1, Text[I + Pos_[1]]) && Matches(I)) return I;
  return -1;
}

template class TFoldedFinder<uint8_t>;
template class TFoldedFinder<char16_t>;

template <typename CharT>
bool TSkipFinder<CharT>::Prepare(const CharT* Word, int32_t Length) {
  Word_ = Word;
  Length_ = Length;
  if (Length < kMinLength) return false;
  // The shift of a group is how far its last occurrence in the word lies from the word's last group;
  // groups that do not occur (and groups beyond a shift of 65,535) move the word by its length less
  // kGram, plus one. Groups that share a hash share the smallest shift, which never skips a start.
  const int32_t Last = Length - kGram;
  Shift_.assign(kBuckets, static_cast<uint16_t>(std::min(Last + 1, 65535)));
  for (int32_t J = std::max(0, Last - 65534); J <= Last; ++J) {
    const uint32_t H = Hash(Word[J], Word[J + 1], Word[J + 2], Word[J + 3]);
    Shift_[H] = static_cast<uint16_t>(std::min<int32_t>(Shift_[H], Last - J));
  }
  return true;
}

template <typename CharT>
int32_t TSkipFinder<CharT>::Find(const CharT* Table, const CharT* Text, int32_t TextLength) const {
  const int32_t LastStart = TextLength - Length_;
  const int32_t Tail = Length_ - kGram;  // where the hashed group starts, from the try's start
  auto Fold = [Table](CharT C) -> uint32_t { return Table ? Table[C] : C; };
  for (int32_t I = 0; I <= LastStart;) {
    const CharT* G = Text + I + Tail;
    const uint16_t Shift = Shift_[Hash(Fold(G[0]), Fold(G[1]), Fold(G[2]), Fold(G[3]))];
    if (Shift != 0) {
      I += Shift;
      continue;
    }
    int32_t K = 0;
    while (K < Length_ && Fold(Text[I + K]) == Word_[K]) ++K;
    if (K == Length_) return I;
    ++I;
  }
  return -1;
}

template class TSkipFinder<uint8_t>;
template class TSkipFinder<char16_t>;

template <typename CharT>
uint16_t TWordSetFilter<CharT>::Key(const CharT* Pair) {
  if constexpr (sizeof(CharT) == 1) {
    uint16_t Bytes;
    std::memcpy(&Bytes, Pair, 2);
    return Bytes;
  } else {
    // ASCII pairs stay apart; other pairs share keys at times, which costs only a comparison.
    const uint32_t A = Pair[0], B = Pair[1];
    return static_cast<uint16_t>((A << 7) ^ (A >> 9) ^ B);
  }
}

template <typename CharT>
void TWordSetFilter<CharT>::Clear() {
  Entries_.clear();
  MaxLength_ = 0;
  std::memset(Bits_, 0, sizeof Bits_);
}

template <typename CharT>
bool TWordSetFilter<CharT>::Add(int32_t Index, const CharT* Word, int32_t Length) {
  if (Length < 2) return false;
  // Lower-case letters rank as their capitals: case-sensitive words are not folded.
  auto Rank = [](uint32_t C) { return Rarity(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C); };
  int32_t Offset = 0;
  for (int32_t I = 1; I + 1 < Length; ++I)
    if (Rank(Word[I]) + Rank(Word[I + 1]) < Rank(Word[Offset]) + Rank(Word[Offset + 1])) Offset = I;
  const TEntry Entry{Key(Word + Offset), Offset, Index, Word, Length};
  Bits_[Entry.Key / 64] |= uint64_t{1} << (Entry.Key % 64);
  auto At = std::upper_bound(Entries_.begin(), Entries_.end(), Entry.Key,
                             [](uint16_t K, const TEntry& E) { return K < E.Key; });
  Entries_.insert(At, Entry);
  MaxLength_ = std::max(MaxLength_, Length);
  return true;
}

template <typename CharT>
bool TWordSetFilter<CharT>::Mark(const CharT* Text, int32_t TextLength, uint8_t* Present,
                                 bool StopAtFirst) const {
  bool Marked = false;
  int32_t Missing = 0;
  for (const TEntry& E : Entries_) Missing += Present[E.Index] == 0;
  const uint64_t* Bits = Bits_;
  auto Passes = [Bits, Text](int32_t P) {
    const uint16_t K = Key(Text + P);
    return (Bits[K / 64] >> (K % 64) & 1) != 0;
  };
  const int32_t Pairs = TextLength - 1;
  for (int32_t P = 0; P < Pairs && Missing > 0; ++P) {
    // Most pairs fail: test four at a time until one passes.
    while (P + 4 <= Pairs && !(Passes(P) | Passes(P + 1) | Passes(P + 2) | Passes(P + 3))) P += 4;
    while (P < Pairs && !Passes(P)) ++P;
    if (P == Pairs) break;
    const uint16_t K = Key(Text + P);
    auto E = std::lower_bound(Entries_.begin(), Entries_.end(), K,
                              [](const TEntry& Entry, uint16_t Key) { return Entry.Key < Key; });
    for (; E != Entries_.end() && E->Key == K; ++E) {
      const int32_t Start = P - E->Offset;
      if (Present[E->Index] != 0 || Start < 0 || E->Length > TextLength - Start) continue;
      if (std::memcmp(Text + Start, E->Word, sizeof(CharT) * static_cast<size_t>(E->Length)) != 0) continue;
      Present[E->Index] = 1;
      Marked = true;
      if (StopAtFirst) return true;
      --Missing;
    }
  }
  return Marked;
}

template class TWordSetFilter<uint8_t>;
template class TWordSetFilter<char16_t>;
