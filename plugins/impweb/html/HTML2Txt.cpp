// What the token reader checks on hostile pages:
// - a tag name is collected into at most kMaxTagName characters; a longer one is an unrecognised tag;
// - a tag or a quoted attribute value that runs to the end of the page ends the token stream (no token is
//   made from a cut tag);
// - a comment that is never closed is searched for its end once; the page then goes on as text behind its
//   "<!--", and later comments are answered from what that search saw (see TCommentMemo), so a page full
//   of unclosed comments is still read in linear time;
// - a UTF-16 source with an odd last byte reads that byte as the character 0;
// - numeric character references are taken only for code points 1 to 10FFFF outside the surrogates, with
//   an overflow guard on long digit runs; anything else stays literal text.
#include "plugins/impweb/html/HTML2Txt.h"

#include <algorithm>
#include <iterator>
#include <type_traits>
#include <vector>

#include "core/MemUtils.h"
#include "core/SPDic.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/impweb/html/HTMLLinks.h"
#include "search/NLSProcsDyn.h"

namespace {

// ---------------------------------------------------------------------------------------------------
// Dictionaries

struct TNamedCode {
  const char* Name;
  int32_t Code;
};

constexpr TNamedCode kTags[] = {
    {"P", kTagParagraph},           {"H1", kTagParagraph},    {"H2", kTagParagraph},
    {"H3", kTagParagraph},          {"H4", kTagParagraph},    {"H5", kTagParagraph},
    {"H6", kTagParagraph},          {"BR", kTagLineBreak},    {"DIV", kTagLineBreak},
    {"HR", kTagLineBreak},          {"A", kTagLink},          {"UL", kTagUnorderedList},
    {"OL", kTagOrderedList},        {"LI", kTagListItem},     {"DL", kTagDefinitionList},
    {"DT", kTagLineItem},           {"OPTION", kTagLineItem}, {"DD", kTagDefinition},
    {"BLOCKQUOTE", kTagBlockQuote}, {"Q", kTagQuote},         {"PRE", kTagPreformatted},
    {"TABLE", kTagTable},           {"TR", kTagTableRow},     {"TD", kTagTableCell},
    {"TH", kTagTableCell},          {"APPLET", kTagEmbedded}, {"AREA", kTagEmbedded},
    {"IMG", kTagEmbedded},          {"META", kTagMeta},       {"INPUT", kTagInput},
    {"TITLE", kTagSkipped},         {"SCRIPT", kTagSkipped},  {"STYLE", kTagSkipped},
    {"XML", kTagSkipped},
};

// The Latin-1 entities, for the code points 160 to 255 in order.
constexpr const char* kLatin1Entities[] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
    "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
    "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
    "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
    "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
    "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};
constexpr int32_t kLatin1First = 160;
static_assert(std::size(kLatin1Entities) == 96);

// The symbol entities (Greek letters, mathematical symbols, arrows, ...) and the four markup ones.
constexpr TNamedCode kOtherEntities[] = {
    {"fnof", 402},     {"Alpha", 913},   {"Beta", 914},    {"Gamma", 915},    {"Delta", 916},
    {"Epsilon", 917},  {"Zeta", 918},    {"Eta", 919},     {"Theta", 920},    {"Iota", 921},
    {"Kappa", 922},    {"Lambda", 923},  {"Mu", 924},      {"Nu", 925},       {"Xi", 926},
    {"Omicron", 927},  {"Pi", 928},      {"Rho", 929},     {"Sigma", 931},    {"Tau", 932},
    {"Upsilon", 933},  {"Phi", 934},     {"Chi", 935},     {"Psi", 936},      {"Omega", 937},
    {"alpha", 945},    {"beta", 946},    {"gamma", 947},   {"delta", 948},    {"epsilon", 949},
    {"zeta", 950},     {"eta", 951},     {"theta", 952},   {"iota", 953},     {"kappa", 954},
    {"lambda", 955},   {"mu", 956},      {"nu", 957},      {"xi", 958},       {"omicron", 959},
    {"pi", 960},       {"rho", 961},     {"sigmaf", 962},  {"sigma", 963},    {"tau", 964},
    {"upsilon", 965},  {"phi", 966},     {"chi", 967},     {"psi", 968},      {"omega", 969},
    {"thetasym", 977}, {"upsih", 978},   {"piv", 982},     {"bull", 8226},    {"hellip", 8230},
    {"prime", 8242},   {"Prime", 8243},  {"oline", 8254},  {"frasl", 8260},   {"weierp", 8472},
    {"image", 8465},   {"real", 8476},   {"trade", 8482},  {"alefsym", 8501}, {"larr", 8592},
    {"uarr", 8593},    {"rarr", 8594},   {"darr", 8595},   {"harr", 8596},    {"crarr", 8629},
    {"lArr", 8656},    {"uArr", 8657},   {"rArr", 8658},   {"dArr", 8659},    {"hArr", 8660},
    {"forall", 8704},  {"part", 8706},   {"exist", 8707},  {"empty", 8709},   {"nabla", 8711},
    {"isin", 8712},    {"notin", 8713},  {"ni", 8715},     {"prod", 8719},    {"sum", 8721},
    {"minus", 8722},   {"lowast", 8727}, {"radic", 8730},  {"prop", 8733},    {"infin", 8734},
    {"ang", 8736},     {"and", 8743},    {"or", 8744},     {"cap", 8745},     {"cup", 8746},
    {"int", 8747},     {"there4", 8756}, {"sim", 8764},    {"cong", 8773},    {"asymp", 8776},
    {"ne", 8800},      {"equiv", 8801},  {"le", 8804},     {"ge", 8805},      {"sub", 8834},
    {"sup", 8835},     {"nsub", 8836},   {"sube", 8838},   {"supe", 8839},    {"oplus", 8853},
    {"otimes", 8855},  {"perp", 8869},   {"sdot", 8901},   {"lceil", 8968},   {"rceil", 8969},
    {"lfloor", 8970},  {"rfloor", 8971}, {"lang", 9001},   {"rang", 9002},    {"loz", 9674},
    {"spades", 9824},  {"clubs", 9827},  {"hearts", 9829}, {"diams", 9830},   {"quot", 34},
    {"amp", 38},       {"lt", 60},       {"gt", 62},
};
static_assert(std::size(kOtherEntities) == 128);

// The no-break space is written as a plain blank, so that words around it stay searchable as words.
constexpr int32_t kNbspCode = 32;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Tag names are ASCII: ordered without ASCII case, byte by byte.
class THTMLTagDic final : public TStrPtrDic {
 public:
  int CompareKeys(const std::string& key1, const std::string& key2) const override {
    const std::size_t n = std::min(key1.size(), key2.size());
    for (std::size_t i = 0; i < n; ++i) {
      const auto a = static_cast<unsigned char>(UpperAscii(key1[i]));
      const auto b = static_cast<unsigned char>(UpperAscii(key2[i]));
      if (a != b) return a < b ? -1 : 1;
    }
    return key1.size() == key2.size() ? 0 : (key1.size() < key2.size() ? -1 : 1);
  }
};

// Entity names are ASCII and compared with case, byte by byte.
class THTMLEntityDic final : public TCaseSensStrPtrDic {
 public:
  int CompareKeys(const std::string& key1, const std::string& key2) const override {
    const int c = key1.compare(key2);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
};

std::unique_ptr<THTMLTagDic> g_tags;
std::unique_ptr<THTMLEntityDic> g_entities;

void* CodeValue(int32_t Code) { return reinterpret_cast<void*>(static_cast<intptr_t>(Code)); }
int32_t ValueCode(void* Value) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(Value)); }

