#include "app/FileTypesEnum.h"

#include <gtest/gtest.h>

#include "core/StrLst.h"

namespace {

TFileTypesEnum MakeTypes() {
  TFileTypesEnum T;
  T.Source = [] {
    return std::vector<TFileTypeSource>{
        {"txt", "Plain text", "", 1}, {"html", "", "HTML page", 2}, {"xyz", "", "", 3},
        {"TXT", "Other text", "", 4}, {"tar.gz", "Tarball", "", 5}, {"c", "C source", "", 6},
    };
  };
  T.Enumerate();
  return T;
}

}  // namespace

TEST(FileTypesEnum, EnumerationSkipsNamelessAndRepeatedTypes) {
  TFileTypesEnum T = MakeTypes();
  EXPECT_TRUE(T.Ready);
  ASSERT_EQ(T.Entries().size(), 4u);
  ASSERT_NE(T.Find("txt"), nullptr);
  EXPECT_EQ(T.Find("TXT")->TypeName, "Plain text");
  EXPECT_EQ(T.Find("html")->TypeName, "HTML page");
  EXPECT_EQ(T.Find("xyz"), nullptr);
  EXPECT_EQ(T.Find("tar.gz")->IconIndex, 5);
  T.Sort(2, true);
  EXPECT_EQ(T.Entries().front().Info.TypeName, "Tarball");
  EXPECT_EQ(T.Find("c")->TypeName, "C source");
  T.Sort(1, false);
  EXPECT_EQ(T.Entries().front().Extension, "C");
}

TEST(FileTypesEnum, SelectedRowsShowTypesAndRemoveTheirOwnMask) {
  const TFileTypesEnum T = MakeTypes();
  TWideStrLst Masks;
  Masks.Add(u"readme.*");
  Masks.Add(u".txt");
  TFileTypeSelection S;
  S.SetMasks(Masks);
  EXPECT_FALSE(S.AllTypes);
  EXPECT_EQ(S.MasksText(), u"*.txt;readme.*");
  std::vector<TSelectedTypeRow> Rows = S.Rows(T);
  ASSERT_EQ(Rows.size(), 2u);
  // Rows sort by what they show; each removes the mask it stands for.
  EXPECT_EQ(Rows[0].Display, u"readme.*");
  EXPECT_EQ(Rows[0].Description, u"Unknown");
  EXPECT_EQ(Rows[1].Display, u"TXT");
  EXPECT_EQ(Rows[1].Description, u"Plain text");
  EXPECT_TRUE(S.RemoveMask(Rows[0].Mask));
  EXPECT_EQ(S.MasksText(), u"*.txt");
  EXPECT_TRUE(S.IsTypeSelected("TXT"));
  S.AddMask(u"html");
  S.AddMask(u"*.HTML");
  EXPECT_EQ(S.MasksText(), u"*.html;*.txt");
}

TEST(FileTypesEnum, AllTypesAndTheSwitchToSelected) {
  TWideStrLst Masks;
  Masks.Add(u"*.*");
  TFileTypeSelection S;
  S.SetMasks(Masks);
  EXPECT_TRUE(S.AllTypes);
  EXPECT_EQ(S.MasksText(), u"*.*");
  S.ChooseSelected();
  EXPECT_EQ(S.MasksText(), u"");
  TWideStrLst Empty;
  S.SetMasks(Empty);
  EXPECT_TRUE(S.AllTypes);
  EXPECT_EQ(MaskExtension(u"*.doc"), "DOC");
  EXPECT_EQ(MaskExtension(u"*.d?c"), "");
  EXPECT_EQ(MaskExtension(u"a.doc"), "");
}

TEST(FileTypesEnum, MaskEditor) {
  TMaskEditList L;
  L.SetText(u"*.txt;*.doc");
  int Asked = 0;
  auto Refuse = [&] {
    ++Asked;
    return false;
  };
  auto Accept = [&] {
    ++Asked;
    return true;
  };
  EXPECT_EQ(L.PutMask(u"txt", -1, Refuse), 1);  // already there: that entry
  EXPECT_EQ(L.PutMask(u"pdf", -1, Refuse), 1);
  EXPECT_EQ(L.Text(), u"*.doc;*.pdf;*.txt");
  EXPECT_EQ(L.PutMask(u"*.*", -1, Refuse), -1);
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(L.PutMask(u"*", -1, Accept), 0);
  EXPECT_EQ(Asked, 2);
  // Editing replaces the entry.
  EXPECT_EQ(L.PutMask(u"rtf", 2, Refuse), 2);
  EXPECT_EQ(L.Text(), u"*.*;*.doc;*.rtf;*.txt");
  L.Delete(0);
  L.Delete(10);
  EXPECT_EQ(L.Text(), u"*.doc;*.rtf;*.txt");
  EXPECT_EQ(L.PutMask(u"", -1, Accept), -1);
}
