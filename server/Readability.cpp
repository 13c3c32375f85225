#include "server/Readability.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace {

// Fewer non-blank characters than this are too few to judge but by their control characters.
constexpr int32_t kMinJudgedChars = 40;
// The least letters of a script for its vowel share and case to be judged.
constexpr int32_t kMinJudgedLetters = 60;
// Strong signs: more than this share of control and invalid characters (more than half of a page too short
// to judge otherwise); a vowel share outside these bounds; fewer letters than this share in words of one
// case; more than this share of word characters in words broken by digits and symbols; fewer letters and
// digits than this share of the characters.
constexpr double kMaxBadShare = 0.1;
constexpr double kMaxShortBadShare = 0.5;
constexpr double kMinVowelShare = 0.2;
constexpr double kMaxVowelShare = 0.72;
constexpr double kMinCasedShare = 0.5;
constexpr double kMaxBrokenShare = 0.6;
constexpr double kMinWordCharShare = 0.3;
// Weak signs, two of which make a page unreadable: bounds that readable pages (prose, program listings,
// manual pages, tables) keep with room to spare, and that garbage oversteps in some but not all respects.
constexpr double kWeakMinVowelShare = 0.25;
constexpr double kWeakMaxVowelShare = 0.55;
constexpr double kWeakMinCasedShare = 0.85;
constexpr double kWeakMaxBrokenShare = 0.22;
constexpr double kWeakMinWordCharShare = 0.6;
constexpr double kWeakMaxWordLength = 20;

bool IsBlank(UChar32 C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '\f' || C == 0xA0; }

// Characters that no readable text holds: control characters other than blanks, C1 controls, the
// replacement character, private-use and unassigned characters.
bool IsBad(UChar32 C) {
  if (C < 0x20 || (C >= 0x7F && C <= 0x9F) || C == 0xFFFD) return true;
  const int8_t Type = u_charType(C);
  return Type == U_PRIVATE_USE_CHAR || Type == U_UNASSIGNED || Type == U_SURROGATE;
}

bool IsDingbat(UChar32 C) { return C >= 0x2700 && C <= 0x27BF; }

// Latin, Greek or Cyrillic: the scripts whose vowels are counted.
bool IsAlphabetic(UChar32 C) {
  UErrorCode Status = U_ZERO_ERROR;
  const UScriptCode Script = uscript_getScript(C, &Status);
  return U_SUCCESS(Status) &&
         (Script == USCRIPT_LATIN || Script == USCRIPT_GREEK || Script == USCRIPT_CYRILLIC);
}

// A vowel of those scripts, accents and case aside (y counts: it is one in many languages).
bool IsVowel(UChar32 C) {
  const UChar32 Base = u_tolower(C);
  static constexpr char16_t kVowels[] =
      u"aeiouyæøœàáâãäåèéêëìíîïòóôõöùúûüýÿāăąēĕėęěīĭįıōŏőūŭůűųŷ"
      u"аеёиоуыэюяіїє"
      u"αεηιουωάέήίόύώϊϋΐΰ";
  for (const char16_t* P = kVowels; *P != 0; ++P) {
    if (*P == Base) return true;
  }
  return false;
}

enum TCharClass : uint8_t { ccLetter, ccDigit, ccOther };

TCharClass ClassOf(UChar32 C) {
  if (u_isalpha(C)) return ccLetter;
  if (u_isdigit(C)) return ccDigit;
  return ccOther;
}

// Punctuation that opens or closes a word ("(word),") or joins its parts ("don't", "e-mail", "U.S.").
bool IsWordEdge(UChar32 C) {
  return u_ispunct(C) || C == '$' || C == '+' || C == '=' || C == '<' || C == '>';
}
bool IsJoiner(UChar32 C) {
  return C == '\'' || C == 0x2019 || C == '-' || C == 0x2010 || C == 0x2212 || C == '.' || C == '/' ||
         C == '&' || C == ',' || C == ':' || C == '_';
}

struct TPageCounts {
  int32_t Chars = 0;         // non-blank
  int32_t Bad = 0;           // IsBad
  int32_t WordChars = 0;     // letters and digits
  int32_t Letters = 0;       // letters of any script
  int32_t CasedLetters = 0;  // letters in segments of one case
  int32_t Alphabetic = 0;    // letters of the scripts with counted vowels
  int32_t Vowels = 0;
  int32_t Words = 0;            // blank-separated tokens
  int32_t CoreChars = 0;        // characters of tokens without their edge punctuation
  int32_t BrokenCoreChars = 0;  // of those, in tokens broken by digits and symbols
};

// A run of letters: counts its letters as cased unless their case jumps about ("aBxQ", "KmPz"): after
// a capital first letter, the case of neighbouring letters changes at most at every third letter or so,
// which lower, upper and capitalised words and names in camel case ("getValue", "GSSAPIKeyExchange")
// all keep. Letters without case go with any.
constexpr int32_t kMaxCaseChangesPerTen = 4;

void CountSegment(const std::vector<UChar32>& Segment, TPageCounts& Counts) {
  const auto Length = static_cast<int32_t>(Segment.size());
  if (Length == 0) return;
  int32_t Changes = 0;
  int8_t Previous = 0;  // 1 upper, -1 lower, 0 none yet
  for (int32_t I = 0; I < Length; ++I) {
    const int8_t Case =
        u_isupper(Segment[static_cast<size_t>(I)]) || u_istitle(Segment[static_cast<size_t>(I)]) ? 1
        : u_islower(Segment[static_cast<size_t>(I)])                                             ? -1
                                                                                                 : 0;
    if (Case == 0) continue;
    // A capital at the start of a word is no change.
    if (Previous != 0 && Case != Previous && !(I == 1 && Previous == 1)) ++Changes;
    Previous = Case;
  }
  const bool Jumbled = Length >= 2 && Changes * 10 > kMaxCaseChangesPerTen * (Length - 1);
  if (!Jumbled) Counts.CasedLetters += Length;
}

