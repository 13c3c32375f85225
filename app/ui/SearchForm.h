// "Search": the modal search dialog of the dialog interface style. It carries the controls of the main
// window's search panel on two pages, starts from the main window's state (TSearchFormState), checks the
// input when "Search" is pressed, and hands the state back only then, so nothing typed in a cancelled
// dialog survives. It adds a date filter by a number of months or days back from today.
// Main thread only.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/SearchRun.h"
#include "app/ui/QtLang.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QButtonGroup;
class QVBoxLayout;

// The search panel's state as the main window hands it over and takes it back: its fields, the boxes'
// history items, and what is enabled there.
struct TSearchFormState {
  TSearchFields Fields;
  QStringList PatternItems, PathItems, MaskItems;
  bool SearchInResultsEnabled = false;
  bool ConvertEnabled = true;  // a converter plug-in is loaded
};

class TSearch : public QDialog {
  Q_OBJECT
 public:
  explicit TSearch(QWidget* Parent = nullptr);
  // Shows the dialog on State; true when closed with "Search", State then holds the dialog's values.
  bool Execute(TSearchFormState& State);
  // The logic box again in the current language.
  void LanguageChanged();
  TQtLangForm& LangForm() { return Lang_; }

  // Dialogs the buttons open; unassigned hooks leave their buttons without effect.
  std::function<bool(std::u16string& Paths, bool& Subdirectories)> BrowsePaths;
  std::function<bool(std::u16string& Masks)> SelectTypes;
  std::function<void()> EditFilters;
  // Today, for the months and days back (tests set it).
  std::function<TDateTime()> Today = [] { return NowDateTime(); };

  QTabWidget* Pages;
  QComboBox *PatternCmb, *PathsCmb, *MasksCmb, *LogicCmb, *UnitsCmb;
  QCheckBox *SearchInResultsCheck, *SubdirsCheck, *FilesCheck, *ArchivesCheck, *CaseCheck, *WholeWordsCheck;
  QCheckBox *ConvToTextCheck, *DirectScanCheck, *AnsiCheck, *OemCheck, *UnicodeCheck, *SkipBinaryCheck;
  QCheckBox *FilterDateCheck, *SizeCheck;
  QRadioButton *ExactRadio, *FuzzyRadio, *DateRangeRadio, *MonthsRadio, *DaysRadio;
  QDateEdit *DateEdit1, *DateEdit2;
  QSpinBox *MonthsEdit, *DaysEdit;
  QLineEdit *SizeEdit1, *SizeEdit2;
  QLabel* WarningLabel;

 protected:
  void done(int Result) override;
  // The dialog shows centred over its owner, and follows it while the owner is still being placed (a
  // window manager places the main window after the dialog that opens with it was shown).
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The dialog is built one area at a time: the two pages, the buttons, then the controls' handlers.
  QWidget* BuildGeneralPage();
  QWidget* BuildAdvancedPage();
  void BuildButtons(QVBoxLayout* Layout);
  void ConnectHandlers();
  bool CheckInput();
  void FillLogic(int Index);
  void FilterDateCheckClick();
  void SizeCheckClick();
  void DateRangeRadioClick(int Tag);
  void DateEdit1Change();
  void SearchInResultsCheckClick();
  void UpdateWarning();
  void UpdateCharsets();
  QButtonGroup* DateGroup_ = nullptr;  // from, for the last months, for the last days
  bool DateUpdatingSpins_ = false, SpinsUpdatingDate_ = false;
  TQtLangForm Lang_;
};
