#include "core/CmdLine.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

template <class TList>
auto Items(const TList& List) {
  std::vector<std::decay_t<decltype(List.Get(0))>> Items;
  for (int32_t I = 0; I < List.GetCount(); ++I) Items.push_back(List.Get(I));
  return Items;
}

using Strings = std::vector<std::string>;
using WideStrings = std::vector<std::u16string>;

const TCharSet kDashAndSlash = CharSetOf("-/");

TEST(CommandLineParser, ServerCommandLineWithSlashOptions) {
  TCommandLineParser P(kDashAndSlash);
  P.Parse("prog /err:C:\\e.txt \"a b\" -resident", 1, false);
  EXPECT_EQ(Items(P.Tokens), (Strings{"/err:C:\\e.txt", "\"a b\"", "-resident"}));
  EXPECT_EQ(Items(P.Params), Strings{"\"a b\""});
  EXPECT_EQ(Items(*P.OptionNames), (Strings{"err", "resident"}));
  EXPECT_EQ(P.GetOption("err"), "C:\\e.txt");
  EXPECT_EQ(P.GetOption("ERR"), "C:\\e.txt");
  EXPECT_TRUE(P.HasOption("RESIDENT"));
  EXPECT_EQ(P.GetOption("resident"), "");
  EXPECT_FALSE(P.HasOption("missing"));
  EXPECT_EQ(P.GetParam(0), "\"a b\"");
  EXPECT_EQ(P.GetParam(-1), "");
  EXPECT_EQ(P.GetParam(1), "");
}

TEST(CommandLineParser, TokenTable) {
  struct Case {
    const char* Line;
    bool Escape;
    Strings Tokens;
  };
  const Case Cases[] = {
      {"\"a \"\"b\"\" c\" d", true, {"\"a \"\"b\"\" c\"", "d"}},
      {"\"a \"\"b\"\" c\" d", false, {"\"a \"", "\"b\"", "\" c\"", "d"}},
      // The 8-bit parser always ends a token at a closing quote.
      {"\"a b\"c", false, {"\"a b\"", "c"}},
      {"a\"b c\"d", false, {"a\"b c\"", "d"}},
      {"a\tb  c ", false, {"a\tb", "c"}},  // a tab is not a blank here
      {"\"unclosed quote", false, {"\"unclosed quote"}},
      {"   ", false, {}},
      {"", false, {}},
  };
  for (const Case& C : Cases) {
    TCommandLineParser P;
    P.Parse(C.Line, 0, C.Escape);
    EXPECT_EQ(Items(P.Tokens), C.Tokens) << C.Line;
  }
}

TEST(CommandLineParser, RepeatedOptionsAndSorting) {
  TCommandLineParser P;
  P.Parse("-x:1 -zeta -x:2 -alpha:a -Mid:m -y -y", 0, false);
  EXPECT_EQ(Items(*P.OptionNames), (Strings{"alpha", "Mid", "x", "y", "y", "zeta"}));
  EXPECT_EQ(Items(P.OptionValues), (Strings{"a", "m", "2", "", "", ""}));
  EXPECT_EQ(P.GetOption("x"), "2");

  // Case-sensitive names keep -X and -x apart.
  TCommandLineParser Cs(TCharSet(), true);
  Cs.Parse("-X:big -x:small", 0, false);
  EXPECT_EQ(Cs.GetOption("X"), "big");
  EXPECT_EQ(Cs.GetOption("x"), "small");
  EXPECT_FALSE(Cs.HasOption("y"));

  // More tokens skipped than given.
  P.Parse("a -b", 5, false);
  EXPECT_EQ(P.Tokens.GetCount(), 0);
  EXPECT_EQ(P.OptionNames->GetCount(), 0);
}

TEST(CommandLineParser, LinuxArgvKeepsAbsolutePathsAsParameters) {
  const char* Argv[] = {
      "/usr/bin/scryline", "/home/me/My Documents", "-path:/tmp/a:b", "-debug", "*.txt", "", "-", "c:\\x"};
  TCommandLineParser P;
  P.ParseArgs(8, Argv, 0);
  EXPECT_EQ(Items(P.Params), (Strings{"/usr/bin/scryline", "/home/me/My Documents", "*.txt", "", "c:\\x"}));
  EXPECT_EQ(Items(*P.OptionNames), (Strings{"", "debug", "path"}));
  EXPECT_EQ(P.GetOption("path"), "/tmp/a:b");  // the value is everything after the first ":"
  EXPECT_EQ(P.Tokens.GetCount(), 8);

  P.ParseArgs(8, Argv, 1);
  EXPECT_EQ(P.GetParam(0), "/home/me/My Documents");
}

TEST(WideCommandLineParser, QuotesTabsAndSwitchCharacters) {
  struct Case {
    const char16_t* Line;
    bool Split;
    WideStrings Tokens;
  };
  const Case Cases[] = {
      {u"\"a b\"c", false, {u"\"a b\"c"}},
      {u"\"a b\"c", true, {u"\"a b\"", u"c"}},
      {u"a\tb", false, {u"a", u"b"}},
      {u"\u00E9t\u00E9 \"\u4E2D \u6587\"", false, {u"\u00E9t\u00E9", u"\"\u4E2D \u6587\""}},
  };
  for (const Case& C : Cases) {
    TWideCommandLineParser P;
    P.Parse(C.Line, 0, false, C.Split);
    EXPECT_EQ(Items(P.Tokens), C.Tokens);
  }

  // U+012D has the low byte of "-" and U+2013 looks like a dash: neither starts an option.
  TWideCommandLineParser P;
  P.Parse(u"\u012Dx \u2013y -z:\u00FC", 0, false, false);
  EXPECT_EQ(Items(P.Params), (WideStrings{u"\u012Dx", u"\u2013y"}));
  EXPECT_EQ(P.GetOption(u"Z"), u"\u00FC");
  EXPECT_EQ(P.GetParam(2), u"");
}

TEST(WideCommandLineParser, MainProgramCommandLine) {
  // The main program: "-" and "/" as switches, nothing skipped, as the program's own text.
  TWideCommandLineParser Text(kDashAndSlash);
  Text.Parse(u"C:\\qv.exe /path:\"C:\\My Files\" /mask:*.txt -debug", 0, false, false);
  EXPECT_EQ(Text.GetParam(0), u"C:\\qv.exe");
  EXPECT_EQ(Text.GetOption(u"path"), u"\"C:\\My Files\"");
  EXPECT_EQ(Text.GetOption(u"MASK"), u"*.txt");
  EXPECT_TRUE(Text.HasOption(u"debug"));

  // The same on Linux: argv, UTF-8, "-" only.
  const char* Argv[] = {"/opt/scryline/Scryline", "-path:/home/me/\xC3\xA4 b", "-mask:*.txt", "/srv/data"};
  TWideCommandLineParser Args;
  Args.ParseArgs(4, Argv, 0);
  EXPECT_EQ(Items(Args.Params), (WideStrings{u"/opt/scryline/Scryline", u"/srv/data"}));
  EXPECT_EQ(Args.GetOption(u"path"), u"/home/me/\u00E4 b");
  EXPECT_EQ(Args.GetOption(u"mask"), u"*.txt");
}

}  // namespace