// A token (no blanks in it): its core is what lies between its edge punctuation; the core is broken when
// its letters and digits are cut by other symbols than joiners again and again ("a=b?c@d"), more than a
// call or a reference does ("f(x)", "ls(1)").
constexpr int32_t kBrokenSwitches = 4;

bool IsStray(UChar32 C) { return ClassOf(C) == ccOther && !IsJoiner(C); }

void CountToken(const std::vector<UChar32>& Token, TPageCounts& Counts) {
  std::size_t First = 0, Last = Token.size();
  while (First < Last && IsWordEdge(Token[First])) ++First;
  while (Last > First && IsWordEdge(Token[Last - 1])) --Last;
  if (First == Last) return;
  int32_t Switches = 0;
  for (std::size_t I = First + 1; I < Last; ++I) {
    if (IsStray(Token[I]) != IsStray(Token[I - 1])) ++Switches;
  }
  const auto Core = static_cast<int32_t>(Last - First);
  Counts.CoreChars += Core;
  if (Switches >= kBrokenSwitches) Counts.BrokenCoreChars += Core;
}

TPageCounts CountPage(std::string_view Utf8) {
  TPageCounts Counts;
  std::vector<UChar32> Segment, Token;
  int32_t DingbatBefore = 0;  // dingbats just before this character
  const auto* S = reinterpret_cast<const uint8_t*>(Utf8.data());
  const auto Length = static_cast<int32_t>(Utf8.size());
  for (int32_t I = 0; I < Length;) {
    UChar32 C;
    U8_NEXT(S, I, Length, C);
    if (C < 0) C = 0xFFFD;
    if (IsBlank(C)) {
      DingbatBefore = 0;
      CountSegment(Segment, Counts);
      Segment.clear();
      if (!Token.empty()) {
        ++Counts.Words;
        CountToken(Token, Counts);
        Token.clear();
      }
      continue;
    }
    ++Counts.Chars;
    Token.push_back(C);
    // Dingbats side by side: glyphs a converter named after the dingbat font's glyphs ("a1", "a2", ...).
    // A lone one is a mark of its own (a tick, an arrow).
    if (IsDingbat(C)) {
      Counts.Bad += DingbatBefore == 1 ? 2 : DingbatBefore > 1 ? 1 : 0;
      ++DingbatBefore;
    } else {
      DingbatBefore = 0;
    }
    if (IsBad(C)) {
      ++Counts.Bad;
    } else if (u_isalpha(C)) {
      ++Counts.Letters;
      ++Counts.WordChars;
      Segment.push_back(C);
      if (IsAlphabetic(C)) {
        ++Counts.Alphabetic;
        if (IsVowel(C)) ++Counts.Vowels;
      }
      continue;
    } else if (u_isdigit(C)) {
      ++Counts.WordChars;
    }
    CountSegment(Segment, Counts);
    Segment.clear();
  }
  CountSegment(Segment, Counts);
  if (!Token.empty()) {
    ++Counts.Words;
    CountToken(Token, Counts);
  }
  return Counts;
}

double Share(int32_t Part, int32_t Whole) { return Whole > 0 ? static_cast<double>(Part) / Whole : 0.0; }

}  // namespace

bool IsReadablePage(std::string_view Utf8) {
  const TPageCounts Counts = CountPage(Utf8);
  if (Counts.Chars == 0) return true;
  const double Bad = Share(Counts.Bad, Counts.Chars);
  if (Counts.Chars < kMinJudgedChars) return Bad <= kMaxShortBadShare;
  if (Bad > kMaxBadShare) return false;

  int32_t WeakSigns = 0;
  if (Counts.Alphabetic >= kMinJudgedLetters) {
    const double Vowels = Share(Counts.Vowels, Counts.Alphabetic);
    if (Vowels < kMinVowelShare || Vowels > kMaxVowelShare) return false;
    if (Vowels < kWeakMinVowelShare || Vowels > kWeakMaxVowelShare) ++WeakSigns;
  }
  if (Counts.Letters >= kMinJudgedLetters) {
    const double Cased = Share(Counts.CasedLetters, Counts.Letters);
    if (Cased < kMinCasedShare) return false;
    if (Cased < kWeakMinCasedShare) ++WeakSigns;
  }
  if (Counts.CoreChars >= kMinJudgedChars) {
    const double Broken = Share(Counts.BrokenCoreChars, Counts.CoreChars);
    if (Broken > kMaxBrokenShare) return false;
    if (Broken > kWeakMaxBrokenShare) ++WeakSigns;
  }
  const double WordChars = Share(Counts.WordChars, Counts.Chars);
  if (WordChars < kMinWordCharShare) return false;
  if (WordChars < kWeakMinWordCharShare) ++WeakSigns;
  if (Counts.Words > 0 && static_cast<double>(Counts.Chars) / Counts.Words > kWeakMaxWordLength) ++WeakSigns;
  return WeakSigns < 2;
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
    if (!IsReadablePage(Page)) {
      Verdict.Unreadable.push_back(Number);
    } else if (!IsBlankText(Page)) {
      Verdict.AnyReadableText = true;
    }
    if (End >= Utf8.size()) break;
    Start = End + 1;
  }
  return Verdict;
}
