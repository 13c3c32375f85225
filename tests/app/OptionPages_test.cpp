#include "app/OptionPages.h"

#include <gtest/gtest.h>

#include "app/MsgStr.h"
#include "app/MultiLan.h"
#include "app/Options.h"
#include "archive/ArcScan.h"
#include "core/NumVector.h"
#include "core/StrLst.h"
#include "search/QVConvIntf.h"

namespace {

// Restores the settings and the archive kinds' flags a test changes.
class OptionPages : public testing::Test {
 protected:
  void SetUp() override {
    SavedKinds_ = ArcInfos;
    SetDefaultOptions();
    SetDefaultOptions(Settings_);
  }
  void TearDown() override {
    ArcInfos = SavedKinds_;
    SetDefaultOptions();
  }
  decltype(ArcInfos) SavedKinds_;
  TSettings Settings_;
};

std::vector<int32_t> VectorOf(const TInt8Vector& V) {
  std::vector<int32_t> R;
  for (int32_t I = 0; I < V.GetCount(); ++I) R.push_back(V.Get(I));
  return R;
}

}  // namespace

TEST(OptionPagesSizes, SizeFieldsClampAndFallBack) {
  struct Case {
    std::u16string Text;
    int32_t Scan, Convert;
  } Cases[] = {
      {u"abc", 128, 16}, {u"0", 1, 1},   {u"5000", 2047, 1024}, {u" 12 ", 12, 12},
      {u"-3", 1, 1},     {u"", 128, 16}, {u"2000", 2000, 1024}, {u"99999999999999999999", 2047, 1024},
      {u"1.5", 128, 16}, {u"+7", 7, 7},  {u"-", 128, 16},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(ParseSizeMb(C.Text, kDefaultScanSizeMb, 1, kMaxScanSizeMb), C.Scan);
    EXPECT_EQ(ParseSizeMb(C.Text, kDefaultConvertSizeMb, 1, kMaxConvertSizeMb), C.Convert);
    EXPECT_EQ(TArchiveOptionsPage::GetMaxSizeMb(C.Text), C.Scan);
  }
  EXPECT_EQ(ConvertSizeMbOfSetting(0), 1);
  EXPECT_EQ(ConvertSizeMbOfSetting(2000 * kBytesPerMb), 1024);
  EXPECT_EQ(ConvertSizeMbOfSetting(16 * kBytesPerMb), 16);
}

TEST_F(OptionPages, ArchivePageLoadsAndSavesTheSettings) {
  ArcInfos[akRar].Enabled = false;
  Settings_.ArchiveFlags.ProcessSubarchives = false;
  Settings_.ArchiveFlags.SkipProtectedArchives = true;
  Settings_.MaxArchiveSize = 0;
  TArchiveOptionsPage Page{Settings_};
  TArchivePageValues V;
  Page.LoadPage(nullptr, 0, V);
  ASSERT_EQ(V.Captions.size(), 12u);
  EXPECT_EQ(V.Captions[akZip - 1], u"ZIP");
  EXPECT_FALSE(V.Checked[akRar - 1]);
  EXPECT_TRUE(V.Checked[akZip - 1]);
  EXPECT_FALSE(V.ProcessSubArchives);
  EXPECT_EQ(V.SkipEncrypted, csChecked);
  EXPECT_EQ(V.MaxSize, u"1");

  for (const auto& [Text, Mb] : {std::pair{u"0", 1}, {u"5000", 2047}, {u"abc", 128}}) {
    V.MaxSize = Text;
    int32_t Mode = 2;
    Page.SavePage(V, Mode);
    EXPECT_EQ(Settings_.MaxArchiveSize, Mb * kBytesPerMb);
    EXPECT_EQ(Mode, 2);  // the skip box was not touched
  }
  // "D&isable all" and OK switch every kind off.
  TArchiveOptionsPage::CheckAll(V, false);
  V.ProcessSubArchives = true;
  int32_t Mode = 0;
  Page.SavePage(V, Mode);
  for (int Kind = akExe; Kind <= akZoo; ++Kind) EXPECT_FALSE(ArcInfos[Kind].Enabled) << Kind;
  EXPECT_TRUE(Settings_.ArchiveFlags.ProcessSubarchives);
}

TEST_F(OptionPages, SkipBoxIsSavedOnlyWhenChanged) {
  Settings_.ArchiveFlags.SkipProtectedArchives = false;
  TArchiveOptionsPage Page{Settings_};
  TArchivePageValues V;
  Page.LoadPage(nullptr, 1, V);
  EXPECT_EQ(V.SkipEncrypted, csGrayed);
  int32_t Mode = 1;
  Page.SavePage(V, Mode);
  EXPECT_EQ(Mode, 1);
  EXPECT_FALSE(Settings_.ArchiveFlags.SkipProtectedArchives);
  // A click on the grayed box ticks it: skip, and ask mode 0.
  V.SkipEncrypted = TArchiveOptionsPage::ClickSkipBox(V.SkipEncrypted);
  EXPECT_EQ(V.SkipEncrypted, csChecked);
  Page.SavePage(V, Mode);
  EXPECT_EQ(Mode, 0);
  EXPECT_TRUE(Settings_.ArchiveFlags.SkipProtectedArchives);
  // Clicks alternate between ticked and unticked: the grayed state never comes back from a click, so a
  // box clicked twice returns to what it showed and changes nothing.
  Page.LoadPage(nullptr, 0, V);
  const TCheckState Shown = V.SkipEncrypted;
  V.SkipEncrypted = TArchiveOptionsPage::ClickSkipBox(TArchiveOptionsPage::ClickSkipBox(V.SkipEncrypted));
  EXPECT_EQ(V.SkipEncrypted, Shown);
  Mode = 1;
  Page.SavePage(V, Mode);
  EXPECT_EQ(Mode, 1);
}

