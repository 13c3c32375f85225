#include "search/StrmScan.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/StrUtils.h"
#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"
#include "search/NLSProcsDyn.h"
#include "search/TextAuto.h"

namespace {

constexpr int32_t kEncodingCount = 3;  // ANSI, OEM, Unicode
// Options and sample size of the charset test that moves UTF-16 to the front of the encodings.
constexpr uint8_t kUnicodeTestOptions = 5;
constexpr int32_t kUnicodeTestBytes = 4096;

// Whether an occurrence of B can overlap one of A in some text: one holds the other, or the end of one
// is the start of the other.
bool WordsOverlap(const std::u16string& A, const std::u16string& B) {
  if (A.find(B) != std::u16string::npos || B.find(A) != std::u16string::npos) return true;
  const size_t Shorter = std::min(A.size(), B.size());
  for (size_t N = 1; N < Shorter; ++N) {
    if (A.compare(A.size() - N, N, B, 0, N) == 0 || B.compare(B.size() - N, N, A, 0, N) == 0) return true;
  }
  return false;
}

bool IsAsciiAlphaNum(uint8_t B) {
  return (B >= '0' && B <= '9') || (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z');
}

}  // namespace

struct TStreamScanner::TScanState {
  TScanEncoding* FoundEncoding = nullptr;
  TInt32Vector* Positions = nullptr;  // null: no vectors
  TInt32Vector* Lengths = nullptr;
  TScanResult Result = srNotFound;
  int32_t Window = 0;       // index of the current window
  int32_t Position = 0;     // stream position after the window
  int32_t Carry = 0;        // bytes carried into the window from the last one
  int32_t Total = 0;        // bytes in the window
  int32_t BlockStart = 0;   // stream position of the window's first byte
  bool LastWindow = false;  // the window reaches the end of the stream
  bool ZeroHits = false;    // later words must not match inside accepted hits
  bool HitInWindow = false;
  int32_t FoundCount[kEncodingCount] = {};
  // The window whose fold the work buffer of an encoding holds, and whether hits were zeroed in the
  // half of it that is carried over.
  int32_t FoldedWindow[kEncodingCount] = {-1, -1, -1};
  bool Dirty[kEncodingCount] = {};
  // The words are matched in the raw window of an encoding instead of its folded work buffer (one exact
  // word: nothing is zeroed, and the word's finder folds as it goes, or folding is a copy).
  bool Raw[kEncodingCount] = {};
  // The text the words are matched in, per encoding.
  uint8_t* Text[kEncodingCount] = {};
};

TStreamScanner::TStreamScanner() = default;
TStreamScanner::~TStreamScanner() = default;

void TStreamScanner::SetPattern(const std::u16string& Pattern) {
  if (Pattern.size() > static_cast<size_t>(kMaxScanPatternLength))
    throw EStreamScanner("Search pattern is too long");
  if (Pattern == Pattern_) return;
  Pattern_ = Pattern;
  Changed_ = true;
}

void TStreamScanner::SetCaseSensitive(bool Value) {
  if (Value == CaseSensitive_) return;
  CaseSensitive_ = Value;
  Changed_ = true;
}

void TStreamScanner::SetLogic(TSearchLogic Value) {
  if (Value == Logic_) return;
  Logic_ = Value;
  Changed_ = true;
}

TStreamScanOptions TStreamScanner::GetOptions() const {
  TStreamScanOptions Options;
  auto& [Pattern, CaseSensitive, Logic, Whole, FuzzyLevel] = Options;
  Pattern = Pattern_;
  CaseSensitive = CaseSensitive_;
  Logic = Logic_;
  Whole = WholeWords;
  FuzzyLevel = Fuzzy;
  return Options;
}

void TStreamScanner::SetOptions(const TStreamScanOptions& Options) {
  const auto& [Pattern, CaseSensitive, Logic, Whole, FuzzyLevel] = Options;
  SetPattern(Pattern);
  SetCaseSensitive(CaseSensitive);
  SetLogic(Logic);
  WholeWords = Whole;
  Fuzzy = FuzzyLevel;
}

void TStreamScanner::Prepare() {
  const uint8_t Ansi = qvnls::GetAnsiCharset();
  const uint8_t Oem = qvnls::GetOemCharset();
  if (!Changed_ && Ansi == PreparedAnsi_ && Oem == PreparedOem_) return;
  Changed_ = false;
  PreparedAnsi_ = Ansi;
  PreparedOem_ = Oem;

  const uint8_t* OemToAnsi = OemToAnsiTable();
  for (int B = 0; B < 256; ++B) {
    WordChar8_[0][B] = IsAsciiAlphaNum(static_cast<uint8_t>(B)) || IsCharAlphaA(static_cast<char>(B));
  }
  for (int B = 0; B < 256; ++B) WordChar8_[1][B] = WordChar8_[0][OemToAnsi[B]];
  ByteFolder_[seAnsi].SetTable(CaseSensitive_ ? nullptr : AnsiUpperTable());
  OemTable8_ = CaseSensitive_ ? OemToAnsi : OemToAnsiUpperTable();
  ByteFolder_[seOem].SetTable(OemTable8_);
  UnitFolder_.SetTable(CaseSensitive_ ? nullptr : qvnls::WideUpperTable());

  BuildWords();
}

void TStreamScanner::BuildWords() {
  // The pieces as typed, beside the words they give.
  struct TPiece {
    std::u16string Source;
    std::u16string Word;
  };
  std::vector<TPiece> Pieces;
  auto AddPiece = [&](const std::u16string& Source) {
    std::u16string Word = CaseSensitive_ ? Source : WideUpperStr(Source);
    for (const TPiece& P : Pieces)
      if (P.Word == Word) return;
    Pieces.push_back({Source, std::move(Word)});
  };
  if (Logic_ == slEntirePhrase) {
    if (!Pattern_.empty()) AddPiece(Pattern_);
  } else {
    size_t From = 0;
    while (From <= Pattern_.size()) {
      size_t To = Pattern_.find(u' ', From);
      if (To == std::u16string::npos) To = Pattern_.size();
      if (To > From) AddPiece(Pattern_.substr(From, To - From));
      From = To + 1;
    }
  }
  std::stable_sort(Pieces.begin(), Pieces.end(),
                   [](const TPiece& A, const TPiece& B) { return A.Word.size() > B.Word.size(); });

  Words_.Clear();
  WordForms_.clear();
  const uint8_t* AnsiUpper = AnsiUpperTable();
  // What the window of the OEM encoding can hold: the images of the OEM bytes.
  bool OemImage[256] = {};
  const uint8_t* OemWindow = CaseSensitive_ ? OemToAnsiTable() : OemToAnsiUpperTable();
  for (int B = 0; B < 256; ++B) OemImage[OemWindow[B]] = true;

  bool AllAnsi = true, AnyAnsi = false, AllOem = true, OemDiffers = false;
  for (const TPiece& P : Pieces) {
    TWord Form;
    Form.Wide = P.Word;
    Form.Holds = kScanUnicode;
    const int32_t Length = static_cast<int32_t>(P.Word.size());
    Form.Pieces.Split(Length, FuzzyErrors(Length));
    // A word can occur in 8-bit text only when the Windows code page holds every character of it; the
    // 8-bit form is folded with the table that folds the window.
    const std::string Ansi = WideToCharset(P.Source, PreparedAnsi_);
    if (Ansi.size() == P.Source.size() && CharsetToWide(Ansi, PreparedAnsi_) == P.Source) {
      Form.Holds |= kScanAnsi;
      Form.Narrow = Ansi;
      if (!CaseSensitive_)
        for (char& Ch : Form.Narrow) Ch = static_cast<char>(AnsiUpper[static_cast<uint8_t>(Ch)]);
      const bool InOem = std::all_of(Form.Narrow.begin(), Form.Narrow.end(),
                                     [&](char Ch) { return OemImage[static_cast<uint8_t>(Ch)]; });
      if (InOem) {
        Form.Holds |= kScanOem;
        OemDiffers = OemDiffers || AnsiStrToOem(Ansi) != Ansi;
      }
    }
    AllAnsi = AllAnsi && (Form.Holds & kScanAnsi) != 0;
    AnyAnsi = AnyAnsi || (Form.Holds & kScanAnsi) != 0;
    AllOem = AllOem && (Form.Holds & kScanOem) != 0;
    Words_.Add(Form.Wide);
    WordForms_.push_back(std::move(Form));
  }

  PossibleEncodings_ = 0;
  if (!WordForms_.empty()) {
    // All words must meet in one encoding; any word alone is enough in the other logics.
    const bool All = Logic_ == slAllWords;
    PossibleEncodings_ = kScanUnicode;
    if (All ? AllAnsi : AnyAnsi) PossibleEncodings_ |= kScanAnsi;
    // OEM text is worth a pass of its own only when a word is written differently there.
    if (OemDiffers && (!All || AllOem)) PossibleEncodings_ |= kScanOem;
  }
  // Zeroing an accepted hit keeps later words out of it. When no word can overlap another (none holds
  // another, none ends with what another begins with) and no word holds a zero character, zeroing
  // changes nothing, and exact words are searched in the raw window instead (see Scan). The finders
  // point into the words, which stay where they are from here on.
  WordsOverlap_ = false;
  for (size_t I = 0; I < WordForms_.size() && !WordsOverlap_; ++I) {
    const std::u16string& A = WordForms_[I].Wide;
    WordsOverlap_ = A.find(u'\0') != std::u16string::npos;
    for (size_t J = I + 1; J < WordForms_.size() && !WordsOverlap_; ++J)
      WordsOverlap_ = WordsOverlap(A, WordForms_[J].Wide);
  }
  const uint8_t* OemTable = CaseSensitive_ ? OemToAnsiTable() : OemToAnsiUpperTable();
  const bool RawWords = !WordsOverlap_ && WordForms_.size() <= kMaxRawWords;
  for (TWord& Form : WordForms_) {
    if (!RawWords) break;
    const auto* Narrow = reinterpret_cast<const uint8_t*>(Form.Narrow.data());
    const auto Length = static_cast<int32_t>(Form.Wide.size());
    if (Form.Holds & kScanAnsi) {
      Form.Raw[seAnsi] = CaseSensitive_ || Form.Finder8[seAnsi].Prepare(AnsiUpper, Narrow, Length);
    }
    if (Form.Holds & kScanOem) Form.Raw[seOem] = Form.Finder8[seOem].Prepare(OemTable, Narrow, Length);
    Form.Raw[seUnicode] =
        CaseSensitive_ || Form.FinderWide.Prepare(qvnls::WideUpperTable(), Form.Wide.data(), Length);
  }
  for (TWord& Form : WordForms_) {
    Form.Exact8 = qvnls::PrepareBufPattern(Form.Narrow.data(), static_cast<int32_t>(Form.Narrow.size()));
    Form.ExactWide = qvnls::PrepareWordsPattern(Form.Wide.data(), static_cast<int32_t>(Form.Wide.size()));
    const auto Length = static_cast<int32_t>(Form.Wide.size());
    if (Length >= TSkipFinder<char16_t>::kMinLength) {
      Form.SkipWide = std::make_unique<TSkipFinder<char16_t>>();
      Form.SkipWide->Prepare(Form.Wide.data(), Length);
      if (Form.Holds & kScanAnsi) {
        Form.Skip8 = std::make_unique<TSkipFinder<uint8_t>>();
        Form.Skip8->Prepare(reinterpret_cast<const uint8_t*>(Form.Narrow.data()), Length);
      }
    }
  }
  Filter8_.Clear();
  FilterWide_.Clear();
  InFilter8_.assign(WordForms_.size(), 0);
  InFilterWide_.assign(WordForms_.size(), 0);
  for (size_t W = 0; W < WordForms_.size(); ++W) {
    const TWord& Form = WordForms_[W];
    const auto Index = static_cast<int32_t>(W);
    if (Form.Holds & kScanAnsi) {
      InFilter8_[W] = Filter8_.Add(Index, reinterpret_cast<const uint8_t*>(Form.Narrow.data()),
                                   static_cast<int32_t>(Form.Narrow.size()));
    }
    InFilterWide_[W] = FilterWide_.Add(Index, Form.Wide.data(), static_cast<int32_t>(Form.Wide.size()));
  }
  const size_t Slots = kEncodingCount * WordForms_.size();
  NextStart_.assign(Slots, 0);
  FoundWord_.assign(Slots, 0);
}

bool TStreamScanner::IsPatternEmpty() {
  Prepare();
  return PossibleEncodings_ == 0;
}

const TCaseSensWideStrLst& TStreamScanner::GetWords() {
  Prepare();
  return Words_;
}

TScanEncodings TStreamScanner::GetPossibleEncodings() {
  Prepare();
  return PossibleEncodings_;
}

void TStreamScanner::EnsureBuffers() {
  // char16_t storage keeps every buffer aligned for the UTF-16 matchers; the 8-bit passes use its bytes.
  constexpr size_t kUnits = kScanWindowBytes / 2;
  if (!ReadBuffer_) ReadBuffer_ = std::make_unique<char16_t[]>(kUnits);
  for (auto& Work : WorkBuffer_)
    if (!Work) Work = std::make_unique<char16_t[]>(kUnits);
}

int32_t TStreamScanner::ReadWindowPart(uint8_t* Buffer, int32_t Count) {
  // A stream returns fewer bytes than asked only at its end; reading on until the window is full also
  // serves a stream that delivers its bytes in smaller pieces.
  int32_t Done = 0;
  while (Done < Count) {
    const int32_t Got = Stream->Read(Buffer + Done, Count - Done);
    if (Got <= 0) break;
    Done += Got;
  }
  return Done;
}

void TStreamScanner::FoldWindow(TScanEncoding E, TScanState& S) {
  uint8_t* Raw = reinterpret_cast<uint8_t*>(ReadBuffer_.get());
  if (S.Raw[E]) {
    S.Text[E] = Raw;
    return;
  }
  char16_t* Units = WorkBuffer_[E].get();
  uint8_t* Work = reinterpret_cast<uint8_t*>(Units);
  // The carried half was folded with the last window: move it unless hits were zeroed in it.
  int32_t From = 0;
  if (S.Carry == kScanCarryBytes && S.FoldedWindow[E] == S.Window - 1 && !S.Dirty[E]) {
    std::memmove(Work, Work + kScanCarryBytes, kScanCarryBytes);
    From = kScanCarryBytes;
  }
  if (E == seUnicode) {
    UnitFolder_.Fold(Raw + From, Units + From / 2, S.Total / 2 - From / 2);
  } else {
    ByteFolder_[E].Fold(Raw + From, Work + From, S.Total - From);
  }
  S.FoldedWindow[E] = S.Window;
  S.Dirty[E] = false;
  S.Text[E] = Work;
}

bool TStreamScanner::FoldAndMarkFirst(TScanEncoding E, TScanState& S) {
  constexpr int32_t kPiece = 4096;  // bytes folded before the filter looks at them
  uint8_t* Raw = reinterpret_cast<uint8_t*>(ReadBuffer_.get());
  char16_t* Units = WorkBuffer_[E].get();
  uint8_t* Work = reinterpret_cast<uint8_t*>(Units);
  int32_t Done = 0;
  if (S.Carry == kScanCarryBytes && S.FoldedWindow[E] == S.Window - 1 && !S.Dirty[E]) {
    std::memmove(Work, Work + kScanCarryBytes, kScanCarryBytes);
    Done = kScanCarryBytes;
  }
  S.FoldedWindow[E] = S.Window;
  S.Dirty[E] = false;
  S.Text[E] = Work;
  const bool Wide = E == seUnicode;
  const int32_t C = Wide ? 2 : 1;
  // A word that ends in a piece and begins before it is looked for again with that piece.
  const int32_t Overlap = ((Wide ? FilterWide_.MaxLength() : Filter8_.MaxLength()) - 1) * C;
  Present_ = Unfiltered_[E];
  int32_t MarkFrom = 0;
  for (;;) {
    const int32_t To = std::min(S.Total, Done + kPiece);
    if (Wide) {
      UnitFolder_.Fold(Raw + Done, Units + Done / 2, To / 2 - Done / 2);
    } else {
      ByteFolder_[E].Fold(Raw + Done, Work + Done, To - Done);
    }
    Done = To;
    const bool Marked =
        Wide ? FilterWide_.Mark(Units + MarkFrom / 2, To / 2 - MarkFrom / 2, Present_.data(), true)
             : Filter8_.Mark(Work + MarkFrom, To - MarkFrom, Present_.data(), true);
    if (Marked) return true;
    if (To == S.Total) return false;
    MarkFrom = std::max(0, To - Overlap) & ~1;
  }
}

bool TStreamScanner::IsWordCharAt(TScanEncoding E, int32_t Position, const TScanState& S) {
  if (Position < 0) return false;
  const int32_t C = E == seUnicode ? 2 : 1;
  uint8_t Bytes[2] = {};
  if (Position >= S.BlockStart && Position + C <= S.BlockStart + S.Total) {
    std::memcpy(Bytes, reinterpret_cast<const uint8_t*>(ReadBuffer_.get()) + (Position - S.BlockStart),
                static_cast<size_t>(C));
  } else {
    // Past the window: past the stream's end when the window is its last, otherwise read from the
    // stream, which then returns to where the scan is.
    if (S.LastWindow && Position >= S.BlockStart) return false;
    if (Stream->GetSize() < Position + C) return false;
    Stream->Seek(Position);
    const int32_t Got = Stream->Read(Bytes, C);
    Stream->Seek(S.Position);
    if (Got < C) return false;
  }
  if (E == seUnicode) return qvnls::UnicodeIsAlphaNum(static_cast<char16_t>(Bytes[0] | (Bytes[1] << 8)));
  return WordChar8_[E == seOem ? 1 : 0][Bytes[0]];
}

void TStreamScanner::SkipWord(TScanEncoding E, int32_t W, TScanState& S) {
  const int32_t C = E == seUnicode ? 2 : 1;
  const auto L = static_cast<int32_t>(WordForms_[static_cast<size_t>(W)].Wide.size());
  NextStart_[static_cast<size_t>(E) * WordForms_.size() + static_cast<size_t>(W)] =
      S.Position - std::min((L - 1) * C, kScanCarryBytes);
}

bool TStreamScanner::ScanWord(TScanEncoding E, int32_t W, TScanState& S) {
  const TWord& Word = WordForms_[static_cast<size_t>(W)];
  const bool Wide = E == seUnicode;
  const int32_t C = Wide ? 2 : 1;
  const int32_t L = static_cast<int32_t>(Word.Wide.size());
  const bool IsFuzzy = Fuzzy == 1 && L > kFuzzyMinLength;
  const int32_t K = IsFuzzy ? FuzzyErrors(L) : 0;
  const size_t Slot = static_cast<size_t>(E) * WordForms_.size() + static_cast<size_t>(W);
  uint8_t* Text = S.Text[E];

  if (IsFuzzy) {
    if (Wide) {
      if (!SearcherWide_) SearcherWide_ = std::make_unique<TWideShiftAndSearcher>();
      SearcherWide_->SetPattern(Word.Wide);
      SearcherWide_->MaxErrors = static_cast<uint16_t>(K);
    } else {
      if (!Searcher8_) Searcher8_ = std::make_unique<TShiftAndSearcher>();
      Searcher8_->SetPattern(Word.Narrow);
      Searcher8_->MaxErrors = static_cast<uint16_t>(K);
    }
  }

  // A match has at least L - K characters (K deletions).
  const int32_t MinRest = (L - K) * C;
  int32_t MatchBytes = L * C;
  int32_t Offset = NextStart_[Slot] - S.BlockStart;
  assert(Offset >= 0 && "a word's next search starts before the window");
  Offset = std::max(Offset, 0);
  int32_t Rest = S.Total - Offset;
  int32_t LastHitEnd = -1;

  while (Rest >= MinRest) {
    int32_t H = 0;
    if (IsFuzzy) {
      TShiftAndMatch Match;
      const bool Got =
          Wide ? FirstFuzzyMatch(*SearcherWide_, Word.Wide.data(), L, Word.Pieces,
                                 reinterpret_cast<const char16_t*>(Text + Offset), Rest / 2, Match)
               : FirstFuzzyMatch(*Searcher8_, Word.Narrow.data(), L, Word.Pieces,
                                 reinterpret_cast<const char*>(Text + Offset), Rest, Match);
      if (!Got) break;
      // A match that needs deletions right at the start of the text is reported before it: it starts
      // at the first character searched.
      int32_t Start = Match.Start;
      int32_t Length = Match.Length;
      if (Start < 0) {
        Length += Start;
        Start = 0;
      }
      const bool Space = Wide ? reinterpret_cast<const char16_t*>(Text + Offset)[Start] == u' '
                              : Text[Offset + Start] == ' ';
      if (Space) {
        ++Start;
        --Length;
      }
      H = Offset + Start * C;
      MatchBytes = Length * C;
    } else {
      int32_t I = -1;
      const bool Copies = Wide ? UnitFolder_.Copies() : ByteFolder_[E].Copies();
      if (Wide ? Word.SkipWide != nullptr : Word.Skip8 != nullptr) {
        // A raw window is compared through the encoding's folding table; a folded one as it stands.
        if (Wide) {
          const char16_t* Table = S.Raw[E] && !Copies ? qvnls::WideUpperTable() : nullptr;
          I = Word.SkipWide->Find(Table, reinterpret_cast<const char16_t*>(Text + Offset), Rest / 2);
        } else {
          const uint8_t* Table = nullptr;
          if (S.Raw[E] && !Copies) Table = E == seOem ? OemTable8_ : AnsiUpperTable();
          I = Word.Skip8->Find(Table, Text + Offset, Rest);
        }
      } else if (S.Raw[E] && !Copies) {
        I = Wide ? Word.FinderWide.Find(reinterpret_cast<const char16_t*>(Text + Offset), Rest / 2)
                 : Word.Finder8[E].Find(Text + Offset, Rest);
      } else {
        I = Wide ? qvnls::FindWordsInBuf(Word.ExactWide, Text + Offset, Rest / 2)
                 : qvnls::FindInBuf(Word.Exact8, Text + Offset, Rest);
      }
      if (I < 0) break;
      H = Offset + I * C;
    }

    const int32_t StreamPos = S.BlockStart + H;
    if (!WholeWords || (!IsWordCharAt(E, StreamPos - C, S) && !IsWordCharAt(E, StreamPos + MatchBytes, S))) {
      S.Result = srFound;
      if (FoundWord_[Slot] == 0) {
        FoundWord_[Slot] = 1;
        ++S.FoundCount[E];
      }
      *S.FoundEncoding = E;
      if (S.Positions != nullptr) {
        S.Positions->Add(StreamPos);
        S.Lengths->Add(MatchBytes / C);
        S.HitInWindow = true;
      } else if (Logic_ != slAllWords || S.FoundCount[E] >= static_cast<int32_t>(WordForms_.size())) {
        return true;
      }
      if (S.ZeroHits) {
        std::memset(Text + H, 0, static_cast<size_t>(MatchBytes));
        if (H + MatchBytes > kScanCarryBytes) S.Dirty[E] = true;
      }
      LastHitEnd = StreamPos + MatchBytes;
      Offset = H + MatchBytes;
    } else {
      // A candidate that touches a word character may still overlap a whole word that starts inside it
      // ("10.10" in "210.10.10"): search again one character after its start.
      Offset = H + C;
    }
    Rest = S.Total - Offset;
  }

  // The next window searches again the last characters that can begin a hit straddling this window's
  // end (with insertions, a fuzzy hit spans up to L + K characters), but never inside the last
  // accepted hit.
  int32_t Keep = std::min((L + K - 1) * C, kScanCarryBytes);
  if (LastHitEnd >= 0) Keep = std::min(Keep, S.Position - LastHitEnd);
  NextStart_[Slot] = S.Position - Keep;
  return false;
}

TScanResult TStreamScanner::Scan(TScanEncodings Encodings, TScanEncoding& FoundEncoding,
                                 TInt32Vector* Positions, TInt32Vector* Lengths) {
  Prepare();
  if (Encodings == 0 || Encodings == kScanFileName) Encodings = kScanAnsi;
  Encodings &= PossibleEncodings_;
  if (Encodings == 0) return srNotFound;
  if (Stream == nullptr) throw EStreamScanner("No stream to scan");

  Stream->Seek(0);
  EnsureBuffers();
  TScanEncoding Order[kEncodingCount];
  int32_t OrderCount = 0;
  for (TScanEncoding E : {seAnsi, seOem, seUnicode})
    if (Encodings & ScanEncodingBit(E)) Order[OrderCount++] = E;
  if (OrderCount > 1 && (Encodings & kScanUnicode) != 0 &&
      GetStreamCharset(*Stream, kUnicodeTestOptions, kUnicodeTestBytes) == qvnls::kCharsetUtf16LE) {
    std::rotate(Order, Order + OrderCount - 1, Order + OrderCount);
  }
  std::fill(NextStart_.begin(), NextStart_.end(), 0);
  std::fill(FoundWord_.begin(), FoundWord_.end(), 0);

  TScanState S;
  S.FoundEncoding = &FoundEncoding;
  if (Positions != nullptr && Lengths != nullptr) {
    S.Positions = Positions;
    S.Lengths = Lengths;
  }
  const int32_t WordCount = static_cast<int32_t>(WordForms_.size());
  // Fuzzy hits vary in extent, so any fuzzy word needs the zeroing (and the folded windows).
  bool AllExact = true;
  for (const TWord& Form : WordForms_)
    AllExact = AllExact && !(Fuzzy == 1 && static_cast<int32_t>(Form.Wide.size()) > kFuzzyMinLength);
  S.ZeroHits = WordCount > 1 && (WordsOverlap_ || !AllExact);
  for (int E = 0; E < kEncodingCount && AllExact && !S.ZeroHits; ++E) {
    S.Raw[E] = true;
    for (const TWord& Form : WordForms_)
      if (Form.Holds & ScanEncodingBit(static_cast<TScanEncoding>(E))) S.Raw[E] = S.Raw[E] && Form.Raw[E];
  }
  // The encodings whose windows go through the word-set filter first: a folded window (the filter
  // compares folded characters) and enough exact words that one pass beats a search per word. A word the
  // filter does not hold (too short, or fuzzy) is searched in every window.
  bool Filter[kEncodingCount] = {};
  // Every word the encoding holds is in its filter (none is searched in every window).
  bool AllFiltered[kEncodingCount] = {};
  for (int E = 0; E < kEncodingCount; ++E) {
    const std::vector<uint8_t>& InFilter = E == seUnicode ? InFilterWide_ : InFilter8_;
    std::vector<uint8_t>& Unfiltered = Unfiltered_[E];
    Unfiltered.assign(static_cast<size_t>(WordCount), 1);
    if (S.Raw[E]) continue;
    int32_t Exact = 0;
    for (int32_t W = 0; W < WordCount; ++W) {
      const TWord& Form = WordForms_[static_cast<size_t>(W)];
      if ((Form.Holds & ScanEncodingBit(static_cast<TScanEncoding>(E))) == 0) continue;
      const bool IsFuzzy = Fuzzy == 1 && static_cast<int32_t>(Form.Wide.size()) > kFuzzyMinLength;
      if (IsFuzzy || InFilter[static_cast<size_t>(W)] == 0) continue;
      Unfiltered[static_cast<size_t>(W)] = 0;
      ++Exact;
    }
    Filter[E] = Exact >= kMinFilteredWords;
    AllFiltered[E] = true;
    for (int32_t W = 0; W < WordCount; ++W)
      if (WordForms_[static_cast<size_t>(W)].Holds & ScanEncodingBit(static_cast<TScanEncoding>(E)))
        AllFiltered[E] = AllFiltered[E] && Unfiltered[static_cast<size_t>(W)] == 0;
  }
  // A search that any one exact hit decides needs only the first word the filter finds: that word's
  // search then finds the hit. (A whole-word search may turn that occurrence down and need the others.)
  const bool StopAtFirst = S.Positions == nullptr && Logic_ != slAllWords && !WholeWords;
  uint8_t* Raw = reinterpret_cast<uint8_t*>(ReadBuffer_.get());

  for (;; ++S.Window) {
    const int32_t Got = ReadWindowPart(Raw + S.Carry, kScanWindowBytes - S.Carry);
    if (Got == 0) break;
    S.Position += Got;
    if (OnProgress && !OnProgress(S.Position)) return srCancelled;
    S.Total = S.Carry + Got;
    S.BlockStart = S.Position - S.Total;
    S.LastWindow = S.Total < kScanWindowBytes;

    for (int32_t I = 0; I < OrderCount; ++I) {
      const TScanEncoding E = Order[I];
      // Where one word decides and every word is in the filter, only the word found first is searched,
      // and it is found where the filter found it: the window is folded no further.
      const bool FirstOnly = Filter[E] && StopAtFirst && AllFiltered[E];
      if (FirstOnly) {
        FoldAndMarkFirst(E, S);
      } else {
        FoldWindow(E, S);
      }
      S.HitInWindow = false;
      if (Filter[E] && !FirstOnly) {
        // A word the filter does not look for (fuzzy here) counts as present.
        Present_ = Unfiltered_[E];
        if (E == seUnicode) {
          FilterWide_.Mark(reinterpret_cast<const char16_t*>(S.Text[E]), S.Total / 2, Present_.data(),
                           StopAtFirst);
        } else {
          Filter8_.Mark(S.Text[E], S.Total, Present_.data(), StopAtFirst);
        }
      }
      for (int32_t W = 0; W < WordCount; ++W) {
        if ((WordForms_[static_cast<size_t>(W)].Holds & ScanEncodingBit(E)) == 0) continue;
        if (Filter[E] && Present_[static_cast<size_t>(W)] == 0) {
          SkipWord(E, W, S);
        } else if (ScanWord(E, W, S)) {
          return srFound;
        }
      }
      // Every hit of a FindAll lies in one encoding: the first that has one.
      if (S.HitInWindow) {
        Order[0] = E;
        OrderCount = 1;
        break;
      }
    }

    if (S.LastWindow) break;
    std::memmove(Raw, Raw + kScanCarryBytes, kScanCarryBytes);
    S.Carry = kScanCarryBytes;
  }

  if (S.Result == srFound && Logic_ == slAllWords && S.FoundCount[FoundEncoding] < WordCount)
    S.Result = srNotFound;
  return S.Result;
}

TScanResult TStreamScanner::Find(TScanEncodings Encodings, TScanEncoding& FoundEncoding) {
  return Scan(Encodings, FoundEncoding, nullptr, nullptr);
}

TScanResult TStreamScanner::FindAll(TScanEncodings Encodings, TScanEncoding& FoundEncoding,
                                    TInt32Vector& Positions, TInt32Vector& Lengths) {
  Positions.Clear();
  Lengths.Clear();
  const TScanResult Result = Scan(Encodings, FoundEncoding, &Positions, &Lengths);
  if (Result == srFound) {
    // Ties (a shorter word inside a longer one's hit across a window end) are ordered by length.
    SortVectors(Positions, {&Lengths}, true);
  } else {
    Positions.Clear();
    Lengths.Clear();
  }
  return Result;
}
