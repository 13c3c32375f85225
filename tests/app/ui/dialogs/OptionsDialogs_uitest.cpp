#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>

#include "app/Options.h"
#include "app/WHistList.h"
#include "app/ui/ArchiveOptionsFrame.h"
#include "app/ui/CustomizeToolbarForm.h"
#include "app/ui/PreferencesForm.h"
#include "archive/ArcScan.h"
#include "core/WideStrings.h"
#include "tests/app/AppFixtures.h"
#include "tests/app/ui/dialogs/UiFixtures.h"

namespace {

class OptionsDialogs : public testing::Test {
 protected:
  void SetUp() override {
    Saved_ = ArcInfos;
    SetDefaultOptions();
  }
  void TearDown() override {
    ArcInfos = Saved_;
    SetDefaultOptions();
  }
  decltype(ArcInfos) Saved_;
};

std::vector<int32_t> Buttons() {
  std::vector<int32_t> R;
  for (int32_t I = 0; I < ProgramSettings().ToolbarButtons.GetCount(); ++I)
    R.push_back(ProgramSettings().ToolbarButtons.Get(I));
  return R;
}

}  // namespace

TEST_F(OptionsDialogs, PreferencesPagesLoadActAndSave) {
  int32_t AskMode = 1, Style = -1, Rebuilds = 0, Histories = 0;
  TPreferencesHooks Hooks;
  Hooks.PasswordAskMode = &AskMode;
  Hooks.SetInterfaceStyle = [&](int32_t S) { Style = S; };
  Hooks.BuildToolbar = [&](bool) { ++Rebuilds; };
  Hooks.LoadHistories = [&] { ++Histories; };
  Hooks.BrowseForFolder = [](const std::u16string&) { return std::u16string(u"/srv/x"); };
  TPreferences P(Hooks);
  ExpectObjectNames(&P, {"OptionsTree",
                         "CloseBtn",
                         "InterfaceStyleRadio",
                         "AnimRadio",
                         "lSample",
                         "MainFontBtn",
                         "ClearHistBtn",
                         "WarningsOnBtn",
                         "UseLargeBtnCheck",
                         "ShowBtnTxtCheck",
                         "FlatBtnCheck",
                         "ShowToolTipsCheck",
                         "SelTBBtnsBtn",
                         "MaxSizeEdit",
                         "ExcludePathsList",
                         "AddBtn",
                         "DelBtn",
                         "ArchivesCheckList",
                         "CheckAllBtn",
                         "UncheckAllBtn",
                         "ProcessSubArchivesCheck",
                         "SkipEncryptedArchivesCheck"});
  TRegistrySandbox Registry;
  TWideStringList Items;
  Items.Add(u"old pattern");
  SaveHistory(kProgramRegKey, "Pattern", Items);
  ProgramSettings().ViewOptions.WarningBits = 3;
  ProgramSettings().ArchiveFlags.SkipProtectedArchives = false;
  WhenModal(
      [&](QDialog*) {
        EXPECT_EQ(P.Pages->currentIndex(), 2);
        EXPECT_EQ(P.OptionsTree->topLevelItemCount(), 3);
        // Interface page: the style acts at once; the warnings come back on.
        P.ShowPage(0);
        P.InterfacePage->InterfaceStyleRadio->button(0)->click();
        EXPECT_EQ(Style, 1);
        P.InterfacePage->WarningsOnBtn->click();
        EXPECT_EQ(ProgramSettings().ViewOptions.WarningBits, 0);
        EXPECT_FALSE(P.InterfacePage->WarningsOnBtn->isEnabled());
        P.InterfacePage->ClearHistBtn->click();
        // Toolbar page: a box stores its setting and rebuilds the toolbar.
        P.ShowPage(1);
        const bool Large = ProgramSettings().ViewOptions.LargeButtons;
        P.ToolbarPage->Boxes[0]->click();
        EXPECT_NE(ProgramSettings().ViewOptions.LargeButtons, Large);
        EXPECT_EQ(Rebuilds, 1);
        // System page: the size field corrects itself when left; a folder twice is one entry.
        P.ShowPage(2);
        P.SystemPage->MaxSizeEdit->setText("abc");
        emit P.SystemPage->MaxSizeEdit->editingFinished();
        EXPECT_EQ(P.SystemPage->MaxSizeEdit->text(), "128");
        P.SystemPage->AddFolder();
        P.SystemPage->AddFolder();
        EXPECT_EQ(P.SystemPage->ExcludePathsList->count(), ProgramSettings().ExcludedDirs.GetCount());
        EXPECT_EQ(P.SystemPage->ExcludePathsList->currentItem()->text(), "/srv/x/");
        // Archive page: mode 1 shows the skip box grayed; "Disable all" clears every kind.
        P.ShowPage(3);
        EXPECT_EQ(P.ArchivePage->SkipEncryptedArchivesCheck->checkState(), Qt::PartiallyChecked);
        P.ArchivePage->findChild<QPushButton*>("UncheckAllBtn")->click();
        P.ArchivePage->MaxSizeEdit->setText("0");
      },
      true);
  P.Execute(2);
  EXPECT_EQ(ProgramSettings().MaxScanSize, 128 * kBytesPerMb);
  EXPECT_EQ(ProgramSettings().MaxArchiveSize, kBytesPerMb);
  for (int Kind = akExe; Kind <= akZoo; ++Kind) EXPECT_FALSE(ArcInfos[Kind].Enabled);
  EXPECT_EQ(AskMode, 1);  // the grayed box was left alone
  EXPECT_EQ(Histories, 1);
  TWideStringList Loaded;
  LoadHistory(kProgramRegKey, "Pattern", Loaded);
  EXPECT_EQ(Loaded.GetCount(), 0);

  // A click on the grayed box ticks it: skip protected archives, and ask mode 0.
  WhenModal([&](QDialog*) { P.ArchivePage->SkipEncryptedArchivesCheck->click(); }, false);
  P.Execute(3);
  EXPECT_TRUE(ProgramSettings().ArchiveFlags.SkipProtectedArchives);
  EXPECT_EQ(AskMode, 0);
}