// ---------------------------------------------------------------------------------------------------
// Characters of either width

template <class Char>
uint32_t Unit(Char c) {
  return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
}

bool IsAsciiLetter(uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }
bool IsNameChar(uint32_t c) { return c == '!' || c == '-' || c == '?' || IsDigit(c) || IsAsciiLetter(c); }

template <class Char>
std::basic_string<Char> UpperAsciiCopy(const std::basic_string<Char>& Text) {
  std::basic_string<Char> upper(Text);
  for (Char& c : upper) {
    if (Unit(c) >= 'a' && Unit(c) <= 'z') c = static_cast<Char>(Unit(c) - 'a' + 'A');
  }
  return upper;
}

// ASCII text widened (or kept) as a string of Char.
template <class Char>
std::basic_string<Char> AsciiAs(const std::string& Text) {
  return std::basic_string<Char>(Text.begin(), Text.end());
}

// A text of either width narrowed to ASCII for comparisons and numbers: units above 127 become "?".
template <class Char>
std::string NarrowAscii(const std::basic_string<Char>& Text) {
  std::string out;
  out.reserve(Text.size());
  for (Char c : Text) out += Unit(c) < 128 ? static_cast<char>(Unit(c)) : '?';
  return out;
}

void AppendChar(std::string& Bytes, int32_t Char, bool Wide) {
  Bytes += static_cast<char>(Char & 0xFF);
  if (Wide) Bytes += static_cast<char>((Char >> 8) & 0xFF);
}

