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

char UpperAscii(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }
char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

// Tag names are ASCII: ordered without ASCII case, byte by byte.
class THTMLTagDic final : public TStrPtrDic {
 public:
  int CompareKeys(const std::string& Key1, const std::string& Key2) const override {
    const std::size_t N = std::min(Key1.size(), Key2.size());
    for (std::size_t I = 0; I < N; ++I) {
      const auto A = static_cast<unsigned char>(UpperAscii(Key1[I]));
      const auto B = static_cast<unsigned char>(UpperAscii(Key2[I]));
      if (A != B) return A < B ? -1 : 1;
    }
    return Key1.size() == Key2.size() ? 0 : (Key1.size() < Key2.size() ? -1 : 1);
  }
};

// Entity names are ASCII and compared with case, byte by byte.
class THTMLEntityDic final : public TCaseSensStrPtrDic {
 public:
  int CompareKeys(const std::string& Key1, const std::string& Key2) const override {
    const int C = Key1.compare(Key2);
    return C < 0 ? -1 : (C > 0 ? 1 : 0);
  }
};

std::unique_ptr<THTMLTagDic> g_tags;
std::unique_ptr<THTMLEntityDic> g_entities;

void* CodeValue(int32_t Code) { return reinterpret_cast<void*>(static_cast<intptr_t>(Code)); }
int32_t ValueCode(void* Value) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(Value)); }

// ---------------------------------------------------------------------------------------------------
// Characters of either width

template <class Char>
uint32_t Unit(Char C) {
  return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(C));
}

