// Command-line parsers: split a command line into tokens, positional parameters and named options.
// TCommandLineParser reads 8-bit text (the conversion server's command line, a registered program's
// command string), TWideCommandLineParser UTF-16 text (the main program's command line).
//
// A token that starts with a switch character is an option, written name or name:value; every other
// token is a parameter. Switch characters are 8-bit, so a UTF-16 character from 256 up never starts an
// option. By default only "-" is a switch character: "/" begins an absolute path on this system.
// Quotes group blanks into a token and stay part of it (UnquoteStr and WideUnquoteStr remove them).
//
// ParseArgs takes argv as the system passes it: already split and unquoted, one token per element.
//
// A parser owns its lists; it is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/StrLst.h"
#include "core/StrUtils.h"

// The switch characters an empty set stands for.
constexpr char kDefaultSwitchChar = '-';

// What both parsers share: the lists, the lookups, and the filing of one token. String is the text type,
// List the list of names (case-insensitive) and CaseSensList its case-sensitive form.
template <class String, class List, class CaseSensList>
class TCommandLineParserBase {
 public:
  // Params[Index], or an empty string when Index is out of range.
  String GetParam(int32_t Index) const;
  bool HasOption(const String& Name) const;
  // The option's value; empty when absent or given without a value.
  String GetOption(const String& Name) const;

  TCharSet SwitchChars;
  List Tokens;  // every token kept, options included, in command-line order
  List Params;
  // Option names (the case-sensitive list when asked for), sorted after parsing, with OptionValues
  // parallel to them.
  std::unique_ptr<List> OptionNames;
  List OptionValues;

 protected:
  // An empty SwitchChars means "-". CaseSensitive makes option names compare with case.
  TCommandLineParserBase(const TCharSet& SwitchChars, bool CaseSensitive);
  // Empties the lists and sets how many tokens to drop.
  void Start(int32_t SkipCount);
  // Counts one token and files it, unless it is among the dropped ones.
  void AddToken(const String& Token);
  // Sorts the option names with their values.
  void Finish();

 private:
  int32_t TokenCount_ = 0;
  int32_t Skip_ = 0;
};

class TCommandLineParser : public TCommandLineParserBase<std::string, TStrLst, TCaseSensStrLst> {
 public:
  explicit TCommandLineParser(const TCharSet& SwitchChars = TCharSet(), bool CaseSensitive = false);

  // Fills the lists from CmdLine; the first SkipCount tokens are dropped (1 skips the program name).
  // A blank ends a token outside quotes. With DoubleQuoteEscape, two double quotes inside a quoted part
  // stand for one and keep the part open. A closing quote ends the token.
  void Parse(const std::string& CmdLine, int32_t SkipCount, bool DoubleQuoteEscape);
  // Fills the lists from argv[0..argc-1], one token per element, the first SkipCount dropped. An empty
  // element is an empty parameter (it was given on purpose).
  void ParseArgs(int Argc, const char* const* Argv, int32_t SkipCount);
};

class TWideCommandLineParser
    : public TCommandLineParserBase<std::u16string, TWideStrLst, TCaseSensWideStrLst> {
 public:
  explicit TWideCommandLineParser(const TCharSet& SwitchChars = TCharSet(), bool CaseSensitive = false);

  // As TCommandLineParser::Parse; a tab is a blank as well. A closing quote ends the token only with
  // SplitAtClosingQuote; without it, text right after the closing quote continues the token.
  void Parse(const std::u16string& CmdLine, int32_t SkipCount, bool DoubleQuoteEscape,
             bool SplitAtClosingQuote);
  // argv elements hold UTF-8.
  void ParseArgs(int Argc, const char* const* Argv, int32_t SkipCount);
};