int32_t CharBytes(const THTMLPassState& State) { return State.WideSource ? 2 : 1; }

// The number of a numeric reference name ("#233", "#xE9"), or -1 when it is not a valid character: the
// digits must all be valid, and the code point lie in 1..10FFFF outside the surrogates.
template <class Char>
int32_t ParseNumericReference(const std::basic_string<Char>& Name) {
  constexpr int64_t kMaxCodePoint = 0x10FFFF;
  std::size_t i = 1;
  int base = 10;
  if (Name.size() > 1 && (Unit(Name[1]) == 'x' || Unit(Name[1]) == 'X')) {
    base = 16;
    i = 2;
  }
  if (i >= Name.size()) return -1;
  int64_t value = 0;
  for (; i < Name.size(); ++i) {
    const uint32_t c = Unit(Name[i]);
    int digit;
    if (IsDigit(c)) {
      digit = static_cast<int>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<int>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<int>(c - 'A' + 10);
    } else {
      return -1;
    }
    value = value * base + digit;
    if (value > kMaxCodePoint) return -1;  // also keeps a long digit run from overflowing
  }
  if (value < 1 || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return static_cast<int32_t>(value);
}

// Writes a run of either width.
void WriteRun(const std::string& Text, THTMLPassState& State) { WriteHTMLText(Text, State); }
void WriteRun(const std::u16string& Text, THTMLPassState& State) { WriteHTMLTextWide(Text, State); }

template <class Char>
void LookupEntity(const std::basic_string<Char>& Name, THTMLPassState& State) {
  if (Name.size() >= 2) {
    int32_t code = -1;
    if (Unit(Name[0]) == '#') {
      code = ParseNumericReference(Name);
    } else {
      // Named references run over ASCII letters and digits only.
      const std::string name = NarrowAscii(Name);
      code = LookupHTMLEntityCode(name);
      if (code < 0) {
        std::string lower(name);
        std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
        code = LookupHTMLEntityCode(lower);
      }
    }
    if (code >= 0) {
      OutputHTMLChar(code, State);
      return;
    }
  }
  WriteRun(AsciiAs<Char>("&") + Name, State);
}

template <class Char>
void DecodeEntities(const std::basic_string<Char>& Text, THTMLPassState& State) {
  const std::size_t n = Text.size();
  std::size_t pos = 0;
  for (;;) {
    const std::size_t amp = Text.find(static_cast<Char>('&'), pos);
    if (amp == std::basic_string<Char>::npos || n - amp - 1 < 2) {
      WriteRun(Text.substr(pos), State);
      return;
    }
    WriteRun(Text.substr(pos, amp - pos), State);
    const std::size_t start = amp + 1;
    std::size_t end = start;
    if (Unit(Text[start]) == '#' && (Unit(Text[start + 1]) == 'x' || Unit(Text[start + 1]) == 'X')) {
      end = Text.find(static_cast<Char>(';'), start);
      if (end == std::basic_string<Char>::npos) end = n;
    } else if (Unit(Text[start]) == '#') {
      end = start + 1;
      while (end < n && IsDigit(Unit(Text[end]))) ++end;
    } else {
      while (end < n && (IsDigit(Unit(Text[end])) || IsAsciiLetter(Unit(Text[end])))) ++end;
    }
    LookupEntity(Text.substr(start, end - start), State);
    if (end >= n) return;
    pos = end;
    if (Unit(Text[pos]) == ';') ++pos;
  }
}

// The value of attribute Name (upper case) in the raw tag text (see GetTagAttribute).
template <class Char>
bool FindTagAttribute(const std::basic_string<Char>& Text, const std::string& Name,
                      std::basic_string<Char>& Value) {
  Value.clear();
  const std::basic_string<Char> upper = UpperAsciiCopy(Text);
  const std::basic_string<Char> name = AsciiAs<Char>(Name);
  const std::size_t n = Text.size();
  // A zero ends the text as its terminator would.
  auto isBlank = [&](std::size_t i) { return Unit(Text[i]) != 0 && Unit(Text[i]) <= 32; };
  bool found = false;
  std::size_t from = 0;
  while (!name.empty()) {
    const std::size_t at = upper.find(name, from);
    if (at == std::basic_string<Char>::npos) break;
    found = true;
    std::size_t j = at + name.size();
    while (j < n && isBlank(j)) ++j;
    if (j < n && Unit(Text[j]) == '=') {
      ++j;
      while (j < n && isBlank(j)) ++j;
      if (j < n && (Unit(Text[j]) == '"' || Unit(Text[j]) == '\'')) {
        const std::size_t close = Text.find(Text[j], j + 1);
        if (close != std::basic_string<Char>::npos) Value = Text.substr(j + 1, close - j - 1);
        return true;
      }
      std::size_t end = j;
      while (end < n && Unit(Text[end]) > 32 && Unit(Text[end]) != '>') ++end;
      Value = Text.substr(j, end - j);
      return true;
    }
    from = at + name.size();
  }
  return found;
}

// ---------------------------------------------------------------------------------------------------
// Token reader helpers

// Reads a text token that begins with First: up to the next "<" (given back) or the end.
bool ReadTextToken(THTMLPassState& State, int32_t First) {
  State.TokenKind = kTokenText;
  State.TagCode = kTagUnknown;
  AppendChar(State.TokenText, First, State.WideSource);
  while (!HTMLSourceEof(State)) {
    const int32_t c = ReadHTMLChar(State);
    if (c == '<') {
      UnreadHTMLChar(State, c);
      break;
    }
    AppendChar(State.TokenText, c, State.WideSource);
  }
  return true;
}

// Whether the reader keeps the raw text of a tag with this code for its attributes.
bool ReadsAttributes(int32_t Code) {
  switch (Code) {
    case kTagLink:
    case kTagOrderedList:
    case kTagListItem:
    case kTagDefinitionList:
    case kTagEmbedded:
    case kTagMeta:
    case kTagInput:
      return true;
    default:
      return false;
  }
}

// An attribute value as ASCII for comparisons and numbers (a wide source's value is UTF-16 bytes).
std::string AttributeAscii(const std::string& Value, const THTMLPassState& State) {
  return State.WideSource ? NarrowAscii(RawToWideStr(Value)) : Value;
}

std::string UpperAsciiString(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), UpperAscii);
  return Text;
}

