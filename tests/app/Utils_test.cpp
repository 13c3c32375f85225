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

std::vector<std::u16string> Items(const TWideStrLst& list) {
  std::vector<std::u16string> items;
  for (int32_t i = 0; i < list.GetCount(); ++i) items.push_back(list.Get(i));
  return items;
}

TEST(UtilsLists, SplitAndJoin) {
  TWideStrLst list;
  list.Add(u"stale");
  SplitQuotedList(list, u"a b,\"c d\";;e,\"x;y\"");
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"a", u"b", u"c d", u"e", u"x;y"}));
  EXPECT_EQ(JoinQuotedList(list), u"a;b;\"c d\";e;\"x;y\"");
  SplitQuotedList(list, u" ,; ");
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(JoinQuotedList(list), u"");

  TWideStringList strings;
  strings.Add(u"old");
  WideStringsFromList(list, strings);
  EXPECT_EQ(strings.GetCount(), 0);
  SplitQuotedList(list, u"x \"\u00E9 y\"");
  WideStringsFromList(list, strings);
  ASSERT_EQ(strings.GetCount(), 2);
  EXPECT_EQ(strings.Get(1), u"\u00E9 y");

  TWideStrStrDic dic;
  dic.Put(u"x y", u"1");
  dic.Put(u"a", u"2");
  dic.Put(u"b,c", u"3");
  EXPECT_EQ(JoinDictionaryKeys(dic), u"a;\"b,c\";\"x y\"");
}

TEST(UtilsLists, DateAndTimeText) {
  icu::Locale saved = icu::Locale::getDefault();
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale("en_US"), status);
  const TDateTime date = 45293 + (17 * 60 + 30) / 1440.0;  // 2024-01-02 17:30
  EXPECT_EQ(FormatDateTimeText(date), u"1/2/24 17:30");
  icu::Locale::setDefault(icu::Locale("de_DE"), status);
  EXPECT_EQ(FormatDateTimeText(date), u"02.01.24 17:30");
  icu::Locale::setDefault(saved, status);
}

TEST(UtilsMasks, NormalForms) {
  struct Case {
    const char16_t* mask;
    const char16_t* normal;
  };
  const Case cases[] = {
      {u"txt", u"*.txt"},       {u".txt", u"*.txt"},  {u"*", u"*.*"},
      {u"readme", u"*.readme"}, {u"*.txt", u"*.txt"}, {u"a.b", u"a.b"},
      {u"dir/x", u"dir/x"},     {u"c:x", u"c:x"},     {u"", u""},
  };
  for (const Case& c : cases) {
    std::u16string mask = c.mask;
    NormalizeMask(mask);
    EXPECT_EQ(mask, c.normal);
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

  std::u16string text = u"ab*cd*";
  EXPECT_EQ(CutAtAsterisk(text), 3);
  EXPECT_EQ(text, u"ab");
  EXPECT_EQ(CutAtAsterisk(text), 0);
  EXPECT_EQ(text, u"ab");

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
    const char* name;
    const char* mask;
    bool ignoreCase;
    bool match;
  };
  const Case cases[] = {
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
  for (const Case& c : cases)
    EXPECT_EQ(MatchesMask(c.name, c.mask, c.ignoreCase), c.match) << c.name << " / " << c.mask;
}

TEST(UtilsPaths, ParsePathListOnThisSystem) {
  struct Case {
    const char16_t* text;
    const char16_t* list;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) EXPECT_EQ(ParsePathList(c.text), c.list) << Utf16ToUtf8(c.text);
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
    const char16_t* path;
    TPathSyntax syntax;
    const char16_t* folder;
    const char16_t* name;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    std::u16string folder, name;
    SplitItemPath(c.path, c.syntax, folder, name);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(ExtractItemName(c.path, c.syntax), c.name);
    EXPECT_EQ(ExtractItemFolder(c.path, c.syntax), c.folder);
  }
}

TEST(UtilsSizes, TextToBytesAndBack) {
  struct Case {
    const char16_t* text;
    int32_t units;
    int64_t bytes;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) EXPECT_EQ(SizeTextToBytes(c.text, c.units), c.bytes) << c.units;

  EXPECT_EQ(FormatSizeForUnits(5000, suBytes), u"5000");
  EXPECT_EQ(FormatSizeForUnits(5000, suKilobytes), u"4");
  EXPECT_EQ(FormatSizeForUnits(3145728, suMegabytes), u"3");
  EXPECT_EQ(FormatSizeForUnits(1048575, suMegabytes), u"0");
}

}  // namespace
