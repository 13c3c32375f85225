// The main window's search panel: its controls from and to the settings and the search fields, the
// enabling rules applied to its widgets, the plain-files and archives boxes, the logic box, the two
// interface styles and folding the panel.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>

#include "app/Options.h"
#include "app/Utils.h"
#include "app/VVCLUtil.h"
#include "app/ui/MainActions.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MainWindowUtil.h"
#include "search/QVConvIntf.h"
#include "search/SrchRes.h"

void TMain::ControlsFromSettings() {
  CaseSensCheck->setChecked(Settings.SearchOptions.CaseSensitive);
  WholeWordsCheck->setChecked(Settings.SearchOptions.WholeWords);
  (Settings.SearchOptions.Fuzzy ? FuzzyRadio : ExactRadio)->setChecked(true);
  FillLogicBox();
  LogicBox->setCurrentIndex(std::clamp<int>(Settings.SearchOptions.LogicIndex, 0, LogicBox->count() - 1));
  ConvToTextCheck->setChecked(Settings.ScanOptions.ConvertToText);
  DirectScanCheck->setChecked(Settings.ScanOptions.DirectScan);
  AnsiCheck->setChecked(Settings.ScanOptions.ANSI);
  OemCheck->setChecked(Settings.ScanOptions.OEM);
  UnicodeCheck->setChecked(Settings.ScanOptions.Unicode);
  SkipBinaryCheck->setChecked(Settings.ScanOptions.SkipBinary);
  SubdirsCheck->setChecked(Settings.FileOptions.Subdirectories);
  bool Files = Settings.FileOptions.PlainFiles, Archives = Settings.FileOptions.Archives;
  if (!Files && !Archives) Files = true;
  FilesCheck->setChecked(Files);
  ArchivesCheck->setChecked(Archives);
  FilterBox->setChecked(Settings.FileOptions.FilterOn);
  DateCheck->setChecked(Settings.FileOptions.DateFilterOn);
  SizeCheck->setChecked(Settings.FileOptions.SizeFilterOn);
  if (Settings.FileOptions.DateFilterOn) {
    SetDate(DateFromEdit, Settings.FileOptions.DateFrom);
    SetDate(DateToEdit, Settings.FileOptions.DateTo);
  }
  int Units = std::clamp<int>(Settings.FileOptions.SizeUnits, 0, 2);
  if (Settings.FileOptions.SizeFrom >= 0)
    SizeFromEdit->setText(Q(FormatSizeForUnits(Settings.FileOptions.SizeFrom, Units)));
  if (Settings.FileOptions.SizeTo >= 0)
    SizeToEdit->setText(Q(FormatSizeForUnits(Settings.FileOptions.SizeTo, Units)));
  SizeUnits->setCurrentIndex(Units);
  for (int I = 0; I < kResListColumnCount; ++I)
    if (Settings.ResListColumns[static_cast<size_t>(I)].Width > 0)
      ResultView->header()->resizeSection(
          I, std::max(50, Settings.ResListColumns[static_cast<size_t>(I)].Width));
  // The saved positions (the settings keep them only when they order the four columns).
  for (int Position = 0; Position < kResListColumnCount; ++Position)
    for (int I = 0; I < kResListColumnCount; ++I)
      if (Settings.ResListColumns[static_cast<size_t>(I)].Position == Position)
        ResultView->header()->moveSection(ResultView->header()->visualIndex(I), Position);
}

void TMain::FillLogicBox() {
  int32_t Index = LogicBox->currentIndex();
  std::vector<std::u16string> Items = LogicComboItems(ExactRadio->isChecked(), Index);
  LogicBox->clear();
  for (const auto& Item : Items) LogicBox->addItem(Q(Item));
  LogicBox->setCurrentIndex(Index);
}

