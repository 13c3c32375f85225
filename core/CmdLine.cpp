#include "core/CmdLine.h"

#include "core/FileLayer.h"

namespace {

TCharSet SwitchSet(const TCharSet& chars) {
  if (chars.any()) return chars;
  TCharSet set;
  set.set(static_cast<unsigned char>(kDefaultSwitchChar));
  return set;
}

template <class Char>
bool IsSwitch(Char c, const TCharSet& switches) {
  auto code = static_cast<std::make_unsigned_t<Char>>(c);
  return code < 256 && switches.test(code);
}

// Splits CmdLine into tokens and hands each non-empty one to `end`.
template <class String, class EndToken>
void ScanTokens(const String& cmd, bool tabIsBlank, bool doubleQuoteEscape, bool splitAtClosingQuote,
                EndToken end) {
  String token;
  bool inQuotes = false;
  auto finish = [&] {
    if (!token.empty()) end(token);
    token.clear();
  };
  for (size_t i = 0; i < cmd.size(); ++i) {
    const auto c = cmd[i];
    if (c == ' ' || (tabIsBlank && c == '\t')) {
      if (inQuotes)
        token += c;
      else
        finish();
    } else if (c == '"') {
      token += c;
      if (!inQuotes) {
        inQuotes = true;
      } else if (doubleQuoteEscape && i + 1 < cmd.size() && cmd[i + 1] == '"') {
        token += cmd[++i];
      } else {
        inQuotes = false;
        if (splitAtClosingQuote) finish();
      }
    } else {
      token += c;
    }
  }
  finish();
}

// Files one token that survived the skip count: into Tokens, and into the options or the parameters.
template <class String, class List>
void FileToken(const String& token, const TCharSet& switches, List& tokens, List& params, List& names,
               List& values) {
  tokens.Add(token);
  if (token.empty() || !IsSwitch(token[0], switches)) {
    params.Add(token);
    return;
  }
  size_t colon = token.find(':');
  if (colon == String::npos) {
    names.Add(token.substr(1));
    values.Add(String());
    return;
  }
  String name = token.substr(1, colon - 1);
  String value = token.substr(colon + 1);
  int32_t index = names.IndexOf(name);
  if (index >= 0) {
    values.Put(index, value);
  } else {
    names.Add(name);
    values.Add(value);
  }
}

}  // namespace

// --- Shared part ---------------------------------------------------------------------------------------

template <class String, class List, class CaseSensList>
TCommandLineParserBase<String, List, CaseSensList>::TCommandLineParserBase(const TCharSet& SwitchChars,
                                                                           bool CaseSensitive)
    : SwitchChars(SwitchSet(SwitchChars)),
      OptionNames(CaseSensitive ? std::make_unique<CaseSensList>() : std::make_unique<List>()) {}

template <class String, class List, class CaseSensList>
void TCommandLineParserBase<String, List, CaseSensList>::Start(int32_t SkipCount) {
  Tokens.Clear();
  Params.Clear();
  OptionNames->Clear();
  OptionValues.Clear();
  TokenCount = 0;
  Skip = SkipCount;
}

template <class String, class List, class CaseSensList>
void TCommandLineParserBase<String, List, CaseSensList>::AddToken(const String& Token) {
  if (++TokenCount <= Skip) return;
  FileToken(Token, SwitchChars, Tokens, Params, *OptionNames, OptionValues);
}

template <class String, class List, class CaseSensList>
void TCommandLineParserBase<String, List, CaseSensList>::Finish() {
  OptionNames->SortWith(OptionValues);
}

template <class String, class List, class CaseSensList>
String TCommandLineParserBase<String, List, CaseSensList>::GetParam(int32_t Index) const {
  return Index >= 0 && Index < Params.GetCount() ? Params.Get(Index) : String();
}

template <class String, class List, class CaseSensList>
bool TCommandLineParserBase<String, List, CaseSensList>::HasOption(const String& Name) const {
  return OptionNames->SortedIndexOf(Name) >= 0;
}

template <class String, class List, class CaseSensList>
String TCommandLineParserBase<String, List, CaseSensList>::GetOption(const String& Name) const {
  int32_t index = OptionNames->SortedIndexOf(Name);
  return index >= 0 ? OptionValues.Get(index) : String();
}

template class TCommandLineParserBase<std::string, TStrLst, TCaseSensStrLst>;
template class TCommandLineParserBase<std::u16string, TWideStrLst, TCaseSensWideStrLst>;

// --- 8-bit parser -------------------------------------------------------------------------------------

TCommandLineParser::TCommandLineParser(const TCharSet& SwitchChars, bool CaseSensitive)
    : TCommandLineParserBase(SwitchChars, CaseSensitive) {}

void TCommandLineParser::Parse(const std::string& CmdLine, int32_t SkipCount, bool DoubleQuoteEscape) {
  Start(SkipCount);
  ScanTokens(CmdLine, false, DoubleQuoteEscape, true, [this](const std::string& t) { AddToken(t); });
  Finish();
}

void TCommandLineParser::ParseArgs(int argc, const char* const* argv, int32_t SkipCount) {
  Start(SkipCount);
  for (int i = 0; i < argc; ++i) AddToken(argv[i] != nullptr ? argv[i] : "");
  Finish();
}

// --- UTF-16 parser ------------------------------------------------------------------------------------

TWideCommandLineParser::TWideCommandLineParser(const TCharSet& SwitchChars, bool CaseSensitive)
    : TCommandLineParserBase(SwitchChars, CaseSensitive) {}

void TWideCommandLineParser::Parse(const std::u16string& CmdLine, int32_t SkipCount, bool DoubleQuoteEscape,
                                   bool SplitAtClosingQuote) {
  Start(SkipCount);
  ScanTokens(CmdLine, true, DoubleQuoteEscape, SplitAtClosingQuote,
             [this](const std::u16string& t) { AddToken(t); });
  Finish();
}

void TWideCommandLineParser::ParseArgs(int argc, const char* const* argv, int32_t SkipCount) {
  Start(SkipCount);
  for (int i = 0; i < argc; ++i) AddToken(Utf8ToUtf16(argv[i] != nullptr ? argv[i] : ""));
  Finish();
}
