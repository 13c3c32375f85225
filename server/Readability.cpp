#include "server/Readability.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <unordered_set>

namespace {

// Fewer non-blank characters than this are too few to judge but by their control characters.
constexpr int32_t kMinJudgedChars = 40;

// Control and invalid characters: a share above the first bound makes a page unreadable, above the second
// doubtful; on a page too short to judge otherwise, the bounds are the second pair.
constexpr double kMaxBadShare = 0.1;
constexpr double kDoubtfulBadShare = 0.02;
constexpr double kMaxShortBadShare = 0.5;
constexpr double kDoubtfulShortBadShare = 0.2;

// Characters in the order of a glyph numbering: of at least kMinOrderedChars new characters (not written
// out as a run), the share that follows the previous new character's code by one. Text of any language
// gives a few percent; a font that numbers its glyphs in order of first use gives nearly all.
constexpr int32_t kMinOrderedChars = 12;
constexpr double kMaxOrderedShare = 0.6;
constexpr double kDoubtfulOrderedShare = 0.4;
// A run of this many characters with consecutive codes, written side by side in the text ("ABCD",
// "0123", "wxyz"), is an alphabet or a count; its characters say nothing about the font, nor do those
// of words shorter than kMinOrderedWord (a table of a character set, one character a line).
constexpr int32_t kWrittenRunLength = 4;
constexpr size_t kMinOrderedWord = 3;

// Accented Latin letters (Latin-1 to Latin Extended-B): of at least kMinJudgedLetters Latin letters, the
// share beyond which no language writes them. Vietnamese and Czech, the most accented, stay under a half.
constexpr int32_t kMinJudgedLetters = 40;
constexpr double kMaxAccentedShare = 0.65;
constexpr double kDoubtfulAccentedShare = 0.5;

// Symbol soup: with fewer letters than this share of the characters, the share of ASCII and Latin-1
// symbols next to a different one, among at least kMinSoupSymbols distinct ones. Program code has letters;
// tables of numbers have digits; rules and frames repeat one or two symbols.
constexpr double kSoupLetterShare = 0.1;
constexpr double kDoubtfulSoupLetterShare = 0.2;
constexpr int32_t kMinSoupSymbols = 8;
constexpr double kMaxMixedSymbolShare = 0.3;
constexpr double kDoubtfulMixedSymbolShare = 0.2;

// Blanks separate words; other Unicode spaces (no-break, ideographic, ...) are blanks too. Vertical tab
// and NEL are left to the control characters: no text lays out with them.
bool IsBlank(UChar32 C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '\f' || (C >= 0xA0 && u_isUWhiteSpace(C));
}

// Characters that no readable text holds: control characters other than blanks, C1 controls, the
// replacement character, private-use, unassigned and non-characters.
bool IsBad(UChar32 C) {
  if (C < 0x20 || (C >= 0x7F && C <= 0x9F) || C == 0xFFFD) return true;
  const int8_t Type = u_charType(C);
  return Type == U_PRIVATE_USE_CHAR || Type == U_UNASSIGNED || Type == U_SURROGATE;
}

bool IsDingbat(UChar32 C) { return C >= 0x2700 && C <= 0x27BF; }

// Letters, and the marks that belong to them (vowel signs, combining accents).
bool IsLetter(UChar32 C) {
  if (u_hasBinaryProperty(C, UCHAR_ALPHABETIC)) return true;
  const int32_t Mask = U_GET_GC_MASK(C);
  return (Mask & U_GC_M_MASK) != 0;
}

bool IsNumber(UChar32 C) { return (U_GET_GC_MASK(C) & U_GC_N_MASK) != 0; }

// The punctuation and symbols of ASCII and Latin-1, where glyph numbers from 33 or 160 land. Symbols of
// other blocks (box drawing, Braille, emoji, arrows) are written side by side on purpose.
bool IsSoupSymbol(UChar32 C) {
  if (IsLetter(C) || IsNumber(C)) return false;
  return (C > 0x20 && C < 0x7F) || (C >= 0xA1 && C <= 0xBF) || C == 0xD7 || C == 0xF7;
}

bool IsLatin(UChar32 C) {
  UErrorCode Status = U_ZERO_ERROR;
  return uscript_getScript(C, &Status) == USCRIPT_LATIN && U_SUCCESS(Status);
}

// A precomposed accented Latin letter of Latin-1 to Latin Extended-B. Fullwidth and IPA letters are not.
bool IsAccentedLatin(UChar32 C) { return C >= 0xC0 && C <= 0x24F; }

struct TPageCounts {
  int32_t Chars = 0;         // non-blank
  int32_t Bad = 0;           // IsBad, and dingbats side by side
  int32_t Letters = 0;       // IsLetter
  int32_t Latin = 0;         // Latin letters
  int32_t Accented = 0;      // of those, IsAccentedLatin
  int32_t MixedSymbols = 0;  // ASCII and Latin-1 symbols next to a different one
  int32_t Symbols = 0;       // distinct ASCII and Latin-1 symbols
  int32_t Ordered = 0;       // new characters that follow the previous new one's code by one
  int32_t NewChars = 0;      // new characters not written as a run
};

// The page's characters, blanks as 0 (so that runs and neighbours stop at them).
std::vector<UChar32> Decode(std::string_view Utf8) {
  std::vector<UChar32> Chars;
  Chars.reserve(Utf8.size());
  const auto* S = reinterpret_cast<const uint8_t*>(Utf8.data());
  const auto Length = static_cast<int32_t>(Utf8.size());
  for (int32_t I = 0; I < Length;) {
    UChar32 C;
    U8_NEXT(S, I, Length, C);
    if (C < 0) C = 0xFFFD;
    Chars.push_back(IsBlank(C) ? 0 : C);
  }
  return Chars;
}

// Marks the characters whose order of first appearance says nothing about a font: those in words
// shorter than kMinOrderedWord (the character column of a table that lists a character set in code
// order: "0x41 A"), and those in runs of kWrittenRunLength or more consecutive codes written side by side
// or evenly apart ("ABCD", "0123", "a, b, c, d", "/A/B/C/D").
std::vector<bool> NotOrderWitnesses(const std::vector<UChar32>& Chars) {
  const size_t Count = Chars.size();
  std::vector<bool> Skip(Count, false);
  for (size_t Word = 0, I = 0; I <= Count; ++I) {
    if (I < Count && Chars[I] != 0) continue;
    if (I - Word < kMinOrderedWord)
      std::fill(Skip.begin() + static_cast<ptrdiff_t>(Word), Skip.begin() + static_cast<ptrdiff_t>(I), true);
    Word = I + 1;
  }
  constexpr UChar32 kNoGap = -1, kAnyGap = -2;
  for (size_t I = 0; I < Count;) {
    // The members of the run from I: each the code after the one before, next to it (kNoGap) or one
    // character that is no letter or digit away from it, the same gap all through.
    size_t Last = I, Members = 1;
    UChar32 Gap = kAnyGap;
    for (;;) {
      const UChar32 Next = Chars[Last] + 1;
      if ((Gap == kAnyGap || Gap == kNoGap) && Last + 1 < Count && Chars[Last + 1] == Next) {
        Gap = kNoGap;
        Last += 1;
      } else if (Last + 2 < Count && Chars[Last + 2] == Next && !IsLetter(Chars[Last + 1]) &&
                 !IsNumber(Chars[Last + 1]) && (Gap == kAnyGap || Gap == Chars[Last + 1])) {
        Gap = Chars[Last + 1];
        Last += 2;
      } else {
        break;
      }
      ++Members;
    }
    if (Chars[I] != 0 && Members >= kWrittenRunLength) {
      for (size_t J = I; J <= Last; J += Gap == kNoGap ? 1 : 2) Skip[J] = true;
    }
    // The last member may start a run with another gap.
    I = Members > 1 ? Last : I + 1;
  }
  return Skip;
}

TPageCounts CountPage(std::string_view Utf8) {
  TPageCounts Counts;
  const std::vector<UChar32> Chars = Decode(Utf8);
  const std::vector<bool> Skip = NotOrderWitnesses(Chars);
  std::unordered_set<UChar32> Seen, SeenSymbols;
  UChar32 LastNew = -1;
  int32_t DingbatsBefore = 0;  // dingbats just before this character
  for (size_t I = 0; I < Chars.size(); ++I) {
    const UChar32 C = Chars[I];
    if (C == 0) {
      DingbatsBefore = 0;
      continue;
    }
    ++Counts.Chars;
    if (Seen.insert(C).second) {
      // Digits are no witnesses: numbers that count up (line, bin and cell numbers) bring them in in code
      // order on any page.
      if (!Skip[I] && !u_isdigit(C)) {
        ++Counts.NewChars;
        if (C == LastNew + 1) ++Counts.Ordered;
      }
      LastNew = C;
    }
    // Dingbats side by side: glyphs a converter named after the dingbat font's glyphs ("a1", "a2", ...).
    // A lone one is a mark of its own (a tick, an arrow).
    if (IsDingbat(C)) {
      Counts.Bad += DingbatsBefore == 1 ? 2 : DingbatsBefore > 1 ? 1 : 0;
      ++DingbatsBefore;
    } else {
      DingbatsBefore = 0;
    }
    if (IsBad(C)) {
      ++Counts.Bad;
    } else if (IsLetter(C)) {
      ++Counts.Letters;
      if (IsLatin(C)) {
        ++Counts.Latin;
        if (IsAccentedLatin(C)) ++Counts.Accented;
      }
    } else if (IsSoupSymbol(C)) {
      if (SeenSymbols.insert(C).second) ++Counts.Symbols;
      const UChar32 Before = I > 0 ? Chars[I - 1] : 0;
      if (Before != C && IsSoupSymbol(Before)) ++Counts.MixedSymbols;
    }
  }
  return Counts;
}

double Share(int32_t Part, int32_t Whole) { return Whole > 0 ? static_cast<double>(Part) / Whole : 0.0; }

// The worse of two verdicts.
TPageReadability Worse(TPageReadability A, TPageReadability B) { return std::max(A, B); }

// The verdict of one sign: Value beyond Unreadable makes the page unreadable, beyond Doubtful doubtful.
TPageReadability Above(double Value, double Unreadable, double Doubtful) {
  return Value > Unreadable ? TPageReadability::Unreadable
         : Value > Doubtful ? TPageReadability::Doubtful
                            : TPageReadability::Readable;
}

}  // namespace

