#include "app/Utils.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/WSSDic.h"
#include "core/WideStrings.h"

namespace {

std::vector<std::u16string> Items(const TWideStrLst& List) {
  std::vector<std::u16string> Items;
  for (int32_t I = 0; I < List.GetCount(); ++I) Items.push_back(List.Get(I));
  return Items;
}

TEST(UtilsLists, SplitAndJoin) {
  TWideStrLst List;
  List.Add(u"stale");
  SplitQuotedList(List, u"a b,\"c d\";;e,\"x;y\"");
  EXPECT_EQ(Items(List), (std::vector<std::u16string>{u"a", u"b", u"c d", u"e", u"x;y"}));
  EXPECT_EQ(JoinQuotedList(List), u"a;b;\"c d\";e;\"x;y\"");
  SplitQuotedList(List, u" ,; ");
  EXPECT_EQ(List.GetCount(), 0);
  EXPECT_EQ(JoinQuotedList(List), u"");

  TWideStringList Strings;
  Strings.Add(u"old");
  WideStringsFromList(List, Strings);
  EXPECT_EQ(Strings.GetCount(), 0);
  SplitQuotedList(List, u"x \"\u00E9 y\"");
  WideStringsFromList(List, Strings);
  ASSERT_EQ(Strings.GetCount(), 2);
  EXPECT_EQ(Strings.Get(1), u"\u00E9 y");

  TWideStrStrDic Dic;
  Dic.Put(u"x y", u"1");
  Dic.Put(u"a", u"2");
  Dic.Put(u"b,c", u"3");
  EXPECT_EQ(JoinDictionaryKeys(Dic), u"a;\"b,c\";\"x y\"");
}

TEST(UtilsLists, DateAndTimeText) {
  icu::Locale Saved = icu::Locale::getDefault();
  UErrorCode Status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale("en_US"), Status);
  const TDateTime Date = 45293 + (17 * 60 + 30) / 1440.0;  // 2024-01-02 17:30
  EXPECT_EQ(FormatDateTimeText(Date), u"1/2/24 17:30");
  icu::Locale::setDefault(icu::Locale("de_DE"), Status);
  EXPECT_EQ(FormatDateTimeText(Date), u"02.01.24 17:30");
  icu::Locale::setDefault(Saved, Status);
}

TEST(UtilsMasks, NormalForms) {
  struct Case {
    const char16_t* Mask;
    const char16_t* Normal;
  };
  const Case Cases[] = {
      {u"txt", u"*.txt"},       {u".txt", u"*.txt"},  {u"*", u"*.*"},
      {u"readme", u"*.readme"}, {u"*.txt", u"*.txt"}, {u"a.b", u"a.b"},
      {u"dir/x", u"dir/x"},     {u"c:x", u"c:x"},     {u"", u""},
  };
  for (const Case& C : Cases) {
    std::u16string Mask = C.Mask;
    NormalizeMask(Mask);
    EXPECT_EQ(Mask, C.Normal);
  }
  EXPECT_EQ(NormalizeMasks(u"txt doc;*.TXT"), u"*.txt;*.doc");
  EXPECT_EQ(NormalizeMasks(u"*.doc;*.*;*.txt"), u"*.*");
  EXPECT_EQ(NormalizeMasks(u"*.doc;*"), u"*.*");
  EXPECT_EQ(NormalizeMasks(u"\"my notes\""), u"\"*.my notes\"");
  EXPECT_EQ(StripMaskStarDot(u"*.txt"), u"txt");
  EXPECT_EQ(StripMaskStarDot(u"x.txt"), u"x.txt");

  EXPECT_TRUE(IsAllFilesMask(u""));
  EXPECT_TRUE(IsAllFilesMask(u" ; "));
  EXPECT_TRUE(IsAllFilesMask(u"*.txt;*.*"));
  EXPECT_FALSE(IsAllFilesMask(u"*.txt"));

  std::u16string Text = u"ab*cd*";
  EXPECT_EQ(CutAtAsterisk(Text), 3);
  EXPECT_EQ(Text, u"ab");
  EXPECT_EQ(CutAtAsterisk(Text), 0);
  EXPECT_EQ(Text, u"ab");

  EXPECT_EQ(WildcardPos("b?d", "abcde"), 2);
  EXPECT_EQ(WildcardPos("x", "abc"), 0);
  EXPECT_EQ(WildcardPos("c", "abcabc", 4), 6);
  EXPECT_EQ(WildcardPos("?b",
                        "\xC3\xA4"
                        "b"),
            1);  // "?" takes the two-byte character
  EXPECT_EQ(WildcardPos("b",
                        "\xC3\xA4"
                        "b"),
            3);
}

