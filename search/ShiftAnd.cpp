#include "search/ShiftAnd.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Position 0 of a one-word row.
constexpr uint64_t kTop64 = uint64_t{1} << 63;
// Position 0 of a 32-bit row word.
constexpr uint32_t kTop32 = uint32_t{1} << 31;

// The first N positions of a one-word row (N = 0..64).
constexpr uint64_t LeadingOnes(int32_t N) { return N == 0 ? 0 : ~uint64_t{0} << (64 - N); }

// The one-word search. FixedK >= 0 fixes the number of error levels at compile time for the common
// K = 0, 1, 2; -1 takes it from K. Precondition: 1 <= M <= 64, 0 <= K <= M.
template <int FixedK, typename CharT>
void ShortSearch(const CharT* Text, int32_t Length, const uint64_t* Masks, int32_t M, int32_t RuntimeK,
                 int32_t StopAt, TMatchCollector& Out) {
  const int32_t K = FixedK >= 0 ? FixedK : RuntimeK;
  const uint64_t MatchBit = uint64_t{1} << (64 - M);
  uint64_t R[kShiftAndWordBits + 1];
  for (int32_t J = 0; J <= K; ++J) R[J] = LeadingOnes(J);

  for (int32_t T = 0; T < Length; ++T) {
    const uint64_t CM = Masks[static_cast<std::make_unsigned_t<CharT>>(Text[T])];
    uint64_t OldPrev = R[0];
    uint64_t NewPrev = ((OldPrev >> 1) | kTop64) & CM;
    R[0] = NewPrev;
    for (int32_t J = 1; J <= K; ++J) {
      const uint64_t Old = R[J];
      uint64_t New = OldPrev | ((Old >> 1) & CM) | ((OldPrev | NewPrev) >> 1);
      if (J == 1) New |= kTop64;
      R[J] = New;
      OldPrev = Old;
      NewPrev = New;
    }
    // Every level holds the positions of the level below it, so R[K] decides whether any level matched.
    if ((R[K] & MatchBit) == 0) continue;
    int32_t Level = 0;
    while ((R[Level] & MatchBit) == 0) ++Level;
    Out.AddMatch(T - M + 1, M, Level);
    if (Out.Count() >= StopAt) return;
  }
}

template <typename CharT>
void DispatchShortSearch(const CharT* Text, int32_t Length, const uint64_t* Masks, int32_t M, int32_t K,
                         int32_t StopAt, TMatchCollector& Out) {
  switch (K) {
    case 0:
      ShortSearch<0>(Text, Length, Masks, M, K, StopAt, Out);
      break;
    case 1:
      ShortSearch<1>(Text, Length, Masks, M, K, StopAt, Out);
      break;
    case 2:
      ShortSearch<2>(Text, Length, Masks, M, K, StopAt, Out);
      break;
    default:
      ShortSearch<-1>(Text, Length, Masks, M, K, StopAt, Out);
      break;
  }
}

// The row with the first N positions set, written into Row's Words words.
void SetLeadingOnes(uint32_t* Row, int32_t Words, int32_t N) {
  for (int32_t W = 0; W < Words; ++W) {
    const int32_t Left = N - 32 * W;
    Row[W] = Left >= 32 ? ~uint32_t{0} : Left <= 0 ? 0 : ~uint32_t{0} << (32 - Left);
  }
}

}  // namespace

template <typename CharT>
TBasicShiftAndSearcher<CharT>::TBasicShiftAndSearcher() = default;

