#include "app/Utils.h"

#include <unicode/datefmt.h>
#include <unicode/timezone.h>
#include <unicode/uchar.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/StrLst.h"
#include "core/WSSDic.h"
#include "core/WideStrings.h"

namespace {

// Separators of list texts, and the characters that keep a mask from being normalised.
const TCharSet kListSeparators = CharSetOf(" ,;");
const TCharSet kListSpecialChars = CharSetOf(" ,");
constexpr char16_t kForbiddenMaskChars[] = u"\"/:<>\\|";
constexpr char kListDelimiter = ';';
constexpr char kQuote = '"';
constexpr int64_t kBytesPerUnit[] = {1, 1024, 1048576};

// ---- Code points of a UTF-8 name ----

// A character of a decoded name. A byte that is not part of a valid UTF-8 sequence becomes a value in
// the low-surrogate range, which no valid character decodes to, so it only ever equals itself.
using Chars = std::vector<char32_t>;

constexpr char32_t kRawByteBase = 0xDC00;

// Decodes UTF-8; Offsets (when given) receives the byte offset of each character.
Chars Decode(const std::string& S, std::vector<size_t>* Offsets = nullptr) {
  Chars Out;
  size_t I = 0;
  while (I < S.size()) {
    unsigned char C = static_cast<unsigned char>(S[I]);
    size_t N = C < 0x80                   ? 1
               : (C >= 0xC2 && C <= 0xDF) ? 2
               : (C >= 0xE0 && C <= 0xEF) ? 3
               : (C >= 0xF0 && C <= 0xF4) ? 4
                                          : 0;
    char32_t Cp = N == 1 ? C : N == 2 ? (C & 0x1F) : N == 3 ? (C & 0x0F) : (C & 0x07);
    bool Valid = N > 0 && I + N <= S.size();
    for (size_t K = 1; Valid && K < N; ++K) {
      unsigned char Cc = static_cast<unsigned char>(S[I + K]);
      if ((Cc & 0xC0) != 0x80) Valid = false;
      Cp = (Cp << 6) | (Cc & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not characters.
    if (Valid && ((N == 3 && Cp < 0x800) || (N == 4 && (Cp < 0x10000 || Cp > 0x10FFFF)) ||
                  (Cp >= 0xD800 && Cp <= 0xDFFF)))
      Valid = false;
    if (!Valid) {
      Cp = kRawByteBase + C;
      N = 1;
    }
    if (Offsets != nullptr) Offsets->push_back(I);
    Out.push_back(Cp);
    I += N;
  }
  return Out;
}

void UpperChars(Chars& S) {
  for (char32_t& C : S)
    if (C < kRawByteBase || C > kRawByteBase + 0xFF)
      C = static_cast<char32_t>(u_toupper(static_cast<UChar32>(C)));
}

bool SegmentMatchesAt(const Chars& Seg, const Chars& Text, size_t At) {
  if (At + Seg.size() > Text.size()) return false;
  for (size_t K = 0; K < Seg.size(); ++K)
    if (Seg[K] != U'?' && Seg[K] != Text[At + K]) return false;
  return true;
}

// The first index at or after From where Segment matches Text, or npos.
size_t FindSegment(const Chars& Seg, const Chars& Text, size_t From) {
  for (size_t At = From; At + Seg.size() <= Text.size(); ++At)
    if (SegmentMatchesAt(Seg, Text, At)) return At;
  return std::string::npos;
}

// ---- Text helpers ----

bool IsAsciiLetter(char16_t C) { return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z'); }

bool IsBlank(char16_t C) { return C == u' ' || C == u'\t'; }

bool IsListSeparator(char16_t C) { return C == u' ' || C == u',' || C == u';'; }

bool SameTextFolded(const std::u16string& A, const std::u16string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (u_foldCase(A[I], U_FOLD_CASE_DEFAULT) != u_foldCase(B[I], U_FOLD_CASE_DEFAULT)) return false;
  return true;
}

std::u16string Ascii16(const std::string& S) { return std::u16string(S.begin(), S.end()); }

// The separators of item paths in each syntax.
const char16_t* ItemSeparators(TPathSyntax Syntax) {
  switch (Syntax) {
    case psPlainFile:
      return u"/";
    case psArchiveItem:
      return u"/|";
    case psWindows:
      return u"|\\:";
  }
  return u"/";
}

bool BeginsAbsolutePath(const std::u16string& Token, TPathSyntax Syntax) {
  if (Syntax != psWindows) return !Token.empty() && Token[0] == u'/';
  return (Token.size() >= 2 && IsAsciiLetter(Token[0]) && Token[1] == u':') ||
         (Token.size() >= 2 && Token[0] == u'\\' && Token[1] == u'\\');
}

// Drive repairs of Windows paths: "c:" -> "c:\", "c:name" -> "c:\name".
std::u16string RepairDrive(const std::u16string& Path) {
  if (Path.size() >= 2 && IsAsciiLetter(Path[0]) && Path[1] == u':') {
    if (Path.size() == 2) return Path + u"\\";
    if (Path[2] != u'\\') return Path.substr(0, 2) + u"\\" + Path.substr(2);
  }
  return Path;
}

}  // namespace

// --- Lists --------------------------------------------------------------------------------------------

void SplitQuotedList(TWideStrLst& List, const std::u16string& Text) {
  List.SetDelimitedText(Text, kQuote, kListSeparators, false);
}

std::u16string JoinQuotedList(const TWideStrLst& List) {
  return List.GetDelimitedText(true, kListDelimiter, kListSpecialChars);
}

std::u16string JoinDictionaryKeys(const TWideStrStrDic& Dictionary) {
  TWideStrLst Keys, Values;
  Dictionary.GetKeysAndValues(Keys, Values);
  return JoinQuotedList(Keys);
}

void WideStringsFromList(const TWideStrLst& List, TWideStrings& Strings) {
  Strings.BeginUpdate();
  Strings.Clear();
  for (int32_t I = 0; I < List.GetCount(); ++I) Strings.Add(List.Get(I));
  Strings.EndUpdate();
}

std::u16string FormatDateTimeText(TDateTime DateTime) {
  // A TDateTime holds local wall-clock time; formatting it as GMT shows it unchanged.
  constexpr double kUnixEpochDate = 25569.0;
  constexpr double kMSecsPerDay = 86400000.0;
  std::u16string Text;
  std::unique_ptr<icu::DateFormat> Format(icu::DateFormat::createDateInstance(icu::DateFormat::kShort));
  if (Format) {
    Format->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
    icu::UnicodeString Out;
    Format->format(std::floor(DateTime - kUnixEpochDate) * kMSecsPerDay, Out);
    Text.assign(Out.getBuffer(), static_cast<size_t>(Out.length()));
  }
  return Text + u" " + Ascii16(TimeToText(DateTime));
}

// --- Masks --------------------------------------------------------------------------------------------

std::u16string StripMaskStarDot(const std::u16string& Mask) {
  return Mask.compare(0, 2, u"*.") == 0 ? Mask.substr(2) : Mask;
}

void NormalizeMask(std::u16string& Mask) {
  if (Mask.empty() || Mask.find_first_of(kForbiddenMaskChars) != std::u16string::npos) return;
  size_t Dot = Mask.find(u'.');
  if (Dot != std::u16string::npos && Dot != 0) return;
  if (Dot == std::u16string::npos) Mask.insert(0, u".");
  Mask.insert(0, u"*");
}

void NormalizeMaskList(TWideStrLst& List) {
  std::vector<std::u16string> Kept;
  for (int32_t I = 0; I < List.GetCount(); ++I) {
    std::u16string Mask = List.Get(I);
    NormalizeMask(Mask);
    if (Mask == u"*.*") {
      Kept.assign(1, Mask);
      break;
    }
    bool Duplicate = false;
    for (const std::u16string& K : Kept) Duplicate = Duplicate || List.CompareStrings(K, Mask) == 0;
    if (!Duplicate) Kept.push_back(Mask);
  }
  List.Clear();
  for (const std::u16string& Mask : Kept) List.Add(Mask);
}

std::u16string NormalizeMasks(const std::u16string& Text) {
  TWideStrLst List;
  SplitQuotedList(List, Text);
  NormalizeMaskList(List);
  return JoinQuotedList(List);
}

bool IsAllFilesMask(const std::u16string& Text) {
  TWideStrLst List;
  SplitQuotedList(List, Text);
  return List.GetCount() == 0 || List.IndexOf(u"*.*") >= 0;
}

int32_t WildcardPos(const std::string& Segment, const std::string& Text, int32_t From) {
  std::vector<size_t> Offsets;
  Chars Decoded = Decode(Text, &Offsets);
  size_t Start = 0;
  while (Start < Offsets.size() && static_cast<int64_t>(Offsets[Start]) < static_cast<int64_t>(From) - 1)
    ++Start;
  size_t At = FindSegment(Decode(Segment), Decoded, Start);
  if (At == std::string::npos) return 0;
  return static_cast<int32_t>((At < Offsets.size() ? Offsets[At] : Text.size()) + 1);
}

int32_t CutAtAsterisk(std::u16string& Text) {
  size_t Star = Text.find(u'*');
  if (Star == std::u16string::npos) return 0;
  Text.resize(Star);
  return static_cast<int32_t>(Star + 1);
}

bool MatchesMask(const std::string& Name, const std::string& Mask, bool IgnoreCase) {
  if (Mask == Name) return true;
  std::string Collapsed = Mask;
  for (size_t P; (P = Collapsed.find("**")) != std::string::npos;) Collapsed.erase(P, 1);
  if (Collapsed == "*") return true;
  Chars M = Decode(Collapsed);
  Chars N = Decode(Name);
  if (IgnoreCase) {
    UpperChars(M);
    UpperChars(N);
  }
  if (N.empty() || M.empty()) return false;

  size_t I = 0, J = 0;  // positions in the mask and in the name
  while (true) {
    if (J == N.size()) return I == M.size() || M.back() == U'*';
    if (I == M.size()) return false;
    if (M[I] == U'*') {
      size_t NextStar = I + 1;
      while (NextStar < M.size() && M[NextStar] != U'*') ++NextStar;
      Chars Seg(M.begin() + static_cast<ptrdiff_t>(I + 1), M.begin() + static_cast<ptrdiff_t>(NextStar));
      if (NextStar == M.size()) {
        // The last segment must end the name, without reaching back before the current position.
        if (Seg.empty()) return true;
        if (N.size() - J < Seg.size()) return false;
        return SegmentMatchesAt(Seg, N, N.size() - Seg.size());
      }
      size_t At = FindSegment(Seg, N, J);
      if (At == std::string::npos) return false;
      J = At + Seg.size();
      I = NextStar;
    } else if (M[I] == N[J] || M[I] == U'?') {
      ++I;
      ++J;
    } else {
      return false;
    }
  }
}

// --- Paths --------------------------------------------------------------------------------------------

std::u16string ParsePathList(const std::u16string& Text, TPathSyntax Syntax) {
  std::vector<std::u16string> Paths;
  auto AddPath = [&](std::u16string Path) {
    if (Path.empty()) return;
    if (Syntax == psWindows) Path = RepairDrive(Path);
    for (const std::u16string& P : Paths)
      if (Syntax == psWindows ? SameTextFolded(P, Path) : P == Path) return;
    Paths.push_back(Path);
  };

  // The unquoted tokens of the current run: where each begins and ends in Text.
  struct Token {
    size_t Begin, End;
  };
  std::vector<Token> Run;
  auto CloseRun = [&] {
    size_t First = 0;
    for (size_t K = 1; K <= Run.size(); ++K) {
      bool NewPath =
          K == Run.size() || BeginsAbsolutePath(Text.substr(Run[K].Begin, Run[K].End - Run[K].Begin), Syntax);
      if (NewPath) {
        AddPath(Text.substr(Run[First].Begin, Run[K - 1].End - Run[First].Begin));
        First = K;
      }
    }
    Run.clear();
  };

  bool Quoted = false;
  size_t TokenBegin = std::u16string::npos;
  std::u16string QuotedText;
  auto EndToken = [&](size_t End) {
    if (TokenBegin != std::u16string::npos && End > TokenBegin) Run.push_back({TokenBegin, End});
    TokenBegin = std::u16string::npos;
  };
  for (size_t I = 0; I < Text.size(); ++I) {
    char16_t C = Text[I];
    if (C == u'"') {
      if (Quoted) {
        AddPath(QuotedText);
        QuotedText.clear();
      } else {
        EndToken(I);
        CloseRun();
      }
      Quoted = !Quoted;
    } else if (Quoted) {
      QuotedText += C;
    } else if (IsListSeparator(C) || IsBlank(C)) {
      EndToken(I);
    } else if (TokenBegin == std::u16string::npos) {
      TokenBegin = I;
    }
  }
  EndToken(Text.size());
  CloseRun();
  // A quote left open still holds a path the user typed.
  if (Quoted) AddPath(QuotedText);

  TWideStrLst List;
  for (const std::u16string& P : Paths) List.Add(P);
  return JoinQuotedList(List);
}

bool IsAbsolutePath(const std::u16string& Path, TPathSyntax Syntax) {
  if (Syntax != psWindows) return !Path.empty() && Path[0] == u'/';
  if (Path.size() < 2) return false;
  if (Path[0] == u'\\' && Path[1] == u'\\') return true;
  return IsAsciiLetter(Path[0]) && Path[1] == u':' && Path.find(u':', 2) == std::u16string::npos;
}

void SplitItemPath(const std::u16string& Path, TPathSyntax Syntax, std::u16string& Folder,
                   std::u16string& Name) {
  size_t Last = Path.find_last_of(ItemSeparators(Syntax));
  if (Last == std::u16string::npos) {
    Folder.clear();
    Name = Path;
  } else {
    Folder = Path.substr(0, Last);
    Name = Path.substr(Last + 1);
  }
}

std::u16string ExtractItemName(const std::u16string& Path, TPathSyntax Syntax) {
  std::u16string Folder, Name;
  SplitItemPath(Path, Syntax, Folder, Name);
  return Name;
}

std::u16string ExtractItemFolder(const std::u16string& Path, TPathSyntax Syntax) {
  std::u16string Folder, Name;
  SplitItemPath(Path, Syntax, Folder, Name);
  return Folder;
}

// --- Sizes --------------------------------------------------------------------------------------------

int64_t SizeTextToBytes(const std::u16string& Text, int32_t Units) {
  size_t Begin = 0, End = Text.size();
  while (Begin < End && IsBlank(Text[Begin])) ++Begin;
  while (End > Begin && IsBlank(Text[End - 1])) --End;
  if (Begin < End && Text[Begin] == u'+') ++Begin;
  if (Begin == End) return -1;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t Value = 0;
  for (size_t I = Begin; I < End; ++I) {
    char16_t C = Text[I];
    if (C < u'0' || C > u'9') return -1;  // "-" included: a negative size is not a size
    if (Value > (kMax - (C - u'0')) / 10) return -1;
    Value = Value * 10 + (C - u'0');
  }
  int64_t Factor = (Units == suKilobytes || Units == suMegabytes) ? kBytesPerUnit[Units] : 1;
  if (Value > kMax / Factor) return -1;
  return Value * Factor;
}

std::u16string FormatSizeForUnits(int64_t Bytes, int32_t Units) {
  int64_t Factor = (Units == suKilobytes || Units == suMegabytes) ? kBytesPerUnit[Units] : 1;
  return Ascii16(std::to_string(Bytes / Factor));
}
