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
Chars Decode(const std::string& s, std::vector<size_t>* Offsets = nullptr) {
  Chars out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80                   ? 1
               : (c >= 0xC2 && c <= 0xDF) ? 2
               : (c >= 0xE0 && c <= 0xEF) ? 3
               : (c >= 0xF0 && c <= 0xF4) ? 4
                                          : 0;
    char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    bool valid = n > 0 && i + n <= s.size();
    for (size_t k = 1; valid && k < n; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not characters.
    if (valid && ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                  (cp >= 0xD800 && cp <= 0xDFFF)))
      valid = false;
    if (!valid) {
      cp = kRawByteBase + c;
      n = 1;
    }
    if (Offsets != nullptr) Offsets->push_back(i);
    out.push_back(cp);
    i += n;
  }
  return out;
}

void UpperChars(Chars& s) {
  for (char32_t& c : s)
    if (c < kRawByteBase || c > kRawByteBase + 0xFF)
      c = static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

bool SegmentMatchesAt(const Chars& seg, const Chars& text, size_t at) {
  if (at + seg.size() > text.size()) return false;
  for (size_t k = 0; k < seg.size(); ++k)
    if (seg[k] != U'?' && seg[k] != text[at + k]) return false;
  return true;
}

// The first index at or after From where Segment matches Text, or npos.
size_t FindSegment(const Chars& seg, const Chars& text, size_t from) {
  for (size_t at = from; at + seg.size() <= text.size(); ++at)
    if (SegmentMatchesAt(seg, text, at)) return at;
  return std::string::npos;
}

// ---- Text helpers ----

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsListSeparator(char16_t c) { return c == u' ' || c == u',' || c == u';'; }

bool SameTextFolded(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (u_foldCase(a[i], U_FOLD_CASE_DEFAULT) != u_foldCase(b[i], U_FOLD_CASE_DEFAULT)) return false;
  return true;
}

std::u16string Ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The separators of item paths in each syntax.
const char16_t* ItemSeparators(TPathSyntax syntax) {
  switch (syntax) {
    case psPlainFile:
      return u"/";
    case psArchiveItem:
      return u"/|";
    case psWindows:
      return u"|\\:";
  }
  return u"/";
}

bool BeginsAbsolutePath(const std::u16string& token, TPathSyntax syntax) {
  if (syntax != psWindows) return !token.empty() && token[0] == u'/';
  return (token.size() >= 2 && IsAsciiLetter(token[0]) && token[1] == u':') ||
         (token.size() >= 2 && token[0] == u'\\' && token[1] == u'\\');
}

// Drive repairs of Windows paths: "c:" -> "c:\", "c:name" -> "c:\name".
std::u16string RepairDrive(const std::u16string& path) {
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') {
    if (path.size() == 2) return path + u"\\";
    if (path[2] != u'\\') return path.substr(0, 2) + u"\\" + path.substr(2);
  }
  return path;
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
  TWideStrLst keys, values;
  Dictionary.GetKeysAndValues(keys, values);
  return JoinQuotedList(keys);
}

void WideStringsFromList(const TWideStrLst& List, TWideStrings& Strings) {
  Strings.BeginUpdate();
  Strings.Clear();
  for (int32_t i = 0; i < List.GetCount(); ++i) Strings.Add(List.Get(i));
  Strings.EndUpdate();
}

std::u16string FormatDateTimeText(TDateTime DateTime) {
  // A TDateTime holds local wall-clock time; formatting it as GMT shows it unchanged.
  constexpr double kUnixEpochDate = 25569.0;
  constexpr double kMSecsPerDay = 86400000.0;
  std::u16string text;
  std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateInstance(icu::DateFormat::kShort));
  if (format) {
    format->adoptTimeZone(icu::TimeZone::createTimeZone("GMT"));
    icu::UnicodeString out;
    format->format(std::floor(DateTime - kUnixEpochDate) * kMSecsPerDay, out);
    text.assign(out.getBuffer(), static_cast<size_t>(out.length()));
  }
  return text + u" " + Ascii16(TimeToText(DateTime));
}

// --- Masks --------------------------------------------------------------------------------------------

