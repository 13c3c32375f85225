#include "core/CmdLine.h"

#include "core/FileLayer.h"

namespace {

TCharSet SwitchSet(const TCharSet& Chars) {
  if (Chars.any()) return Chars;
  TCharSet Set;
  Set.set(static_cast<unsigned char>(kDefaultSwitchChar));
  return Set;
}

template <class Char>
bool IsSwitch(Char C, const TCharSet& Switches) {
  auto Code = static_cast<std::make_unsigned_t<Char>>(C);
  return Code < 256 && Switches.test(Code);
}

// Splits `Cmd` into tokens and hands each non-empty one to `End`.
template <class String, class EndToken>
void ScanTokens(const String& Cmd, bool TabIsBlank, bool DoubleQuoteEscape, bool SplitAtClosingQuote,
                EndToken End) {
  String Token;
  bool InQuotes = false;
  auto Finish = [&] {
    if (!Token.empty()) End(Token);
    Token.clear();
  };
  for (size_t I = 0; I < Cmd.size(); ++I) {
    const auto C = Cmd[I];
    if (C == ' ' || (TabIsBlank && C == '\t')) {
      if (InQuotes)
        Token += C;
      else
        Finish();
    } else if (C == '"') {
      Token += C;
      if (!InQuotes) {
        InQuotes = true;
      } else if (DoubleQuoteEscape && I + 1 < Cmd.size() && Cmd[I + 1] == '"') {
        Token += Cmd[++I];
      } else {
        InQuotes = false;
        if (SplitAtClosingQuote) Finish();
      }
    } else {
      Token += C;
    }
  }
  Finish();
}

// Files one token that survived the skip count: into Tokens, and into the options or the parameters.
template <class String, class List>
void FileToken(const String& Token, const TCharSet& Switches, List& Tokens, List& Params, List& Names,
               List& Values) {
  Tokens.Add(Token);
  if (Token.empty() || !IsSwitch(Token[0], Switches)) {
    Params.Add(Token);
    return;
  }
  size_t Colon = Token.find(':');
  if (Colon == String::npos) {
    Names.Add(Token.substr(1));
    Values.Add(String());
    return;
  }
  String Name = Token.substr(1, Colon - 1);
  String Value = Token.substr(Colon + 1);
  int32_t Index = Names.IndexOf(Name);
  if (Index >= 0) {
    Values.Put(Index, Value);
  } else {
    Names.Add(Name);
    Values.Add(Value);
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
  TokenCount_ = 0;
  Skip_ = SkipCount;
}

template <class String, class List, class CaseSensList>
void TCommandLineParserBase<String, List, CaseSensList>::AddToken(const String& Token) {
  if (++TokenCount_ <= Skip_) return;
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
  int32_t Index = OptionNames->SortedIndexOf(Name);
  return Index >= 0 ? OptionValues.Get(Index) : String();
}

template class TCommandLineParserBase<std::string, TStrLst, TCaseSensStrLst>;
template class TCommandLineParserBase<std::u16string, TWideStrLst, TCaseSensWideStrLst>;

// --- 8-bit parser -------------------------------------------------------------------------------------

TCommandLineParser::TCommandLineParser(const TCharSet& SwitchChars, bool CaseSensitive)
    : TCommandLineParserBase(SwitchChars, CaseSensitive) {}

void TCommandLineParser::Parse(const std::string& CmdLine, int32_t SkipCount, bool DoubleQuoteEscape) {
  Start(SkipCount);
  ScanTokens(CmdLine, false, DoubleQuoteEscape, true, [this](const std::string& T) { AddToken(T); });
  Finish();
}

void TCommandLineParser::ParseArgs(int Argc, const char* const* Argv, int32_t SkipCount) {
  Start(SkipCount);
  for (int I = 0; I < Argc; ++I) AddToken(Argv[I] != nullptr ? Argv[I] : "");
  Finish();
}

// --- UTF-16 parser ------------------------------------------------------------------------------------

TWideCommandLineParser::TWideCommandLineParser(const TCharSet& SwitchChars, bool CaseSensitive)
    : TCommandLineParserBase(SwitchChars, CaseSensitive) {}

void TWideCommandLineParser::Parse(const std::u16string& CmdLine, int32_t SkipCount, bool DoubleQuoteEscape,
                                   bool SplitAtClosingQuote) {
  Start(SkipCount);
  ScanTokens(CmdLine, true, DoubleQuoteEscape, SplitAtClosingQuote,
             [this](const std::u16string& T) { AddToken(T); });
  Finish();
}

void TWideCommandLineParser::ParseArgs(int Argc, const char* const* Argv, int32_t SkipCount) {
  Start(SkipCount);
  for (int I = 0; I < Argc; ++I) AddToken(Utf8ToUtf16(Argv[I] != nullptr ? Argv[I] : ""));
  Finish();
}