TEST_F(OptionsDialogs, CustomizeToolbarKeepsTheOrder) {
  int Rebuilds = 0;
  TCustomizeToolbar C;
  C.RebuildToolbar = [&] { ++Rebuilds; };
  ExpectObjectNames(&C, {"AvailLst", "VisLst", "AddToVisBtn", "DelFromVisBtn", "VisUpBtn", "VisDownBtn",
                         "CloseBtn", "DefaultsBtn"});
  ProgramSettings().ToolbarButtons.SetCount(0);
  for (int8_t A : {0, 1, 2}) ProgramSettings().ToolbarButtons.Add(A);
  WhenModal(
      [&](QDialog*) {
        EXPECT_EQ(C.VisLst->count(), 3);
        EXPECT_EQ(C.AvailLst->count(), 8);
        EXPECT_FALSE(C.AddToVisBtn->isEnabled());
        // Two available buttons after the selected visible one.
        C.VisLst->item(0)->setSelected(true);
        C.AvailLst->item(0)->setSelected(true);  // 3
        C.AvailLst->item(2)->setSelected(true);  // 5
        EXPECT_TRUE(C.AddToVisBtn->isEnabled());
        C.AddToVisBtn->click();
        EXPECT_EQ(Buttons(), (std::vector<int32_t>{0, 3, 5, 1, 2}));
        EXPECT_EQ(C.VisLst->currentRow(), 1);
        // The last button cannot move down; the first can move down.
        C.VisLst->clearSelection();
        C.VisLst->item(4)->setSelected(true);
        EXPECT_FALSE(C.VisDownBtn->isEnabled());
        EXPECT_TRUE(C.VisUpBtn->isEnabled());
        C.VisLst->clearSelection();
        C.VisLst->item(0)->setSelected(true);
        C.VisDownBtn->click();
        EXPECT_EQ(Buttons(), (std::vector<int32_t>{3, 0, 5, 1, 2}));
        C.MoveVisible(0, 4);
        EXPECT_EQ(Buttons(), (std::vector<int32_t>{0, 5, 1, 2, 3}));
        // Removing every button leaves an empty toolbar; Defaults brings back all eleven.
        C.VisLst->selectAll();
        C.DelFromVisBtn->click();
        EXPECT_TRUE(Buttons().empty());
        C.findChild<QPushButton*>("DefaultsBtn")->click();
        EXPECT_EQ(Buttons(), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
      },
      true);
  C.exec();
  EXPECT_EQ(Rebuilds, 5);
}

// The page tree had a fixed width and cut "User Interface" to "User Inte...": it takes the width of its
// widest caption (bold, at its depth), also for a caption longer than any English one.
TEST_F(OptionsDialogs, PageTreeIsWideEnoughForItsCaptions) {
  TPreferences P(TPreferencesHooks{});
  P.show();
  QApplication::processEvents();
  auto FitsAll = [&P] {
    const QFontMetrics Metrics(P.OptionsTree->font());
    for (QTreeWidgetItemIterator It(P.OptionsTree); *It != nullptr; ++It) {
      const QRect Row = P.OptionsTree->visualItemRect(*It);
      const int Needed = Row.left() + Metrics.horizontalAdvance((*It)->text(0));
      if (Needed > P.OptionsTree->viewport()->width()) return false;
    }
    return true;
  };
  EXPECT_TRUE(FitsAll());
  P.OptionsTree->topLevelItem(0)->child(0)->setText(0, "Werkzeugleisten und Schaltflächen");
  P.FitTreeWidth();
  QApplication::processEvents();
  EXPECT_TRUE(FitsAll());
  P.close();
}