TEST_F(OptionPages, SelfExtractingCaptionComesFromATranslationOnly) {
  TMultiLang Languages;
  EXPECT_EQ(ArchiveListCaptions(&Languages)[0],
            u"" + std::u16string(ArcInfos[akExe].Name.begin(), ArcInfos[akExe].Name.end()));
}

TEST_F(OptionPages, ExcludedFolders) {
  TWideStrLst Dirs;
  EXPECT_EQ(AddExcludedDir(Dirs, u"/b"), 0);
  EXPECT_EQ(AddExcludedDir(Dirs, u"/a/"), 0);
  EXPECT_EQ(AddExcludedDir(Dirs, u"/c"), 2);
  // An excluded folder again: its entry, nothing added.
  EXPECT_EQ(AddExcludedDir(Dirs, u"/b/"), 1);
  EXPECT_EQ(AddExcludedDir(Dirs, u"/B"), 0);  // another folder on this system
  ASSERT_EQ(Dirs.GetCount(), 4);
  EXPECT_EQ(Dirs.Get(1), u"/a/");
  DeleteExcludedDirs(Dirs, {3, 0, 3});
  ASSERT_EQ(Dirs.GetCount(), 2);
  EXPECT_EQ(Dirs.Get(0), u"/a/");
  EXPECT_EQ(Dirs.Get(1), u"/b/");
}

TEST_F(OptionPages, ToolbarCustomising) {
  TInt8Vector Buttons;
  TToolbarButtonList L(Buttons);
  for (int8_t A : {0, 1, 2}) Buttons.Add(A);
  EXPECT_EQ(L.Available(), (std::vector<int32_t>{3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(L.Add({3, 5, 1}, 2), 2);  // after visible row 1; 1 is visible already
  EXPECT_EQ(L.Visible(), (std::vector<int32_t>{0, 1, 3, 5, 2}));
  EXPECT_EQ(L.Add({9}, -1), 5);
  EXPECT_EQ(L.Add({0}, -1), -1);

  EXPECT_FALSE(L.CanMoveUp({0}));
  EXPECT_FALSE(L.CanMoveDown({5}));
  EXPECT_FALSE(L.CanMoveUp({1, 2}));
  EXPECT_TRUE(L.CanMoveDown({4}));
  EXPECT_EQ(L.MoveDown(5), 5);  // the last button stays
  EXPECT_EQ(L.MoveUp(1), 0);
  EXPECT_EQ(L.Visible(), (std::vector<int32_t>{1, 0, 3, 5, 2, 9}));

  L.Remove({1, 5});
  EXPECT_EQ(L.Visible(), (std::vector<int32_t>{0, 3, 2, 9}));
  L.Remove({0, 3, 2, 9});
  EXPECT_TRUE(L.Visible().empty());
  L.Defaults();
  EXPECT_EQ(VectorOf(Buttons), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(OptionPages, ToolbarDragOntoAButtonTakesItsPlace) {
  // Moving onto the last button lands on the last place, never past the end.
  struct Case {
    int32_t From, To;
    std::vector<int32_t> Result;
  } Cases[] = {
      {0, 2, {1, 2, 0}}, {2, 0, {2, 0, 1}}, {0, 1, {1, 0, 2}},
      {1, 2, {0, 2, 1}}, {1, 1, {0, 1, 2}}, {0, 3, {0, 1, 2}},
  };
  for (const Case& C : Cases) {
    TInt8Vector Buttons;
    for (int8_t A : {0, 1, 2}) Buttons.Add(A);
    TToolbarButtonList L(Buttons);
    L.MoveOnto(C.From, C.To);
    EXPECT_EQ(L.Visible(), C.Result) << C.From << "->" << C.To;
  }
}

TEST_F(OptionPages, ConverterFiltersWriteTheDisabledNames) {
  TQVConverters Converters;
  const std::string Dir = SCRYLINE_TEST_PLUGINS;
  ASSERT_EQ(Converters.AddConverter(Dir + "/impxls.so", false), kConverterLoaded);
  ASSERT_EQ(Converters.AddConverter(Dir + "/imphtm.so", true), kConverterLoaded);
  Settings_.DisabledConverters.Add("old.so");

  TConverterFilters F;
  F.Load(Converters);
  ASSERT_EQ(F.Count(), 2);
  EXPECT_FALSE(F.IsDisabled(0));
  EXPECT_TRUE(F.IsDisabled(1));
  F.SetAll(true);
  F.Apply(Converters, u"2000", Settings_);
  EXPECT_EQ(Settings_.MaxConvertSize, 1024 * kBytesPerMb);
  ASSERT_EQ(Settings_.DisabledConverters.GetCount(), 2);
  EXPECT_EQ(Settings_.DisabledConverters.Get(0), "impxls.so");
  EXPECT_EQ(Settings_.DisabledConverters.Get(1), "imphtm.so");
  EXPECT_TRUE(Converters.GetConverter(0)->Disabled);

  F.SetChecked(0, true);
  F.SetChecked(1, true);
  F.Apply(Converters, u"x", Settings_);
  EXPECT_EQ(Settings_.MaxConvertSize, 16 * kBytesPerMb);
  EXPECT_EQ(Settings_.DisabledConverters.GetCount(), 0);
  EXPECT_FALSE(Converters.GetConverter(1)->Disabled);
  EXPECT_EQ(ConverterModuleName("/usr/lib/x/imp.so"), "imp.so");
}
