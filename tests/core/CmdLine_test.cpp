#include "core/CmdLine.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

template <class List>
auto Items(const List& list) {
  std::vector<std::decay_t<decltype(list.Get(0))>> items;
  for (int32_t i = 0; i < list.GetCount(); ++i) items.push_back(list.Get(i));
  return items;
}

using Strings = std::vector<std::string>;
using WideStrings = std::vector<std::u16string>;

const TCharSet kDashAndSlash = CharSetOf("-/");

TEST(CommandLineParser, ServerCommandLineWithSlashOptions) {
  TCommandLineParser p(kDashAndSlash);
  p.Parse("prog /err:C:\\e.txt \"a b\" -resident", 1, false);
  EXPECT_EQ(Items(p.Tokens), (Strings{"/err:C:\\e.txt", "\"a b\"", "-resident"}));
  EXPECT_EQ(Items(p.Params), Strings{"\"a b\""});
  EXPECT_EQ(Items(*p.OptionNames), (Strings{"err", "resident"}));
  EXPECT_EQ(p.GetOption("err"), "C:\\e.txt");
  EXPECT_EQ(p.GetOption("ERR"), "C:\\e.txt");
  EXPECT_TRUE(p.HasOption("RESIDENT"));
  EXPECT_EQ(p.GetOption("resident"), "");
  EXPECT_FALSE(p.HasOption("missing"));
  EXPECT_EQ(p.GetParam(0), "\"a b\"");
  EXPECT_EQ(p.GetParam(-1), "");
  EXPECT_EQ(p.GetParam(1), "");
}

TEST(CommandLineParser, TokenTable) {
  struct Case {
    const char* line;
    bool escape;
    Strings tokens;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    TCommandLineParser p;
    p.Parse(c.line, 0, c.escape);
    EXPECT_EQ(Items(p.Tokens), c.tokens) << c.line;
  }
}

TEST(CommandLineParser, RepeatedOptionsAndSorting) {
  TCommandLineParser p;
  p.Parse("-x:1 -zeta -x:2 -alpha:a -Mid:m -y -y", 0, false);
  EXPECT_EQ(Items(*p.OptionNames), (Strings{"alpha", "Mid", "x", "y", "y", "zeta"}));
  EXPECT_EQ(Items(p.OptionValues), (Strings{"a", "m", "2", "", "", ""}));
  EXPECT_EQ(p.GetOption("x"), "2");

  // Case-sensitive names keep -X and -x apart.
  TCommandLineParser cs(TCharSet(), true);
  cs.Parse("-X:big -x:small", 0, false);
  EXPECT_EQ(cs.GetOption("X"), "big");
  EXPECT_EQ(cs.GetOption("x"), "small");
  EXPECT_FALSE(cs.HasOption("y"));

  // More tokens skipped than given.
  p.Parse("a -b", 5, false);
  EXPECT_EQ(p.Tokens.GetCount(), 0);
  EXPECT_EQ(p.OptionNames->GetCount(), 0);
}

TEST(CommandLineParser, LinuxArgvKeepsAbsolutePathsAsParameters) {
  const char* argv[] = {
      "/usr/bin/scryline", "/home/me/My Documents", "-path:/tmp/a:b", "-debug", "*.txt", "", "-", "c:\\x"};
  TCommandLineParser p;
  p.ParseArgs(8, argv, 0);
  EXPECT_EQ(Items(p.Params), (Strings{"/usr/bin/scryline", "/home/me/My Documents", "*.txt", "", "c:\\x"}));
  EXPECT_EQ(Items(*p.OptionNames), (Strings{"", "debug", "path"}));
  EXPECT_EQ(p.GetOption("path"), "/tmp/a:b");  // the value is everything after the first ":"
  EXPECT_EQ(p.Tokens.GetCount(), 8);

  p.ParseArgs(8, argv, 1);
  EXPECT_EQ(p.GetParam(0), "/home/me/My Documents");
}

TEST(WideCommandLineParser, QuotesTabsAndSwitchCharacters) {
  struct Case {
    const char16_t* line;
    bool split;
    WideStrings tokens;
  };
  const Case cases[] = {
      {u"\"a b\"c", false, {u"\"a b\"c"}},
      {u"\"a b\"c", true, {u"\"a b\"", u"c"}},
      {u"a\tb", false, {u"a", u"b"}},
      {u"\u00E9t\u00E9 \"\u4E2D \u6587\"", false, {u"\u00E9t\u00E9", u"\"\u4E2D \u6587\""}},
  };
  for (const Case& c : cases) {
    TWideCommandLineParser p;
    p.Parse(c.line, 0, false, c.split);
    EXPECT_EQ(Items(p.Tokens), c.tokens);
  }

  // U+012D has the low byte of "-" and U+2013 looks like a dash: neither starts an option.
  TWideCommandLineParser p;
  p.Parse(u"\u012Dx \u2013y -z:\u00FC", 0, false, false);
  EXPECT_EQ(Items(p.Params), (WideStrings{u"\u012Dx", u"\u2013y"}));
  EXPECT_EQ(p.GetOption(u"Z"), u"\u00FC");
  EXPECT_EQ(p.GetParam(2), u"");
}

TEST(WideCommandLineParser, MainProgramCommandLine) {
  // The main program: "-" and "/" as switches, nothing skipped, as the program's own text.
  TWideCommandLineParser text(kDashAndSlash);
  text.Parse(u"C:\\qv.exe /path:\"C:\\My Files\" /mask:*.txt -debug", 0, false, false);
  EXPECT_EQ(text.GetParam(0), u"C:\\qv.exe");
  EXPECT_EQ(text.GetOption(u"path"), u"\"C:\\My Files\"");
  EXPECT_EQ(text.GetOption(u"MASK"), u"*.txt");
  EXPECT_TRUE(text.HasOption(u"debug"));

  // The same on Linux: argv, UTF-8, "-" only.
  const char* argv[] = {"/opt/scryline/Scryline", "-path:/home/me/\xC3\xA4 b", "-mask:*.txt", "/srv/data"};
  TWideCommandLineParser args;
  args.ParseArgs(4, argv, 0);
  EXPECT_EQ(Items(args.Params), (WideStrings{u"/opt/scryline/Scryline", u"/srv/data"}));
  EXPECT_EQ(args.GetOption(u"path"), u"/home/me/\u00E4 b");
  EXPECT_EQ(args.GetOption(u"mask"), u"*.txt");
}

}  // namespace