std::u16string StripMaskStarDot(const std::u16string& Mask) {
  return Mask.compare(0, 2, u"*.") == 0 ? Mask.substr(2) : Mask;
}

void NormalizeMask(std::u16string& Mask) {
  if (Mask.empty() || Mask.find_first_of(kForbiddenMaskChars) != std::u16string::npos) return;
  size_t dot = Mask.find(u'.');
  if (dot != std::u16string::npos && dot != 0) return;
  if (dot == std::u16string::npos) Mask.insert(0, u".");
  Mask.insert(0, u"*");
}

void NormalizeMaskList(TWideStrLst& List) {
  std::vector<std::u16string> kept;
  for (int32_t i = 0; i < List.GetCount(); ++i) {
    std::u16string mask = List.Get(i);
    NormalizeMask(mask);
    if (mask == u"*.*") {
      kept.assign(1, mask);
      break;
    }
    bool duplicate = false;
    for (const std::u16string& k : kept) duplicate = duplicate || List.CompareStrings(k, mask) == 0;
    if (!duplicate) kept.push_back(mask);
  }
  List.Clear();
  for (const std::u16string& mask : kept) List.Add(mask);
}

std::u16string NormalizeMasks(const std::u16string& Text) {
  TWideStrLst list;
  SplitQuotedList(list, Text);
  NormalizeMaskList(list);
  return JoinQuotedList(list);
}

bool IsAllFilesMask(const std::u16string& Text) {
  TWideStrLst list;
  SplitQuotedList(list, Text);
  return list.GetCount() == 0 || list.IndexOf(u"*.*") >= 0;
}

int32_t WildcardPos(const std::string& Segment, const std::string& Text, int32_t From) {
  std::vector<size_t> offsets;
  Chars text = Decode(Text, &offsets);
  size_t start = 0;
  while (start < offsets.size() && static_cast<int64_t>(offsets[start]) < static_cast<int64_t>(From) - 1)
    ++start;
  size_t at = FindSegment(Decode(Segment), text, start);
  if (at == std::string::npos) return 0;
  return static_cast<int32_t>((at < offsets.size() ? offsets[at] : Text.size()) + 1);
}

int32_t CutAtAsterisk(std::u16string& Text) {
  size_t star = Text.find(u'*');
  if (star == std::u16string::npos) return 0;
  Text.resize(star);
  return static_cast<int32_t>(star + 1);
}

bool MatchesMask(const std::string& Name, const std::string& Mask, bool IgnoreCase) {
  if (Mask == Name) return true;
  std::string mask = Mask;
  for (size_t p; (p = mask.find("**")) != std::string::npos;) mask.erase(p, 1);
  if (mask == "*") return true;
  Chars m = Decode(mask);
  Chars n = Decode(Name);
  if (IgnoreCase) {
    UpperChars(m);
    UpperChars(n);
  }
  if (n.empty() || m.empty()) return false;

  size_t i = 0, j = 0;  // positions in the mask and in the name
  while (true) {
    if (j == n.size()) return i == m.size() || m.back() == U'*';
    if (i == m.size()) return false;
    if (m[i] == U'*') {
      size_t nextStar = i + 1;
      while (nextStar < m.size() && m[nextStar] != U'*') ++nextStar;
      Chars seg(m.begin() + static_cast<ptrdiff_t>(i + 1), m.begin() + static_cast<ptrdiff_t>(nextStar));
      if (nextStar == m.size()) {
        // The last segment must end the name, without reaching back before the current position.
        if (seg.empty()) return true;
        if (n.size() - j < seg.size()) return false;
        return SegmentMatchesAt(seg, n, n.size() - seg.size());
      }
      size_t at = FindSegment(seg, n, j);
      if (at == std::string::npos) return false;
      j = at + seg.size();
      i = nextStar;
    } else if (m[i] == n[j] || m[i] == U'?') {
      ++i;
      ++j;
    } else {
      return false;
    }
  }
}

// --- Paths --------------------------------------------------------------------------------------------

