#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "app/Options.h"
#include "app/ui/EditFiltersForm.h"
#include "app/ui/MainActions.h"
#include "app/ui/PasswordForm.h"
#include "search/QVConvIntf.h"
#include "tests/app/ui/dialogs/UiFixtures.h"

TEST(PasswordForm, OkGivesTextAndModeAndLeavesNoPasswordBehind) {
  TEnterPassword F;
  ExpectObjectNames(&F, {"PWDEdit", "MsgMemo", "ShowPWDCheck", "AskModeRadio", "OKBtn", "CancelBtn"});
  int32_t Mode = 5;
  std::u16string Password = u"old";
  WhenModal(
      [&](QDialog*) {
        EXPECT_TRUE(F.MsgMemo->toPlainText().contains("a.txt"));
        EXPECT_TRUE(F.MsgMemo->toPlainText().contains("b.zip"));
        EXPECT_EQ(F.PWDEdit->echoMode(), QLineEdit::Password);
        F.ShowPWDCheck->setChecked(true);
        EXPECT_EQ(F.PWDEdit->echoMode(), QLineEdit::Normal);
        F.PWDEdit->setText("s3cret");
        F.AskModeRadio->button(2)->setChecked(true);
      },
      true);
  EXPECT_TRUE(F.Execute(u"a.txt", u"b.zip", Mode, Password));
  EXPECT_EQ(Password, u"s3cret");
  EXPECT_EQ(Mode, 2);
  EXPECT_TRUE(F.PWDEdit->text().isEmpty());

  WhenModal(
      [&](QDialog*) {
        F.PWDEdit->setText("typed");
        F.AskModeRadio->button(1)->setChecked(true);
      },
      false);
  EXPECT_FALSE(F.Execute(u"a.txt", u"b.zip", Mode, Password));
  EXPECT_EQ(Password, u"");
  EXPECT_EQ(Mode, 2);  // Cancel leaves the previous mode
  EXPECT_TRUE(F.PWDEdit->text().isEmpty());
}

TEST(EditFiltersForm, DisableAllAndOkListsEveryConverter) {
  SetDefaultOptions();
  TQVConverters Converters;
  const std::string Dir = SCRYLINE_TEST_PLUGINS;
  ASSERT_EQ(Converters.AddConverter(Dir + "/impxls.so", false), kConverterLoaded);
  ASSERT_EQ(Converters.AddConverter(Dir + "/imphtm.so", false), kConverterLoaded);
  TEditFilters F(Converters);
  ExpectObjectNames(&F, {"FiltersTree", "MaxSizeEdit", "CheckAllBtn", "UncheckAllBtn", "OKBtn", "CancelBtn"});
  WhenModal(
      [&](QDialog*) {
        ASSERT_EQ(F.FiltersTree->topLevelItemCount(), 2);
        EXPECT_EQ(F.FiltersTree->topLevelItem(0)->text(0), "impxls.so");
        EXPECT_EQ(F.FiltersTree->topLevelItem(0)->checkState(0), Qt::Checked);
        F.findChild<QPushButton*>("UncheckAllBtn")->click();
        EXPECT_EQ(F.FiltersTree->topLevelItem(1)->checkState(0), Qt::Unchecked);
        F.MaxSizeEdit->setText("0");
        emit F.MaxSizeEdit->editingFinished();
        EXPECT_EQ(F.MaxSizeEdit->text(), "1");
      },
      true);
  EXPECT_TRUE(F.Execute());
  EXPECT_EQ(ProgramSettings().DisabledConverters.GetCount(), 2);
  EXPECT_EQ(ProgramSettings().MaxConvertSize, kBytesPerMb);
  EXPECT_EQ(F.FiltersTree->topLevelItemCount(), 0);

  // Cancel changes nothing, whatever was clicked.
  WhenModal([&](QDialog*) { F.findChild<QPushButton*>("CheckAllBtn")->click(); }, false);
  EXPECT_FALSE(F.Execute());
  EXPECT_TRUE(Converters.GetConverter(0)->Disabled);
  EXPECT_EQ(ProgramSettings().DisabledConverters.GetCount(), 2);

  // Each root lists its converter's file types; ticking it back enables it.
  WhenModal(
      [&](QDialog*) {
        ASSERT_GT(F.FiltersTree->topLevelItem(1)->childCount(), 0);
        EXPECT_FALSE(F.FiltersTree->topLevelItem(1)->child(0)->text(0).isEmpty());
        F.FiltersTree->topLevelItem(0)->setCheckState(0, Qt::Checked);
      },
      true);
  EXPECT_TRUE(F.Execute());
  EXPECT_FALSE(Converters.GetConverter(0)->Disabled);
  EXPECT_EQ(ProgramSettings().DisabledConverters.GetCount(), 1);
  SetDefaultOptions();
}

