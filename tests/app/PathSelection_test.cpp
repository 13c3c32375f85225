#include "app/PathSelection.h"

#include <gtest/gtest.h>

#include "core/WSSDic.h"

TEST(PathSelection, NormalisedPaths) {
  EXPECT_EQ(NormalizeSelectedPath(u"/a/b/."), u"/a/b");
  EXPECT_EQ(NormalizeSelectedPath(u"/a/b/"), u"/a/b");
  EXPECT_EQ(NormalizeSelectedPath(u"/"), u"/");
  EXPECT_EQ(NormalizeSelectedPath(u"/."), u"/");
  EXPECT_TRUE(PathDisplayLess(u"/a", u"/B"));
  EXPECT_TRUE(PathDisplayLess(u"/A", u"/a"));  // a tie without case is broken exactly
  EXPECT_FALSE(PathDisplayLess(u"/a", u"/a"));
}

TEST(PathSelection, AddingAndRemovingKeepTheTreeInStep) {
  std::vector<std::pair<std::u16string, bool>> Ticks;
  for (bool Sort : {true, false}) {
    TPathSelection S;
    S.SortPaths = Sort;
    S.OnNodeCheck = [&](const std::u16string& P, bool C) { Ticks.emplace_back(P, C); };
    Ticks.clear();
    EXPECT_TRUE(S.Add(u"/t/b"));
    EXPECT_TRUE(S.Add(u"/t/a/"));
    EXPECT_FALSE(S.Add(u"/t/a"));
    EXPECT_TRUE(S.Add(u"/t/A"));  // another folder on this system
    if (Sort)
      EXPECT_EQ(S.Paths(), (std::vector<std::u16string>{u"/t/A", u"/t/a", u"/t/b"}));
    else
      EXPECT_EQ(S.Paths(), (std::vector<std::u16string>{u"/t/b", u"/t/a", u"/t/A"}));
    EXPECT_TRUE(S.Remove(u"/t/b"));
    EXPECT_FALSE(S.Remove(u"/t/b"));
    EXPECT_EQ(Ticks.size(), 4u);
    EXPECT_EQ(Ticks.back(), std::make_pair(std::u16string(u"/t/b"), false));
  }
}

TEST(PathSelection, TypedPathsComeBackUnchanged) {
  TPathSelection S;
  S.SetPathsText(u"\"/deep/not shown/x\";/c;\"/deep/not shown/x/\"");
  EXPECT_EQ(S.PathsText(), u"\"/deep/not shown/x\";/c");
  S.SortPaths = true;
  S.Sort();
  EXPECT_EQ(S.PathsText(), u"/c;\"/deep/not shown/x\"");
  EXPECT_TRUE(S.Contains(u"/c/"));
  S.Clear();
  EXPECT_EQ(S.PathsText(), u"");
}

TEST(PathSelection, SavedSets) {
  TPathSelection S;
  S.Add(u"/z");
  S.Add(u"/a b");
  EXPECT_EQ(S.SetText(), u"\"/a b\";/z");  // dictionary order, whatever the list's
  TWideStrStrDic Sets;
  Sets.Put(u"work", S.SetText());
  Sets.Put(u"R&D", u"/rd");
  EXPECT_EQ(FindSavedSet(Sets, u"\"/a b\";/z"), u"work");
  EXPECT_EQ(FindSavedSet(Sets, u"/none"), u"");
  EXPECT_EQ(SavedSetNames(Sets).size(), 2u);
  EXPECT_EQ(DoubleAmpersands(u"R&D & co"), u"R&&D && co");
}