template <typename CharT>
TBasicShiftAndSearcher<CharT>::~TBasicShiftAndSearcher() = default;

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::SetPattern(const TString& Pattern) {
  if (Pattern == Pattern_) return;
  Pattern_ = Pattern;
  PatternLength_ =
      static_cast<int32_t>(std::min<size_t>(Pattern_.size(), std::numeric_limits<int32_t>::max()));
  Prepared_ = false;
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::Prepare() {
  if (Prepared_) return;
  if (PatternLength_ <= kShiftAndWordBits) {
    ClearLong();
    PrepareShort();
  } else {
    PrepareLong();
  }
  Prepared_ = true;
}

template <typename CharT>
uint64_t* TBasicShiftAndSearcher<CharT>::MaskTable() {
  if constexpr (sizeof(CharT) == 1) {
    return Masks_.data();
  } else {
    if (!Masks_) Masks_ = std::make_unique<uint64_t[]>(kAlphabet);  // zero-filled
    return Masks_.get();
  }
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::PrepareShort() {
  if (PatternLength_ == 0 && MaskedPattern_.empty()) return;  // nothing to clear, nothing to set
  uint64_t* Masks = MaskTable();
  // Only the characters of the previous pattern have bits set; clearing them empties the table.
  for (CharT C : MaskedPattern_) Masks[static_cast<UChar>(C)] = 0;
  MaskedPattern_.clear();
  for (int32_t I = 0; I < PatternLength_; ++I) {
    Masks[static_cast<UChar>(Pattern_[I])] |= uint64_t{1} << (63 - I);
  }
  MaskedPattern_ = Pattern_;
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::ClearLong() {
  for (CharT C : RowedPattern_) RowOf_[static_cast<UChar>(C)] = 0;
  RowedPattern_.clear();
  RowWords_.clear();
  Planes_.reset();
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::PrepareLong() {
  ClearLong();
  if (RowOf_.empty()) RowOf_.assign(kAlphabet, 0);
  int32_t Rows = 1;  // row 0: the zero row of every character outside the pattern
  for (int32_t I = 0; I < PatternLength_; ++I) {
    uint32_t& Row = RowOf_[static_cast<UChar>(Pattern_[I])];
    if (Row == 0) Row = static_cast<uint32_t>(Rows++);
  }
  RowedPattern_ = Pattern_;
  Planes_ = std::make_unique<TBitPlanes>(Rows, PatternLength_);
  for (int32_t I = 0; I < PatternLength_; ++I) {
    Planes_->Words(static_cast<int32_t>(RowOf_[static_cast<UChar>(Pattern_[I])]))[BitWord(I)] |= BitMask(I);
  }
  for (int32_t Row = 0; Row < Rows; ++Row) RowWords_.push_back(Planes_->Words(Row));
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::Search(const CharT* Text, int32_t Length, bool FindAll,
                                           ShiftAndTypes::TSearchResults& Results) {
  if (PatternLength_ == 0) return;
  TMatchCollector Out(Results);
  Run(Text, Length, FindAll ? std::numeric_limits<int32_t>::max() : 1, Out);
}

template <typename CharT>
bool TBasicShiftAndSearcher<CharT>::SearchFirst(const CharT* Text, int32_t Length, TShiftAndMatch& Match) {
  if (PatternLength_ == 0) return false;
  TMatchCollector Out(FirstResults_);
  // A kept match can only be replaced while it is the last one: once a second is kept, the first is final.
  Run(Text, Length, 2, Out);
  if (FirstResults_.empty()) return false;
  Match = FirstResults_.front();
  return true;
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::Run(const CharT* Text, int32_t Length, int32_t StopAt,
                                        TMatchCollector& Out) {
  Prepare();
  if (Text == nullptr || Length <= 0) return;
  const int32_t K = std::min<int32_t>(MaxErrors, PatternLength_);
  if (PatternLength_ <= kShiftAndWordBits) {
    DispatchShortSearch(Text, Length, MaskTable(), PatternLength_, K, StopAt, Out);
  } else {
    SearchLong(Text, Length, K, StopAt, Out);
  }
}

template <typename CharT>
void TBasicShiftAndSearcher<CharT>::SearchLong(const CharT* Text, int32_t Length, int32_t K, int32_t StopAt,
                                               TMatchCollector& Out) {
  const int32_t M = PatternLength_;
  const int32_t Words = Planes_->WordsPerRow();
  const size_t LevelWords = static_cast<size_t>(K + 1) * static_cast<size_t>(Words);
  // Two sets of K + 1 rows: Cur holds the rows after the previous character, Next receives the new ones.
  Work_.assign(2 * LevelWords, 0);
  uint32_t* Cur = Work_.data();
  uint32_t* Next = Cur + LevelWords;
  for (int32_t J = 0; J <= K; ++J) SetLeadingOnes(Cur + static_cast<size_t>(J) * Words, Words, J);
  const int32_t MatchWord = BitWord(M - 1);
  const uint32_t MatchMask = BitMask(M - 1);
  // Positions move up by at most one per character, so on ordinary text the set positions stay in the
  // first words of a long pattern. Each set of rows has a count of leading words outside which all its
  // words are zero (Used); a character only needs the words up to one past the used ones, and the
  // words skipped are exactly those that would have stayed zero. Since every level holds the positions
  // of the level below it, the used words of row K are those of all rows.
  int32_t CurUsed = BitWord(K + 31);
  int32_t NextUsed = 0;

  for (int32_t T = 0; T < Length; ++T) {
    const uint32_t* CM = RowWords_[RowOf_[static_cast<UChar>(Text[T])]];
    const int32_t Span = std::min(CurUsed + 1, Words);
    // A shift by one carries the lowest bit of word W - 1 into the top of word W; into word 0 it
    // brings Top where the recurrence adds it.
    uint32_t Carry = kTop32;
    for (int32_t W = 0; W < Span; ++W) {
      const uint32_t Old = Cur[W];
      Next[W] = ((Old >> 1) | Carry) & CM[W];
      Carry = Old << 31;
    }
    for (int32_t J = 1; J <= K; ++J) {
      const uint32_t* OldPrev = Cur + static_cast<size_t>(J - 1) * Words;
      const uint32_t* NewPrev = Next + static_cast<size_t>(J - 1) * Words;
      const uint32_t* OldRow = Cur + static_cast<size_t>(J) * Words;
      uint32_t* NewRow = Next + static_cast<size_t>(J) * Words;
      uint32_t CarryOld = 0;
      uint32_t CarryBoth = J == 1 ? kTop32 : 0;
      for (int32_t W = 0; W < Span; ++W) {
        const uint32_t Old = OldRow[W];
        const uint32_t Both = OldPrev[W] | NewPrev[W];
        NewRow[W] = OldPrev[W] | (((Old >> 1) | CarryOld) & CM[W]) | ((Both >> 1) | CarryBoth);
        CarryOld = Old << 31;
        CarryBoth = Both << 31;
      }
    }
    // Words beyond the span are zero in the new rows; clear what an older state left there.
    for (int32_t J = 0; J <= K && NextUsed > Span; ++J) {
      std::fill(Next + static_cast<size_t>(J) * Words + Span,
                Next + static_cast<size_t>(J) * Words + NextUsed, 0);
    }
    const uint32_t* NewTop = Next + static_cast<size_t>(K) * Words;
    int32_t Used = Span;
    while (Used > 0 && NewTop[Used - 1] == 0) --Used;
    NextUsed = CurUsed;
    CurUsed = Used;
    std::swap(Cur, Next);

    if (CurUsed <= MatchWord || (Cur[static_cast<size_t>(K) * Words + MatchWord] & MatchMask) == 0) continue;
    int32_t Level = 0;
    while ((Cur[static_cast<size_t>(Level) * Words + MatchWord] & MatchMask) == 0) ++Level;
    Out.AddMatch(T - M + 1, M, Level);
    if (Out.Count() >= StopAt) return;
  }
}

template class TBasicShiftAndSearcher<char>;
template class TBasicShiftAndSearcher<char16_t>;