// Takes the attributes of the tag just read into the token, by tag code.
void ReadTagAttributes(THTMLPassState& State) {
  std::string value;
  switch (State.TagCode) {
    case kTagLink:
      GetTagAttribute("HREF", State.TokenText, State);
      break;
    case kTagOrderedList:
      GetTagAttribute("TYPE", value, State);
      State.TokenText = AttributeAscii(value, State);
      break;
    case kTagListItem:
      GetTagAttribute("VALUE", value, State);
      State.TokenText = AttributeAscii(value, State);
      break;
    case kTagDefinitionList:
      if (GetTagAttribute("COMPACT", value, State)) State.TokenText = " ";
      break;
    case kTagEmbedded:
      if (GetTagAttribute("ALT", value, State) && !value.empty()) {
        State.TokenKind = kTokenText;
        State.TokenText = value;
        State.AttributeText = true;
      }
      break;
    case kTagMeta: {
      // A UTF-16 page already tells its charset by its bytes; a META charset is looked for in 8-bit pages.
      if (!State.MetaCharset || State.WideSource) break;
      std::string equiv, content, name;
      if (GetTagAttribute("HTTP-EQUIV", equiv, State) && UpperAsciiString(equiv) == "CONTENT-TYPE" &&
          GetTagAttribute("CONTENT", content, State) && GetHTMLAttribute(content, "CHARSET", name)) {
        uint8_t charset = GetHTMLCharset(name);
        // UTF-16 named in an 8-bit page can only mean the page's own 8-bit form of Unicode.
        if (charset == qvnls::kCharsetUtf16LE) charset = qvnls::kCharsetUtf8;
        State.SourceCharset = charset;
        State.TagCode = kTagMetaCharset;
      }
      break;
    }
    case kTagInput: {
      std::string type;
      if (GetTagAttribute("TYPE", type, State) && UpperAsciiString(AttributeAscii(type, State)) == "SUBMIT" &&
          GetTagAttribute("VALUE", value, State)) {
        State.TokenText = value;
        if (!value.empty()) {
          State.TokenKind = kTokenText;
          State.AttributeText = true;
        }
      }
      break;
    }
    default:
      break;
  }
}