std::u16string ParsePathList(const std::u16string& Text, TPathSyntax Syntax) {
  std::vector<std::u16string> paths;
  auto addPath = [&](std::u16string path) {
    if (path.empty()) return;
    if (Syntax == psWindows) path = RepairDrive(path);
    for (const std::u16string& p : paths)
      if (Syntax == psWindows ? SameTextFolded(p, path) : p == path) return;
    paths.push_back(path);
  };

  // The unquoted tokens of the current run: where each begins and ends in Text.
  struct Token {
    size_t begin, end;
  };
  std::vector<Token> run;
  auto closeRun = [&] {
    size_t first = 0;
    for (size_t k = 1; k <= run.size(); ++k) {
      bool newPath =
          k == run.size() || BeginsAbsolutePath(Text.substr(run[k].begin, run[k].end - run[k].begin), Syntax);
      if (newPath) {
        addPath(Text.substr(run[first].begin, run[k - 1].end - run[first].begin));
        first = k;
      }
    }
    run.clear();
  };

  bool quoted = false;
  size_t tokenBegin = std::u16string::npos;
  std::u16string quotedText;
  auto endToken = [&](size_t end) {
    if (tokenBegin != std::u16string::npos && end > tokenBegin) run.push_back({tokenBegin, end});
    tokenBegin = std::u16string::npos;
  };
  for (size_t i = 0; i < Text.size(); ++i) {
    char16_t c = Text[i];
    if (c == u'"') {
      if (quoted) {
        addPath(quotedText);
        quotedText.clear();
      } else {
        endToken(i);
        closeRun();
      }
      quoted = !quoted;
    } else if (quoted) {
      quotedText += c;
    } else if (IsListSeparator(c) || IsBlank(c)) {
      endToken(i);
    } else if (tokenBegin == std::u16string::npos) {
      tokenBegin = i;
    }
  }
  endToken(Text.size());
  closeRun();
  // A quote left open still holds a path the user typed.
  if (quoted) addPath(quotedText);

  TWideStrLst list;
  for (const std::u16string& p : paths) list.Add(p);
  return JoinQuotedList(list);
}

bool IsAbsolutePath(const std::u16string& Path, TPathSyntax Syntax) {
  if (Syntax != psWindows) return !Path.empty() && Path[0] == u'/';
  if (Path.size() < 2) return false;
  if (Path[0] == u'\\' && Path[1] == u'\\') return true;
  return IsAsciiLetter(Path[0]) && Path[1] == u':' && Path.find(u':', 2) == std::u16string::npos;
}

void SplitItemPath(const std::u16string& Path, TPathSyntax Syntax, std::u16string& Folder,
                   std::u16string& Name) {
  size_t last = Path.find_last_of(ItemSeparators(Syntax));
  if (last == std::u16string::npos) {
    Folder.clear();
    Name = Path;
  } else {
    Folder = Path.substr(0, last);
    Name = Path.substr(last + 1);
  }
}

std::u16string ExtractItemName(const std::u16string& Path, TPathSyntax Syntax) {
  std::u16string folder, name;
  SplitItemPath(Path, Syntax, folder, name);
  return name;
}

std::u16string ExtractItemFolder(const std::u16string& Path, TPathSyntax Syntax) {
  std::u16string folder, name;
  SplitItemPath(Path, Syntax, folder, name);
  return folder;
}

// --- Sizes --------------------------------------------------------------------------------------------

int64_t SizeTextToBytes(const std::u16string& Text, int32_t Units) {
  size_t begin = 0, end = Text.size();
  while (begin < end && IsBlank(Text[begin])) ++begin;
  while (end > begin && IsBlank(Text[end - 1])) --end;
  if (begin < end && Text[begin] == u'+') ++begin;
  if (begin == end) return -1;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    char16_t c = Text[i];
    if (c < u'0' || c > u'9') return -1;  // "-" included: a negative size is not a size
    if (value > (kMax - (c - u'0')) / 10) return -1;
    value = value * 10 + (c - u'0');
  }
  int64_t factor = (Units == suKilobytes || Units == suMegabytes) ? kBytesPerUnit[Units] : 1;
  if (value > kMax / factor) return -1;
  return value * factor;
}

std::u16string FormatSizeForUnits(int64_t Bytes, int32_t Units) {
  int64_t factor = (Units == suKilobytes || Units == suMegabytes) ? kBytesPerUnit[Units] : 1;
  return Ascii16(std::to_string(Bytes / factor));
}
