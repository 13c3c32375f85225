#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include "app/IO.h"
#include "app/Options.h"
#include "app/SearchDates.h"
#include "app/ui/SearchForm.h"
#include "tests/app/ui/dialogs/UiFixtures.h"

namespace {

TSearchFormState MainWindowState() {
  TSearchFormState S;
  S.Fields.Pattern = u"old";
  S.PatternItems = {"old", "older"};
  S.Fields.Paths = u"/tmp";
  S.Fields.Masks = u"*.txt";
  S.SearchInResultsEnabled = true;
  return S;
}

// 15 May 2026 at noon.
TDateTime May15() { return EncodeCalendarDate(2026, 5, 15) + 0.5; }

}  // namespace

TEST(SearchForm, CancelKeepsTheMainWindowsStateAndOkHandsItBack) {
  SetDefaultOptions();
  TSearch F;
  F.Today = May15;
  ExpectObjectNames(&F, {"PatternCmb",      "PathsCmb",        "MasksCmb",
                         "BrowseBtn",       "SelExtBtn",       "SubdirsCheck",
                         "FilesCheck",      "ArchivesCheck",   "SearchInResultsCheck",
                         "WarningLabel",    "ExactRadio",      "FuzzyRadio",
                         "LogicCmb",        "CaseCheck",       "WholeWordsCheck",
                         "ConvToTextCheck", "FiltersBtn",      "DirectScanCheck",
                         "AnsiCheck",       "OemCheck",        "UnicodeCheck",
                         "SkipBinaryCheck", "FilterDateCheck", "DateRangeRadio",
                         "MonthsRadio",     "DaysRadio",       "DateEdit1",
                         "DateEdit2",       "MonthsEdit",      "DaysEdit",
                         "SizeCheck",       "SizeEdit1",       "SizeEdit2",
                         "UnitsCmb",        "SearchBtn",       "CancelBtn"});
  TSearchFormState S = MainWindowState();
  WhenModal([&](QDialog*) { F.PatternCmb->setEditText("new"); }, false);
  EXPECT_FALSE(F.Execute(S));
  EXPECT_EQ(S.Fields.Pattern, u"old");

  WhenModal(
      [&](QDialog*) {
        EXPECT_EQ(F.PatternCmb->currentText(), "old");
        EXPECT_EQ(F.PatternCmb->count(), 2);
        F.PatternCmb->setEditText("needle");
        F.FuzzyRadio->setChecked(true);
        EXPECT_EQ(F.LogicCmb->count(), 2);  // no "Entire phrase" when fuzzy
        // Three months back on 15 May: 15 February, the second date empty.
        F.FilterDateCheck->click();
        F.MonthsRadio->click();
        F.MonthsEdit->setValue(3);
        EXPECT_EQ(F.DateEdit1->date(), QDate(2026, 2, 15));
        EXPECT_EQ(F.DateEdit2->text().trimmed(), "");
        EXPECT_TRUE(F.WarningLabel->isVisibleTo(&F));
        // A first date 45 days back: 45 days, 2 months.
        F.DateRangeRadio->click();
        F.DateEdit1->setDate(QDate(2026, 5, 15).addDays(-45));
        EXPECT_EQ(F.DaysEdit->value(), 45);
        EXPECT_EQ(F.MonthsEdit->value(), 2);
        // Switching direct scan off while converting is off switches converting on.
        F.ConvToTextCheck->setChecked(false);
        F.DirectScanCheck->click();
        EXPECT_TRUE(F.ConvToTextCheck->isChecked());
        EXPECT_FALSE(F.AnsiCheck->isEnabled());
      },
      true);
  ASSERT_TRUE(F.Execute(S));
  EXPECT_EQ(S.Fields.Pattern, u"needle");
  EXPECT_TRUE(S.Fields.Fuzzy);
  EXPECT_TRUE(S.Fields.FilterOn && S.Fields.DateFilterOn);
  EXPECT_EQ(S.Fields.DateFrom, EncodeCalendarDate(2026, 5, 15) - 45);
  EXPECT_EQ(S.Fields.DateTo, 0);
  EXPECT_TRUE(S.Fields.ConvertToText);
  EXPECT_FALSE(S.Fields.DirectScan);
}

TEST(SearchForm, InputIsCheckedBeforeTheDialogCloses) {
  SetDefaultOptions();
  std::vector<std::u16string> Boxes;
  MessageDlgHandler = [&](TMessageDlgRequest& R) {
    Boxes.push_back(R.Text);
    return mrOk;
  };
  TSearch F;
  TSearchFormState S = MainWindowState();
  S.Fields.Paths = u"";
  WhenModal(
      [&](QDialog* D) {
        F.Pages->setCurrentIndex(1);
        D->accept();  // refused: no path
        EXPECT_TRUE(D->isVisible());
        EXPECT_EQ(F.Pages->currentIndex(), 0);
        EXPECT_EQ(Boxes.size(), 1u);
        // With "Search in results" an empty path box is accepted.
        F.SearchInResultsCheck->click();
        EXPECT_FALSE(F.PathsCmb->isEnabled());
      },
      true);
  EXPECT_TRUE(F.Execute(S));
  EXPECT_TRUE(S.Fields.InResults);
  MessageDlgHandler = nullptr;
}