// Quotes counted by the reader, for TCommentMemo.
void CountQuote(THTMLPassState& State, int32_t Char);

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Dictionaries

bool BuildHTMLDictionaries() {
  if (g_tags && g_entities) return true;
  auto tags = std::make_unique<THTMLTagDic>();
  for (const TNamedCode& tag : kTags) tags->Put(tag.Name, CodeValue(tag.Code));
  auto entities = std::make_unique<THTMLEntityDic>();
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(kLatin1Entities)); ++i) {
    entities->Put(kLatin1Entities[i], CodeValue(kLatin1First + i));
  }
  entities->Put("nbsp", CodeValue(kNbspCode));
  for (const TNamedCode& entity : kOtherEntities) entities->Put(entity.Name, CodeValue(entity.Code));
  g_tags = std::move(tags);
  g_entities = std::move(entities);
  return true;
}

void FreeHTMLDictionaries() {
  g_tags.reset();
  g_entities.reset();
}

int32_t LookupHTMLTag(const std::string& Name) {
  BuildHTMLDictionaries();
  void** value = g_tags->FindPtr(Name);
  return value != nullptr ? ValueCode(*value) : kTagUnknown;
}

int32_t LookupHTMLEntityCode(const std::string& Name) {
  BuildHTMLDictionaries();
  void** value = g_entities->FindPtr(Name);
  return value != nullptr ? ValueCode(*value) : -1;
}

// ---------------------------------------------------------------------------------------------------
// Character reader

bool HTMLSourceEof(THTMLPassState& State) { return State.Pushed < 0 && State.Source->Eof(); }

int32_t ReadHTMLChar(THTMLPassState& State) {
  if (State.Pushed >= 0) {
    const int32_t c = State.Pushed;
    State.Pushed = -1;
    return c;
  }
  const auto low = static_cast<uint8_t>(State.Source->ReadChar());
  int32_t c = low;
  if (State.WideSource) {
    if (State.Source->Eof()) {
      c = 0;
    } else {
      c = low | (static_cast<uint8_t>(State.Source->ReadChar()) << 8);
    }
  }
  CountQuote(State, c);
  return c;
}

void UnreadHTMLChar(THTMLPassState& State, int32_t Char) { State.Pushed = Char; }

int32_t HTMLSourcePosition(THTMLPassState& State) {
  return State.Source->GetPosition() - (State.Pushed >= 0 ? CharBytes(State) : 0);
}

void SeekHTMLSource(THTMLPassState& State, int32_t Position) {
  State.Pushed = -1;
  State.Source->Seek(Position);
}

const char* SkipHTMLBlanks(const char* Text) {
  while (*Text != '\0' && static_cast<unsigned char>(*Text) <= 32) ++Text;
  return Text;
}