TPageReadability JudgePage(std::string_view Utf8) {
  const TPageCounts Counts = CountPage(Utf8);
  if (Counts.Chars == 0) return TPageReadability::Readable;
  const double Bad = Share(Counts.Bad, Counts.Chars);
  if (Counts.Chars < kMinJudgedChars) return Above(Bad, kMaxShortBadShare, kDoubtfulShortBadShare);

  TPageReadability Verdict = Above(Bad, kMaxBadShare, kDoubtfulBadShare);
  if (Counts.NewChars >= kMinOrderedChars) {
    const double Ordered = Share(Counts.Ordered, Counts.NewChars);
    Verdict = Worse(Verdict, Above(Ordered, kMaxOrderedShare, kDoubtfulOrderedShare));
  }
  if (Counts.Latin >= kMinJudgedLetters) {
    const double Accented = Share(Counts.Accented, Counts.Latin);
    Verdict = Worse(Verdict, Above(Accented, kMaxAccentedShare, kDoubtfulAccentedShare));
  }
  const double Letters = Share(Counts.Letters, Counts.Chars);
  if (Counts.Symbols >= kMinSoupSymbols && Letters < kDoubtfulSoupLetterShare) {
    const TPageReadability Soup =
        Above(Share(Counts.MixedSymbols, Counts.Chars), kMaxMixedSymbolShare, kDoubtfulMixedSymbolShare);
    // With some letters, a soup of symbols is doubtful at most.
    Verdict = Worse(Verdict, Letters < kSoupLetterShare ? Soup : std::min(Soup, TPageReadability::Doubtful));
  }
  return Verdict;
}

bool IsBlankText(std::string_view Utf8) {
  return std::all_of(Utf8.begin(), Utf8.end(),
                     [](char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '\f'; });
}

TPageVerdict JudgePages(std::string_view Utf8) {
  TPageVerdict Verdict;
  int32_t Number = 1;
  for (std::size_t Start = 0;; ++Number) {
    const std::size_t End = std::min(Utf8.find('\f', Start), Utf8.size());
    const std::string_view Page = Utf8.substr(Start, End - Start);
    const TPageReadability Judged = JudgePage(Page);
    if (Judged == TPageReadability::Unreadable) {
      Verdict.Unreadable.push_back(Number);
    } else {
      if (Judged == TPageReadability::Doubtful) Verdict.Doubtful.push_back(Number);
      if (!IsBlankText(Page)) Verdict.AnyReadableText = true;
    }
    if (End >= Utf8.size()) break;
    Start = End + 1;
  }
  return Verdict;
}