bool IsAsciiLetter(uint32_t C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
bool IsDigit(uint32_t C) { return C >= '0' && C <= '9'; }
bool IsNameChar(uint32_t C) { return C == '!' || C == '-' || C == '?' || IsDigit(C) || IsAsciiLetter(C); }

template <class Char>
std::basic_string<Char> UpperAsciiCopy(const std::basic_string<Char>& Text) {
  std::basic_string<Char> Upper(Text);
  for (Char& C : Upper) {
    if (Unit(C) >= 'a' && Unit(C) <= 'z') C = static_cast<Char>(Unit(C) - 'a' + 'A');
  }
  return Upper;
}

// ASCII text widened (or kept) as a string of Char.
template <class Char>
std::basic_string<Char> AsciiAs(const std::string& Text) {
  return std::basic_string<Char>(Text.begin(), Text.end());
}

// A text of either width narrowed to ASCII for comparisons and numbers: units above 127 become "?".
template <class Char>
std::string NarrowAscii(const std::basic_string<Char>& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (Char C : Text) Out += Unit(C) < 128 ? static_cast<char>(Unit(C)) : '?';
  return Out;
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
  std::size_t I = 1;
  int Base = 10;
  if (Name.size() > 1 && (Unit(Name[1]) == 'x' || Unit(Name[1]) == 'X')) {
    Base = 16;
    I = 2;
  }
  if (I >= Name.size()) return -1;
  int64_t Value = 0;
  for (; I < Name.size(); ++I) {
    const uint32_t C = Unit(Name[I]);
    int Digit;
    if (IsDigit(C)) {
      Digit = static_cast<int>(C - '0');
    } else if (Base == 16 && C >= 'a' && C <= 'f') {
      Digit = static_cast<int>(C - 'a' + 10);
    } else if (Base == 16 && C >= 'A' && C <= 'F') {
      Digit = static_cast<int>(C - 'A' + 10);
    } else {
      return -1;
    }
    Value = Value * Base + Digit;
    if (Value > kMaxCodePoint) return -1;  // also keeps a long digit run from overflowing
  }
  if (Value < 1 || (Value >= 0xD800 && Value <= 0xDFFF)) return -1;
  return static_cast<int32_t>(Value);
}

// Writes a run of either width.
void WriteRun(const std::string& Text, THTMLPassState& State) { WriteHTMLText(Text, State); }
void WriteRun(const std::u16string& Text, THTMLPassState& State) { WriteHTMLTextWide(Text, State); }

template <class Char>
void LookupEntity(const std::basic_string<Char>& Name, THTMLPassState& State) {
  if (Name.size() >= 2) {
    int32_t Code = -1;
    if (Unit(Name[0]) == '#') {
      Code = ParseNumericReference(Name);
    } else {
      // Named references run over ASCII letters and digits only.
      const std::string Narrow = NarrowAscii(Name);
      Code = LookupHTMLEntityCode(Narrow);
      if (Code < 0) {
        std::string Lower(Narrow);
        std::transform(Lower.begin(), Lower.end(), Lower.begin(), LowerAscii);
        Code = LookupHTMLEntityCode(Lower);
      }
    }
    if (Code >= 0) {
      OutputHTMLChar(Code, State);
      return;
    }
  }
  WriteRun(AsciiAs<Char>("&") + Name, State);
}

template <class Char>
void DecodeEntities(const std::basic_string<Char>& Text, THTMLPassState& State) {
  const std::size_t N = Text.size();
  std::size_t Pos = 0;
  for (;;) {
    const std::size_t Amp = Text.find(static_cast<Char>('&'), Pos);
    if (Amp == std::basic_string<Char>::npos || N - Amp - 1 < 2) {
      WriteRun(Text.substr(Pos), State);
      return;
    }
    WriteRun(Text.substr(Pos, Amp - Pos), State);
    const std::size_t Start = Amp + 1;
    std::size_t End = Start;
    if (Unit(Text[Start]) == '#' && (Unit(Text[Start + 1]) == 'x' || Unit(Text[Start + 1]) == 'X')) {
      End = Text.find(static_cast<Char>(';'), Start);
      if (End == std::basic_string<Char>::npos) End = N;
    } else if (Unit(Text[Start]) == '#') {
      End = Start + 1;
      while (End < N && IsDigit(Unit(Text[End]))) ++End;
    } else {
      while (End < N && (IsDigit(Unit(Text[End])) || IsAsciiLetter(Unit(Text[End])))) ++End;
    }
    LookupEntity(Text.substr(Start, End - Start), State);
    if (End >= N) return;
    Pos = End;
    if (Unit(Text[Pos]) == ';') ++Pos;
  }
}

// The value of attribute Name (upper case) in the raw tag text (see GetTagAttribute).
template <class Char>
bool FindTagAttribute(const std::basic_string<Char>& Text, const std::string& Name,
                      std::basic_string<Char>& Value) {
  Value.clear();
  const std::basic_string<Char> Upper = UpperAsciiCopy(Text);
  const std::basic_string<Char> Needle = AsciiAs<Char>(Name);
  const std::size_t N = Text.size();
  // A zero ends the text as its terminator would.
  auto IsBlank = [&](std::size_t I) { return Unit(Text[I]) != 0 && Unit(Text[I]) <= 32; };
  bool Found = false;
  std::size_t From = 0;
  while (!Needle.empty()) {
    const std::size_t At = Upper.find(Needle, From);
    if (At == std::basic_string<Char>::npos) break;
    Found = true;
    std::size_t J = At + Needle.size();
    while (J < N && IsBlank(J)) ++J;
    if (J < N && Unit(Text[J]) == '=') {
      ++J;
      while (J < N && IsBlank(J)) ++J;
      if (J < N && (Unit(Text[J]) == '"' || Unit(Text[J]) == '\'')) {
        const std::size_t Close = Text.find(Text[J], J + 1);
        if (Close != std::basic_string<Char>::npos) Value = Text.substr(J + 1, Close - J - 1);
        return true;
      }
      std::size_t End = J;
      while (End < N && Unit(Text[End]) > 32 && Unit(Text[End]) != '>') ++End;
      Value = Text.substr(J, End - J);
      return true;
    }
    From = At + Needle.size();
  }
  return Found;
}

// ---------------------------------------------------------------------------------------------------
// Token reader helpers

// Reads a text token that begins with First: up to the next "<" (given back) or the end.
bool ReadTextToken(THTMLPassState& State, int32_t First) {
  State.TokenKind = kTokenText;
  State.TagCode = kTagUnknown;
  AppendChar(State.TokenText, First, State.WideSource);
  while (!HTMLSourceEof(State)) {
    const int32_t C = ReadHTMLChar(State);
    if (C == '<') {
      UnreadHTMLChar(State, C);
      break;
    }
    AppendChar(State.TokenText, C, State.WideSource);
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
  std::string Value;
  switch (State.TagCode) {
    case kTagLink:
      GetTagAttribute("HREF", State.TokenText, State);
      break;
    case kTagOrderedList:
      GetTagAttribute("TYPE", Value, State);
      State.TokenText = AttributeAscii(Value, State);
      break;
    case kTagListItem:
      GetTagAttribute("VALUE", Value, State);
      State.TokenText = AttributeAscii(Value, State);
      break;
    case kTagDefinitionList:
      if (GetTagAttribute("COMPACT", Value, State)) State.TokenText = " ";
      break;
    case kTagEmbedded:
      if (GetTagAttribute("ALT", Value, State) && !Value.empty()) {
        State.TokenKind = kTokenText;
        State.TokenText = Value;
        State.AttributeText = true;
      }
      break;
    case kTagMeta: {
      // A UTF-16 page already tells its charset by its bytes; a META charset is looked for in 8-bit pages.
      if (!State.MetaCharset || State.WideSource) break;
      std::string Equiv, Content, Name;
      if (GetTagAttribute("HTTP-EQUIV", Equiv, State) && UpperAsciiString(Equiv) == "CONTENT-TYPE" &&
          GetTagAttribute("CONTENT", Content, State) && GetHTMLAttribute(Content, "CHARSET", Name)) {
        uint8_t Charset = GetHTMLCharset(Name);
        // UTF-16 named in an 8-bit page can only mean the page's own 8-bit form of Unicode.
        if (Charset == qvnls::kCharsetUtf16LE) Charset = qvnls::kCharsetUtf8;
        State.SourceCharset = Charset;
        State.TagCode = kTagMetaCharset;
      }
      break;
    }
    case kTagInput: {
      std::string Type;
      if (GetTagAttribute("TYPE", Type, State) && UpperAsciiString(AttributeAscii(Type, State)) == "SUBMIT" &&
          GetTagAttribute("VALUE", Value, State)) {
        State.TokenText = Value;
        if (!Value.empty()) {
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
  auto Tags = std::make_unique<THTMLTagDic>();
  for (const TNamedCode& Tag : kTags) Tags->Put(Tag.Name, CodeValue(Tag.Code));
  auto Entities = std::make_unique<THTMLEntityDic>();
  for (int32_t I = 0; I < static_cast<int32_t>(std::size(kLatin1Entities)); ++I) {
    Entities->Put(kLatin1Entities[I], CodeValue(kLatin1First + I));
  }
  Entities->Put("nbsp", CodeValue(kNbspCode));
  for (const TNamedCode& Entity : kOtherEntities) Entities->Put(Entity.Name, CodeValue(Entity.Code));
  g_tags = std::move(Tags);
  g_entities = std::move(Entities);
  return true;
}

void FreeHTMLDictionaries() {
  g_tags.reset();
  g_entities.reset();
}

int32_t LookupHTMLTag(const std::string& Name) {
  BuildHTMLDictionaries();
  void** Value = g_tags->FindPtr(Name);
  return Value != nullptr ? ValueCode(*Value) : kTagUnknown;
}

int32_t LookupHTMLEntityCode(const std::string& Name) {
  BuildHTMLDictionaries();
  void** Value = g_entities->FindPtr(Name);
  return Value != nullptr ? ValueCode(*Value) : -1;
}

// ---------------------------------------------------------------------------------------------------
// Character reader

bool HTMLSourceEof(THTMLPassState& State) { return State.Pushed < 0 && State.Source->Eof(); }

int32_t ReadHTMLChar(THTMLPassState& State) {
  if (State.Pushed >= 0) {
    const int32_t C = State.Pushed;
    State.Pushed = -1;
    return C;
  }
  const auto Low = static_cast<uint8_t>(State.Source->ReadChar());
  int32_t C = Low;
  if (State.WideSource) {
    if (State.Source->Eof()) {
      C = 0;
    } else {
      C = Low | (static_cast<uint8_t>(State.Source->ReadChar()) << 8);
    }
  }
  CountQuote(State, C);
  return C;
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
  TCommentMemo& Memo = State.Comments;
  const int32_t Width = CharBytes(State);
  if (Memo.FailedStart >= 0 && Position > Memo.FailedStart) {
    if (Memo.QuoteParity == 0) return false;
    // The first candidate whose "--" lies wholly behind Position closes the comment.
    const int32_t First = Position + 2 * Width;
    auto It = std::lower_bound(Memo.Candidates.begin(), Memo.Candidates.end(), First);
    if (It == Memo.Candidates.end()) return false;
    SeekHTMLSource(State, *It + Width);
    // The quotes between Position and the close are even in number: the parity seen from P stays.
    return true;
  }
  SeekHTMLSource(State, Position);
  Memo.Counting = false;
  std::vector<int32_t> Candidates;
  bool InQuotes = false;
  int32_t Prev1 = 0, Prev2 = 0;
  while (!HTMLSourceEof(State)) {
    const int32_t At = HTMLSourcePosition(State);
    const int32_t C = ReadHTMLChar(State);
    if (C == '"') {
      InQuotes = !InQuotes;
    } else if (C == '>' && Prev1 == '-' && Prev2 == '-') {
      if (!InQuotes) {
        Memo.Counting = true;
        return true;
      }
      Candidates.push_back(At);
    }
    Prev2 = Prev1;
    Prev1 = C;
  }
  Memo.Counting = true;
  Memo.FailedStart = Position;
  Memo.Candidates = std::move(Candidates);
  Memo.QuoteParity = 0;
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
  const int32_t First = ReadHTMLChar(State);
  if (First != '<') return ReadTextToken(State, First);
  if (HTMLSourceEof(State)) return false;

  const int32_t AfterLt = HTMLSourcePosition(State);
  int32_t C = ReadHTMLChar(State);
  if (C > 255) {
    UnreadHTMLChar(State, C);
    return ReadTextToken(State, '<');
  }
  C = static_cast<unsigned char>(UpperAscii(static_cast<char>(C)));
  std::string Name;
  if (C == '/') {
    State.TokenKind = kTokenEndTag;
  } else if (C == '!' || C == '?' || IsAsciiLetter(static_cast<uint32_t>(C))) {
    State.TokenKind = kTokenStartTag;
    Name += static_cast<char>(C);
  } else {
    UnreadHTMLChar(State, C);
    return ReadTextToken(State, '<');
  }

  bool TooLong = false;
  int32_t End;
  for (;;) {
    if (HTMLSourceEof(State)) return false;
    End = ReadHTMLChar(State);
    if (End > 255) {
      SeekHTMLSource(State, AfterLt);
      return ReadTextToken(State, '<');
    }
    if (!IsNameChar(static_cast<uint32_t>(End))) break;
    if (static_cast<int32_t>(Name.size()) == kMaxTagName) {
      TooLong = true;
      break;
    }
    Name += UpperAscii(static_cast<char>(End));
  }

  if (!TooLong && Name.compare(0, 3, "!--") == 0) {
    // The quote parity is wanted at the comment's start: take back a quote that ended the name.
    if (End == '"') CountQuote(State, End);
    const int32_t Behind = AfterLt + 3 * CharBytes(State);
    if (FindCommentEnd(State, Behind)) {
      State.TokenKind = kTokenStartTag;
      State.TagCode = kTagUnknown;
      return true;
    }
    // Never closed: the page goes on as text from behind the "<!--".
    SeekHTMLSource(State, Behind);
    if (HTMLSourceEof(State)) return false;
    return ReadTextToken(State, ReadHTMLChar(State));
  }

  State.TagCode = TooLong ? kTagUnknown : LookupHTMLTag(Name);
  if (End == '>') return true;

  // Scan to the closing ">"; a double quote right after "=" opens a value that ">" does not end.
  const bool Keep = ReadsAttributes(State.TagCode);
  bool AfterEquals = false, InValue = false;
  for (int32_t Ch = End;;) {
    if (Keep) AppendChar(State.TagText, Ch, State.WideSource);
    if (InValue) {
      if (Ch == '"') InValue = false;
    } else if (Ch == '>') {
      break;
    } else if (Ch == '"' && AfterEquals) {
      InValue = true;
      AfterEquals = false;
    } else if (Ch > 32) {
      AfterEquals = Ch == '=';
    }
    if (HTMLSourceEof(State)) return false;
    Ch = ReadHTMLChar(State);
  }
  if (Keep) ReadTagAttributes(State);
  return true;
}

bool GetTagAttribute(const std::string& Name, std::string& Value, const THTMLPassState& State) {
  if (!State.WideSource) return FindTagAttribute(State.TagText, Name, Value);
  std::u16string WideValue;
  const bool Found = FindTagAttribute(RawToWideStr(State.TagText), Name, WideValue);
  Value = HTMLWideToBytes(WideValue);
  return Found;
}

bool GetHTMLAttribute(const std::string& Text, const std::string& Name, std::string& Value) {
  Value.clear();
  const std::size_t At = UpperAsciiString(Text).find(Name);
  if (Name.empty() || At == std::string::npos) return false;
  std::size_t I = At + Name.size();
  const std::size_t N = Text.size();
  for (;; ++I) {
    if (I >= N) return false;
    const uint32_t C = Unit(Text[I]);
    if (C == '=') break;
    if (C > 32) return false;
  }
  ++I;
  while (I < N && Unit(Text[I]) <= 32) ++I;
  std::size_t End = I;
  while (End < N && Unit(Text[End]) > 32 && Text[End] != '"' && Text[End] != '>') ++End;
  Value = Text.substr(I, End - I);
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
  std::string Bytes;
  if (State.UnicodeOutput) {
    if (Code > 0xFFFF) {
      const int32_t V = Code - 0x10000;
      AppendUnit(Bytes, static_cast<char16_t>(0xD800 + (V >> 10)));
      AppendUnit(Bytes, static_cast<char16_t>(0xDC00 + (V & 0x3FF)));
    } else {
      char16_t Unit = static_cast<char16_t>(Code);
      if (Code >= 127 && Code <= 159) {
        Unit = qvnls::CharToWideChar(static_cast<uint8_t>(Code), ReferencePageCharset(State.SourceCharset));
        if (Unit == 0) Unit = State.ReplacementChar;
      }
      AppendUnit(Bytes, Unit);
    }
  } else {
    uint8_t B = 0;
    if (Code < 256) {
      B = qvnls::ConvertChar(static_cast<uint8_t>(Code), qvnls::kCharsetIso8859_1, State.TargetCharset);
    } else if (Code <= 0xFFFF) {
      B = qvnls::WideCharToChar(static_cast<char16_t>(Code), State.TargetCharset);
    }
    Bytes += static_cast<char>(B != 0 ? B : State.ReplacementChar);
  }
  State.Line.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
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
  const int32_t Dest = State.Dest != nullptr ? State.Dest->GetPosition() : 0;
  return Dest + State.Line.GetPosition() + static_cast<int32_t>(State.LineBreak.size()) * State.PendingBreaks;
}

void MarkHTMLLinkStart(THTMLPassState& State) {
  if (State.LinkStart < 0) State.LinkStart = HTMLOutputPosition(State);
}

std::string HTMLWideToBytes(const std::u16string& Text) {
  std::string Bytes;
  Bytes.reserve(2 * Text.size());
  for (char16_t U : Text) AppendUnit(Bytes, U);
  return Bytes;
}