TSearchFields TMain::Fields() const {
  TSearchFields F;
  F.Pattern = U(Pattern->currentText());
  F.Paths = U(Paths->currentText());
  F.Masks = U(Masks->currentText());
  F.Fuzzy = FuzzyRadio->isChecked();
  F.CaseSensitive = CaseSensCheck->isChecked();
  F.WholeWords = WholeWordsCheck->isChecked();
  F.LogicIndex = LogicBox->currentIndex();
  F.DirectScan = DirectScanCheck->isChecked();
  F.ConvertToText = ConvToTextCheck->isChecked();
  F.Ansi = AnsiCheck->isChecked();
  F.Oem = OemCheck->isChecked();
  F.Unicode = UnicodeCheck->isChecked();
  F.SkipBinary = SkipBinaryCheck->isChecked();
  F.Subdirectories = SubdirsCheck->isChecked();
  F.PlainFiles = FilesCheck->isChecked();
  F.Archives = ArchivesCheck->isChecked();
  F.InResults = InResultsCheck->isChecked() && InResultsCheck->isEnabled();
  F.FilterOn = FilterBox->isChecked();
  F.DateFilterOn = DateCheck->isChecked();
  F.SizeFilterOn = SizeCheck->isChecked();
  F.DateFrom = DateOf(DateFromEdit);
  F.DateTo = DateOf(DateToEdit);
  F.SizeFromText = U(SizeFromEdit->text());
  F.SizeToText = U(SizeToEdit->text());
  F.SizeUnits = SizeUnits->currentIndex();
  return F;
}

void TMain::ShowFields(const TSearchFields& F) {
  if (U(Paths->currentText()) != F.Paths) Paths->setEditText(Q(F.Paths));
  if (U(Masks->currentText()) != F.Masks) Masks->setEditText(Q(F.Masks));
  DirectScanCheck->setChecked(F.DirectScan);
  AnsiCheck->setChecked(F.Ansi);
  FilesCheck->setChecked(F.PlainFiles);
  InResultsCheck->setChecked(F.InResults);
}

void TMain::ShowAllFields(const TSearchFields& F) {
  Pattern->setEditText(Q(F.Pattern));
  (F.Fuzzy ? FuzzyRadio : ExactRadio)->setChecked(true);
  FillLogicBox();
  LogicBox->setCurrentIndex(std::clamp<int>(F.LogicIndex, 0, LogicBox->count() - 1));
  CaseSensCheck->setChecked(F.CaseSensitive);
  WholeWordsCheck->setChecked(F.WholeWords);
  ConvToTextCheck->setChecked(F.ConvertToText);
  OemCheck->setChecked(F.Oem);
  UnicodeCheck->setChecked(F.Unicode);
  SkipBinaryCheck->setChecked(F.SkipBinary);
  SubdirsCheck->setChecked(F.Subdirectories);
  SetFilesArchives(F.PlainFiles, F.Archives);
  FilterBox->setChecked(F.FilterOn);
  DateCheck->setChecked(F.DateFilterOn);
  SizeCheck->setChecked(F.SizeFilterOn);
  SetDate(DateFromEdit, F.DateFrom);
  SetDate(DateToEdit, F.DateTo);
  SizeFromEdit->setText(Q(F.SizeFromText));
  SizeToEdit->setText(Q(F.SizeToText));
  SizeUnits->setCurrentIndex(std::clamp(F.SizeUnits, 0, 2));
}