TEST(UtilsMasks, MatchesMaskTable) {
  struct Case {
    const char* Name;
    const char* Mask;
    bool IgnoreCase;
    bool Match;
  };
  const Case Cases[] = {
      {"report.txt", "*.TXT", true, true},
      {"report.txt", "*.TXT", false, false},
      {"aba", "ab*ba", true, false},  // the two literal parts may not overlap
      {"abba", "ab*ba", true, true},
      {"pxxab", "p*ab*b*", true, true},  // name used up, and the mask ends with "*"
      {"anything", "*", false, true},
      {"", "*", false, true},
      {"", "**", false, true},
      {"", "", false, true},
      {"", "a", false, false},
      {"a", "", false, false},
      {"abc", "a?c", false, true},
      {"a", "a*", false, true},
      {"a", "a*b", false, false},
      {"bab", "*a*", false, true},
      {"x.tar.gz", "*.gz", false, true},
      {"gz", "*.gz", false, false},  // the last part may not reach before the current position
      {"x", "*x", false, true},
      {"readme.txt", "**.txt", false, true},
      {"a*b", "a*b", false, true},  // an exact copy, before any wildcard rule
      // UTF-8 names: "?" is one character, and case is folded beyond ASCII.
      {"\xC3\xA4.txt", "?.txt", false, true},
      {"\xC3\xA4.txt", "??.txt", false, false},
      {"\xC3\x84RGER.TXT", "*\xC3\xA4rger*", true, true},
      {"\xC3\x84RGER.TXT", "*\xC3\xA4rger*", false, false},
      // Bytes that are not UTF-8 match only themselves.
      {"\xFF.txt", "?.txt", false, true},
      {"\xFE.txt", "\xFF*", false, false},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(MatchesMask(C.Name, C.Mask, C.IgnoreCase), C.Match) << C.Name << " / " << C.Mask;
}

TEST(UtilsPaths, ParsePathListOnThisSystem) {
  struct Case {
    const char16_t* Text;
    const char16_t* List;
  };
  const Case Cases[] = {
      {u"/x/a b /y", u"\"/x/a b\";/y"},
      {u"/home/me/My Documents;/srv/data", u"\"/home/me/My Documents\";/srv/data"},
      {u"/data/notes:v2 /tmp", u"/data/notes:v2;/tmp"},
      {u"\"/a;b\"", u"\"/a;b\""},
      {u"/x, /x", u"/x"},
      {u"/X /x", u"/X;/x"},  // two folders on this system
      {u"docs /x", u"docs;/x"},
      {u"/a  b", u"\"/a  b\""},        // separators inside a path stay as typed
      {u"/a \"/b c", u"/a;\"/b c\""},  // an unclosed quote still gives its path
      {u"", u""},
      {u" , ; ", u""},
      {u"c: d:\\x y", u"\"c: d:\\x y\""},  // drive letters mean nothing here
  };
  for (const Case& C : Cases) EXPECT_EQ(ParsePathList(C.Text), C.List) << Utf16ToUtf8(C.Text);
}

TEST(UtilsPaths, WindowsSyntax) {
  EXPECT_EQ(ParsePathList(u"c: d:\\x y", psWindows), u"c:\\;\"d:\\x y\"");
  EXPECT_EQ(ParsePathList(u"\"C:\\a;b\"", psWindows), u"\"C:\\a;b\"");
  EXPECT_EQ(ParsePathList(u"c:name \\\\srv\\share", psWindows), u"c:\\name;\\\\srv\\share");
  EXPECT_EQ(ParsePathList(u"C:\\x c:\\X", psWindows), u"C:\\x");
  EXPECT_FALSE(IsAbsolutePath(u"C:\\a:b", psWindows));
  EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\share", psWindows));
  EXPECT_FALSE(IsAbsolutePath(u"a\\b", psWindows));
  EXPECT_TRUE(IsAbsolutePath(u"c:", psWindows));
  EXPECT_FALSE(IsAbsolutePath(u"c", psWindows));
  EXPECT_TRUE(IsAbsolutePath(u"/home/a:b"));
  EXPECT_FALSE(IsAbsolutePath(u"C:\\a"));
  EXPECT_FALSE(IsAbsolutePath(u""));
}

TEST(UtilsPaths, ItemPaths) {
  struct Case {
    const char16_t* Path;
    TPathSyntax Syntax;
    const char16_t* Folder;
    const char16_t* Name;
  };
  const Case Cases[] = {
      {u"/h/a.zip|dir/f.txt", psArchiveItem, u"/h/a.zip|dir", u"f.txt"},
      {u"/h/a.zip|f.txt", psArchiveItem, u"/h/a.zip", u"f.txt"},
      {u"/h/a.zip|in.zip|f.txt", psArchiveItem, u"/h/a.zip|in.zip", u"f.txt"},
      {u"/h/a|b.txt", psPlainFile, u"/h", u"a|b.txt"},  // "|" in a plain file's name
      {u"/h/notes:v2.txt", psPlainFile, u"/h", u"notes:v2.txt"},
      {u"/h/a\\b", psArchiveItem, u"/h", u"a\\b"},
      {u"name", psPlainFile, u"", u"name"},
      {u"/top", psPlainFile, u"", u"top"},
      {u"C:\\d\\a.zip|x:y", psWindows, u"C:\\d\\a.zip|x", u"y"},
  };
  for (const Case& C : Cases) {
    std::u16string Folder, Name;
    SplitItemPath(C.Path, C.Syntax, Folder, Name);
    EXPECT_EQ(Folder, C.Folder);
    EXPECT_EQ(Name, C.Name);
    EXPECT_EQ(ExtractItemName(C.Path, C.Syntax), C.Name);
    EXPECT_EQ(ExtractItemFolder(C.Path, C.Syntax), C.Folder);
  }
}

TEST(UtilsSizes, TextToBytesAndBack) {
  struct Case {
    const char16_t* Text;
    int32_t Units;
    int64_t Bytes;
  };
  const Case Cases[] = {
      {u"", suBytes, -1},
      {u"-1", suBytes, -1},
      {u"x", suBytes, -1},
      {u"1 2", suBytes, -1},
      {u"12", suBytes, 12},
      {u" 12 ", suKilobytes, 12288},
      {u"+5", suBytes, 5},
      {u"3", suMegabytes, 3145728},
      {u"9223372036854775807", suBytes, INT64_MAX},
      {u"9223372036854775808", suBytes, -1},
      {u"9223372036854775807", suMegabytes, -1},
      {u"8796093022207", suMegabytes, 8796093022207LL * 1048576},
      {u"8796093022208", suMegabytes, -1},  // 2^63: one past the largest size
      {u"\uFF11\uFF12", suBytes, -1},       // full-width digits
  };
  for (const Case& C : Cases) EXPECT_EQ(SizeTextToBytes(C.Text, C.Units), C.Bytes) << C.Units;

  EXPECT_EQ(FormatSizeForUnits(5000, suBytes), u"5000");
  EXPECT_EQ(FormatSizeForUnits(5000, suKilobytes), u"4");
  EXPECT_EQ(FormatSizeForUnits(3145728, suMegabytes), u"3");
  EXPECT_EQ(FormatSizeForUnits(1048575, suMegabytes), u"0");
}

}  // namespace