const char16_t* SkipHTMLBlanksWide(const char16_t* Text) {
  while (*Text != 0 && *Text <= 32) ++Text;
  return Text;
}

// ---------------------------------------------------------------------------------------------------
// Unclosed comments
//
// A comment runs from "<!--" to the first ">" preceded by "--" that is not inside double quotes (every
// double quote toggles). When that search reaches the end of the page, the page goes on as text behind
// the "<!--", and a later "<!--" would search to the end again. What that first search saw answers every
// later one: seen from a later start Q, a close candidate R ("-->") is inside quotes exactly when the
// number of quotes between the failed start P and Q is even (all candidates were inside quotes seen from
// P). So the memo keeps P's candidates and the parity of the quotes the reader has read since P.

namespace {

void CountQuote(THTMLPassState& State, int32_t Char) {
  if (Char == '"' && State.Comments.Counting) State.Comments.QuoteParity ^= 1;
}

// Searches the end of a comment whose text starts at Position; true with the reader behind its ">".
bool FindCommentEnd(THTMLPassState& State, int32_t Position) {
  TCommentMemo& memo = State.Comments;
  const int32_t width = CharBytes(State);
  if (memo.FailedStart >= 0 && Position > memo.FailedStart) {
    if (memo.QuoteParity == 0) return false;
    // The first candidate whose "--" lies wholly behind Position closes the comment.
    const int32_t first = Position + 2 * width;
    auto it = std::lower_bound(memo.Candidates.begin(), memo.Candidates.end(), first);
    if (it == memo.Candidates.end()) return false;
    SeekHTMLSource(State, *it + width);
    // The quotes between Position and the close are even in number: the parity seen from P stays.
    return true;
  }
  SeekHTMLSource(State, Position);
  memo.Counting = false;
  std::vector<int32_t> candidates;
  bool inQuotes = false;
  int32_t prev1 = 0, prev2 = 0;
  while (!HTMLSourceEof(State)) {
    const int32_t at = HTMLSourcePosition(State);
    const int32_t c = ReadHTMLChar(State);
    if (c == '"') {
      inQuotes = !inQuotes;
    } else if (c == '>' && prev1 == '-' && prev2 == '-') {
      if (!inQuotes) {
        memo.Counting = true;
        return true;
      }
      candidates.push_back(at);
    }
    prev2 = prev1;
    prev1 = c;
  }
  memo.Counting = true;
  memo.FailedStart = Position;
  memo.Candidates = std::move(candidates);
  memo.QuoteParity = 0;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Token reader

bool NextHTMLToken(THTMLPassState& State) {
  State.TokenText.clear();
  State.TagText.clear();
  State.AttributeText = false;
  State.TagCode = kTagUnknown;
  if (HTMLSourceEof(State)) return false;
  const int32_t first = ReadHTMLChar(State);
  if (first != '<') return ReadTextToken(State, first);
  if (HTMLSourceEof(State)) return false;

  const int32_t afterLt = HTMLSourcePosition(State);
  int32_t c = ReadHTMLChar(State);
  if (c > 255) {
    UnreadHTMLChar(State, c);
    return ReadTextToken(State, '<');
  }
  c = static_cast<unsigned char>(UpperAscii(static_cast<char>(c)));
  std::string name;
  if (c == '/') {
    State.TokenKind = kTokenEndTag;
  } else if (c == '!' || c == '?' || IsAsciiLetter(static_cast<uint32_t>(c))) {
    State.TokenKind = kTokenStartTag;
    name += static_cast<char>(c);
  } else {
    UnreadHTMLChar(State, c);
    return ReadTextToken(State, '<');
  }

  bool tooLong = false;
  int32_t end;
  for (;;) {
    if (HTMLSourceEof(State)) return false;
    end = ReadHTMLChar(State);
    if (end > 255) {
      SeekHTMLSource(State, afterLt);
      return ReadTextToken(State, '<');
    }
    if (!IsNameChar(static_cast<uint32_t>(end))) break;
    if (static_cast<int32_t>(name.size()) == kMaxTagName) {
      tooLong = true;
      break;
    }
    name += UpperAscii(static_cast<char>(end));
  }

  if (!tooLong && name.compare(0, 3, "!--") == 0) {
    // The quote parity is wanted at the comment's start: take back a quote that ended the name.
    if (end == '"') CountQuote(State, end);
    const int32_t behind = afterLt + 3 * CharBytes(State);
    if (FindCommentEnd(State, behind)) {
      State.TokenKind = kTokenStartTag;
      State.TagCode = kTagUnknown;
      return true;
    }
    // Never closed: the page goes on as text from behind the "<!--".
    SeekHTMLSource(State, behind);
    if (HTMLSourceEof(State)) return false;
    return ReadTextToken(State, ReadHTMLChar(State));
  }

  State.TagCode = tooLong ? kTagUnknown : LookupHTMLTag(name);
  if (end == '>') return true;

  // Scan to the closing ">"; a double quote right after "=" opens a value that ">" does not end.
  const bool keep = ReadsAttributes(State.TagCode);
  bool afterEquals = false, inValue = false;
  for (int32_t ch = end;;) {
    if (keep) AppendChar(State.TagText, ch, State.WideSource);
    if (inValue) {
      if (ch == '"') inValue = false;
    } else if (ch == '>') {
      break;
    } else if (ch == '"' && afterEquals) {
      inValue = true;
      afterEquals = false;
    } else if (ch > 32) {
      afterEquals = ch == '=';
    }
    if (HTMLSourceEof(State)) return false;
    ch = ReadHTMLChar(State);
  }
  if (keep) ReadTagAttributes(State);
  return true;
}

bool GetTagAttribute(const std::string& Name, std::string& Value, const THTMLPassState& State) {
  if (!State.WideSource) return FindTagAttribute(State.TagText, Name, Value);
  std::u16string value;
  const bool found = FindTagAttribute(RawToWideStr(State.TagText), Name, value);
  Value = HTMLWideToBytes(value);
  return found;
}

bool GetHTMLAttribute(const std::string& Text, const std::string& Name, std::string& Value) {
  Value.clear();
  const std::size_t at = UpperAsciiString(Text).find(Name);
  if (Name.empty() || at == std::string::npos) return false;
  std::size_t i = at + Name.size();
  const std::size_t n = Text.size();
  for (;; ++i) {
    if (i >= n) return false;
    const uint32_t c = Unit(Text[i]);
    if (c == '=') break;
    if (c > 32) return false;
  }
  ++i;
  while (i < n && Unit(Text[i]) <= 32) ++i;
  std::size_t end = i;
  while (end < n && Unit(Text[end]) > 32 && Text[end] != '"' && Text[end] != '>') ++end;
  Value = Text.substr(i, end - i);
  return !Value.empty();
}

// ---------------------------------------------------------------------------------------------------
// Entities and output

void DecodeHTMLEntities(const std::string& Text, THTMLPassState& State) { DecodeEntities(Text, State); }

void DecodeHTMLEntitiesWide(const std::u16string& Text, THTMLPassState& State) {
  DecodeEntities(Text, State);
}

void LookupHTMLEntity(const std::string& Name, THTMLPassState& State) { LookupEntity(Name, State); }

namespace {

// The 8-bit charset whose characters 127-159 a numeric reference names: the Windows page of the source's
// script; for a Unicode source (which has no such page) windows-1252, as browsers read them.
uint8_t ReferencePageCharset(uint8_t SourceCharset) {
  if (SourceCharset >= qvnls::kCharsetIso8859_1 && SourceCharset <= qvnls::kCharsetIso8859_13) {
    return qvnls::CharsetToWindows(SourceCharset);
  }
  if (SourceCharset == 0 || qvnls::IsSingleByteCharset(SourceCharset)) return SourceCharset;
  return qvnls::kCharsetWin1252;
}

void AppendUnit(std::string& Bytes, char16_t Unit) {
  Bytes += static_cast<char>(Unit & 0xFF);
  Bytes += static_cast<char>(Unit >> 8);
}

void AppendToLine(THTMLPassState& State, const std::string& Bytes) {
  if (Bytes.empty()) return;
  if (State.InsideLink) MarkHTMLLinkStart(State);
  State.Line.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
}

// Whether output bytes end in a blank (a byte 32, or the UTF-16 unit 32).
bool EndsInBlank(const std::string& Bytes, bool Unicode) {
  if (Unicode) return Bytes.size() >= 2 && Bytes[Bytes.size() - 2] == ' ' && Bytes.back() == '\0';
  return !Bytes.empty() && Bytes.back() == ' ';
}

void AppendOutput(THTMLPassState& State, const std::string& Bytes) {
  if (Bytes.empty()) return;
  AppendToLine(State, Bytes);
  State.LastWrittenWasBlank = EndsInBlank(Bytes, State.UnicodeOutput);
  if (State.LastWrittenWasBlank) State.NoSeparator = true;
}

std::string EightBitOutput(std::string Text, const THTMLPassState& State) {
  std::replace(Text.begin(), Text.end(), '\0', static_cast<char>(State.ReplacementChar));
  return Text;
}

}  // namespace

void OutputHTMLChar(int32_t Code, THTMLPassState& State) {
  if (State.InsideLink) MarkHTMLLinkStart(State);
  std::string bytes;
  if (State.UnicodeOutput) {
    if (Code > 0xFFFF) {
      const int32_t v = Code - 0x10000;
      AppendUnit(bytes, static_cast<char16_t>(0xD800 + (v >> 10)));
      AppendUnit(bytes, static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      char16_t unit = static_cast<char16_t>(Code);
      if (Code >= 127 && Code <= 159) {
        unit = qvnls::CharToWideChar(static_cast<uint8_t>(Code), ReferencePageCharset(State.SourceCharset));
        if (unit == 0) unit = State.ReplacementChar;
      }
      AppendUnit(bytes, unit);
    }
  } else {
    uint8_t b = 0;
    if (Code < 256) {
      b = qvnls::ConvertChar(static_cast<uint8_t>(Code), qvnls::kCharsetIso8859_1, State.TargetCharset);
    } else if (Code <= 0xFFFF) {
      b = qvnls::WideCharToChar(static_cast<char16_t>(Code), State.TargetCharset);
    }
    bytes += static_cast<char>(b != 0 ? b : State.ReplacementChar);
  }
  State.Line.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  State.LastWrittenWasBlank = Code == 32;
}

void WriteHTMLText(const std::string& Text, THTMLPassState& State) {
  if (Text.empty()) return;
  if (State.UnicodeOutput) {
    AppendOutput(State, HTMLWideToBytes(CharsetToWide(Text, State.SourceCharset)));
  } else {
    AppendOutput(State,
                 EightBitOutput(ConvertCharsetStr(Text, State.SourceCharset, State.TargetCharset), State));
  }
}

void WriteHTMLTextWide(const std::u16string& Text, THTMLPassState& State) {
  if (Text.empty()) return;
  if (State.UnicodeOutput) {
    AppendOutput(State, HTMLWideToBytes(Text));
  } else {
    AppendOutput(State, EightBitOutput(WideToCharset(Text, State.TargetCharset), State));
  }
}

void WriteHTMLBlank(THTMLPassState& State) {
  if (State.UnicodeOutput) {
    State.Line.Write(" \0", 2);
  } else {
    State.Line.Write(" ", 1);
  }
  State.LastWrittenWasBlank = true;
  State.NoSeparator = true;
}

int32_t HTMLOutputPosition(THTMLPassState& State) {
  const int32_t dest = State.Dest != nullptr ? State.Dest->GetPosition() : 0;
  return dest + State.Line.GetPosition() + static_cast<int32_t>(State.LineBreak.size()) * State.PendingBreaks;
}

void MarkHTMLLinkStart(THTMLPassState& State) {
  if (State.LinkStart < 0) State.LinkStart = HTMLOutputPosition(State);
}

std::string HTMLWideToBytes(const std::u16string& Text) {
  std::string bytes;
  bytes.reserve(2 * Text.size());
  for (char16_t u : Text) AppendUnit(bytes, u);
  return bytes;
}