TEST(MainActions, ToolbarClicksRunTheirActionAfterTheClick) {
  SetDefaultOptions();
  QMainWindow W;
  TMainActions A(&W);
  int Started = 0, Printed = 0;
  bool Busy = false;
  A.Handlers[maSearchStart] = [&] { ++Started; };
  A.Handlers[maPrint] = [&] { ++Printed; };
  A.State = [&] {
    TMainState S;
    S.Busy = Busy;
    S.TableEmpty = false;
    return S;
  };
  ProgramSettings().ToolbarButtons.SetCount(0);
  for (int8_t Tag : {0, 1, 2, 7}) ProgramSettings().ToolbarButtons.Add(Tag);
  A.BuildToolbar(false, true, false);
  A.LocalizeActions();
  ExpectObjectNames(
      &W, {"actSearchStart", "actSearchStop", "actSearchPause", "actSearchFiles", "actSearchArchives",
           "actShowLog", "actPreview", "actPrint", "actOptions", "actHelp", "actExit", "ToolBar"});
  ASSERT_EQ(A.ToolBar()->actions().size(), 4);
  EXPECT_EQ(A.ActionByIndex(maPrint)->text(), QString::fromStdString(GetMsg(TMsgIndex::Print)));
  ASSERT_NE(A.ToolButtonByTag(maPrint), nullptr);
  EXPECT_EQ(A.ToolButtonByTag(maHelp), nullptr);

  A.ToolButtonByTag(maPrint)->click();
  EXPECT_EQ(Printed, 0);  // posted, not run inside the click
  QCoreApplication::processEvents();
  EXPECT_EQ(Printed, 1);

  // A posted Start that arrives while a search runs does not start a second one.
  A.PostAppMessage(MakeRunActionMessage(maSearchStart));
  Busy = true;
  A.UpdateActions();
  QCoreApplication::processEvents();
  EXPECT_EQ(Started, 0);
  Busy = false;
  A.UpdateActions();
  A.PostAppMessage(MakeRunActionMessage(maSearchStart));
  A.PostAppMessage({WM_RUNACTION, 0x1111, maSearchStart});
  A.PostAppMessage(MakeRunActionMessage(40));
  QCoreApplication::processEvents();
  EXPECT_EQ(Started, 1);

  // An empty toolbar setting hides the toolbar; Start still runs from its action.
  ProgramSettings().ToolbarButtons.SetCount(0);
  A.BuildToolbar(false, true, false);
  EXPECT_TRUE(A.ToolBar()->actions().isEmpty());
  EXPECT_TRUE(A.ToolBar()->isHidden());
  A.ActionByIndex(maSearchStart)->trigger();
  EXPECT_EQ(Started, 2);
  SetDefaultOptions();
}

TEST(MainActions, EnterAndF3StartASearchFromTheWindowButNotFromAButton) {
  SetDefaultOptions();
  QMainWindow W;
  auto* Central = new QWidget(&W);
  auto* Pattern = new QLineEdit(Central);
  auto* Button = new QPushButton("Go", Central);
  Button->move(0, 40);
  W.setCentralWidget(Central);
  TMainActions A(&W);
  int Started = 0, Language = -1;
  A.Handlers[maSearchStart] = [&] { ++Started; };
  A.LanguageCount = [] { return 3; };
  A.SelectLanguage = [&](int32_t L) { Language = L; };
  A.UpdateActions();
  A.InstallHook();
  W.show();
  QApplication::setActiveWindow(&W);
  ASSERT_EQ(QApplication::activeWindow(), &W);
  auto Key = [](QWidget* Target, int Code, Qt::KeyboardModifiers Mods) {
    Target->setFocus();
    QKeyEvent Press(QEvent::KeyPress, Code, Mods);
    QApplication::sendEvent(Target, &Press);
  };
  Key(Pattern, Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(Started, 1);
  Key(Pattern, Qt::Key_F3, Qt::NoModifier);
  EXPECT_EQ(Started, 2);
  Key(Pattern, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(Started, 2);
  Key(Button, Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(Started, 2);  // the button acts, not the search
  Key(Pattern, Qt::Key_F5, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(Language, -1);  // only three languages
  Key(Pattern, Qt::Key_F2, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(Language, 1);
}