void TMain::UpdateControls() {
  bool Busy = Run->Busy;
  StartBtn->setEnabled(!Busy || Run->Paused);
  StopBtn->setEnabled(Busy);
  PauseBtn->setEnabled(Busy);
  PauseBtn->setChecked(Run->Paused);
  Commands->UpdateActions();
  // A paused search goes on from Start.
  if (Run->Paused) Commands->ActionByIndex(maSearchStart)->setEnabled(true);
  Commands->ActionByIndex(maSearchPause)->setChecked(Run->Paused);
  if (QToolButton* Pause = Commands->ToolButtonByTag(maSearchPause))
    Pause->defaultAction()->setChecked(Run->Paused);
  for (QWidget* W : std::initializer_list<QWidget*>{Pattern, ExactRadio, FuzzyRadio, LogicBox, CaseSensCheck,
                                                    WholeWordsCheck, DirectScanCheck, SkipBinaryCheck})
    W->setEnabled(!Busy);
  InResultsCheck->setEnabled(!Busy && Results().Count() > 0);
  bool Inputs = !Busy && !InResultsCheck->isChecked();
  for (QWidget* W : std::initializer_list<QWidget*>{SubdirsCheck, FilesCheck, ArchivesCheck, Paths, BrowseBtn,
                                                    Masks, SelectBtn, FilterBox})
    W->setEnabled(Inputs);
  DateFromEdit->setEnabled(Inputs && DateCheck->isChecked());
  DateToEdit->setEnabled(Inputs && DateCheck->isChecked());
  for (QWidget* W : std::initializer_list<QWidget*>{SizeFromEdit, SizeToEdit, SizeUnits})
    W->setEnabled(Inputs && SizeCheck->isChecked());
  bool Charsets = !Busy && DirectScanCheck->isChecked();
  for (QWidget* W : std::initializer_list<QWidget*>{AnsiCheck, OemCheck, UnicodeCheck})
    W->setEnabled(Charsets);
  bool HasConverters = Converters && Converters->Count() > 0;
  if (!HasConverters) ConvToTextCheck->setChecked(false);
  ConvToTextCheck->setEnabled(HasConverters && !Busy);
  FiltersBtn->setEnabled(ComputeMainEnables(CommandState()).Filters);
  UpdatePreviewPrintActions();
}

void TMain::CommitComboEdits() {
  if (Paths->lineEdit()->hasFocus()) Paths->setEditText(Q(ParsePathList(U(Paths->currentText()))));
  if (Masks->lineEdit()->hasFocus()) Masks->setEditText(Q(NormalizeMasks(U(Masks->currentText()))));
}

void TMain::SetFilesArchives(bool Files, bool Archives) {
  ::SetFilesArchives(Files, Archives);
  FilesCheck->setChecked(Files);
  ArchivesCheck->setChecked(Archives);
  Commands->ActionByIndex(maSearchFiles)->setChecked(Files);
  Commands->ActionByIndex(maSearchArchives)->setChecked(Archives);
  const std::pair<int32_t, bool> Buttons[] = {{maSearchFiles, Files}, {maSearchArchives, Archives}};
  for (const auto& [Tag, Down] : Buttons)
    if (QToolButton* Button = Commands->ToolButtonByTag(Tag)) Button->defaultAction()->setChecked(Down);
}

void TMain::SearchFilesExec() {
  bool Files = !FilesCheck->isChecked(), Archives = ArchivesCheck->isChecked();
  ClickFilesArchives(true, Files, Archives);
  SetFilesArchives(Files, Archives);
}

void TMain::SearchArchivesExec() {
  bool Files = FilesCheck->isChecked(), Archives = !ArchivesCheck->isChecked();
  ClickFilesArchives(false, Files, Archives);
  SetFilesArchives(Files, Archives);
}

void TMain::SetSearchPanelCollapsed(bool Collapse) {
  if (Collapse == SearchCollapsed || (Collapse && Run->Busy)) return;
  SearchCollapsed = Collapse;
  SearchPanel->setVisible(!Collapse);
  CollapseBtn->setVisible(!Collapse);
  ExpandBtn->setVisible(Collapse);
  // Folded, the strip takes the button-face colour and no splitter; unfolded, the designed width again.
  SearchSide->setBackgroundRole(Collapse ? QPalette::Button : QPalette::Window);
  Splitter->handle(1)->setVisible(!Collapse);
  Splitter->handle(1)->setEnabled(!Collapse);
  if (Collapse) {
    const int Strip = ExpandBtn->sizeHint().width() + 4;
    SearchSide->setFixedWidth(Strip);
    Splitter->setSizes({Strip, std::max(0, Splitter->width() - Strip)});
  } else {
    SearchSide->setMinimumWidth(kSearchPanelWidth);
    SearchSide->setMaximumWidth(QWIDGETSIZE_MAX);
    Splitter->setSizes({kSearchPanelWidth, std::max(0, Splitter->width() - kSearchPanelWidth)});
  }
}

void TMain::SetInterfaceStyle(int32_t Style) {
  Settings.ViewOptions.InterfaceStyle = static_cast<uint8_t>(Style == 1 ? 1 : 0);
  // The search panel lives in the window only without the search dialog.
  SearchSide->setVisible(Settings.ViewOptions.InterfaceStyle == 0);
}
