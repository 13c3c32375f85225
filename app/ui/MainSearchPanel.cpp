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
#include <QScrollBar>
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
  CaseSensCheck_->setChecked(Settings_.SearchOptions.CaseSensitive);
  WholeWordsCheck_->setChecked(Settings_.SearchOptions.WholeWords);
  (Settings_.SearchOptions.Fuzzy ? FuzzyRadio_ : ExactRadio_)->setChecked(true);
  FillLogicBox();
  LogicBox_->setCurrentIndex(std::clamp<int>(Settings_.SearchOptions.LogicIndex, 0, LogicBox_->count() - 1));
  ConvToTextCheck_->setChecked(Settings_.ScanOptions.ConvertToText);
  DirectScanCheck_->setChecked(Settings_.ScanOptions.DirectScan);
  AnsiCheck_->setChecked(Settings_.ScanOptions.ANSI);
  OemCheck_->setChecked(Settings_.ScanOptions.OEM);
  UnicodeCheck_->setChecked(Settings_.ScanOptions.Unicode);
  SkipBinaryCheck_->setChecked(Settings_.ScanOptions.SkipBinary);
  SubdirsCheck_->setChecked(Settings_.FileOptions.Subdirectories);
  bool Files = Settings_.FileOptions.PlainFiles, Archives = Settings_.FileOptions.Archives;
  if (!Files && !Archives) Files = true;
  FilesCheck_->setChecked(Files);
  ArchivesCheck_->setChecked(Archives);
  FilterBox_->setChecked(Settings_.FileOptions.FilterOn);
  DateCheck_->setChecked(Settings_.FileOptions.DateFilterOn);
  SizeCheck_->setChecked(Settings_.FileOptions.SizeFilterOn);
  if (Settings_.FileOptions.DateFilterOn) {
    SetDate(DateFromEdit_, Settings_.FileOptions.DateFrom);
    SetDate(DateToEdit_, Settings_.FileOptions.DateTo);
  }
  int Units = std::clamp<int>(Settings_.FileOptions.SizeUnits, 0, 2);
  if (Settings_.FileOptions.SizeFrom >= 0)
    SizeFromEdit_->setText(Q(FormatSizeForUnits(Settings_.FileOptions.SizeFrom, Units)));
  if (Settings_.FileOptions.SizeTo >= 0)
    SizeToEdit_->setText(Q(FormatSizeForUnits(Settings_.FileOptions.SizeTo, Units)));
  SizeUnits_->setCurrentIndex(Units);
  for (int I = 0; I < kResListColumnCount; ++I)
    if (Settings_.ResListColumns[static_cast<size_t>(I)].Width > 0)
      ResultView_->header()->resizeSection(
          I, std::max(50, Settings_.ResListColumns[static_cast<size_t>(I)].Width));
  // The saved positions (the settings keep them only when they order the four columns).
  for (int Position = 0; Position < kResListColumnCount; ++Position)
    for (int I = 0; I < kResListColumnCount; ++I)
      if (Settings_.ResListColumns[static_cast<size_t>(I)].Position == Position)
        ResultView_->header()->moveSection(ResultView_->header()->visualIndex(I), Position);
}

void TMain::FillLogicBox() {
  int32_t Index = LogicBox_->currentIndex();
  std::vector<std::u16string> Items = LogicComboItems(ExactRadio_->isChecked(), Index);
  LogicBox_->clear();
  for (const auto& Item : Items) LogicBox_->addItem(Q(Item));
  LogicBox_->setCurrentIndex(Index);
}

TSearchFields TMain::Fields() const {
  TSearchFields F;
  F.Pattern = U(Pattern_->currentText());
  F.Paths = U(Paths_->currentText());
  F.Masks = U(Masks_->currentText());
  F.Fuzzy = FuzzyRadio_->isChecked();
  F.CaseSensitive = CaseSensCheck_->isChecked();
  F.WholeWords = WholeWordsCheck_->isChecked();
  F.LogicIndex = LogicBox_->currentIndex();
  F.DirectScan = DirectScanCheck_->isChecked();
  F.ConvertToText = ConvToTextCheck_->isChecked();
  F.Ansi = AnsiCheck_->isChecked();
  F.Oem = OemCheck_->isChecked();
  F.Unicode = UnicodeCheck_->isChecked();
  F.SkipBinary = SkipBinaryCheck_->isChecked();
  F.Subdirectories = SubdirsCheck_->isChecked();
  F.PlainFiles = FilesCheck_->isChecked();
  F.Archives = ArchivesCheck_->isChecked();
  F.InResults = InResultsCheck_->isChecked() && InResultsCheck_->isEnabled();
  F.FilterOn = FilterBox_->isChecked();
  F.DateFilterOn = DateCheck_->isChecked();
  F.SizeFilterOn = SizeCheck_->isChecked();
  F.DateFrom = DateOf(DateFromEdit_);
  F.DateTo = DateOf(DateToEdit_);
  F.SizeFromText = U(SizeFromEdit_->text());
  F.SizeToText = U(SizeToEdit_->text());
  F.SizeUnits = SizeUnits_->currentIndex();
  return F;
}

void TMain::ShowFields(const TSearchFields& F) {
  if (U(Paths_->currentText()) != F.Paths) Paths_->setEditText(Q(F.Paths));
  if (U(Masks_->currentText()) != F.Masks) Masks_->setEditText(Q(F.Masks));
  DirectScanCheck_->setChecked(F.DirectScan);
  AnsiCheck_->setChecked(F.Ansi);
  FilesCheck_->setChecked(F.PlainFiles);
  InResultsCheck_->setChecked(F.InResults);
}

void TMain::ShowAllFields(const TSearchFields& F) {
  Pattern_->setEditText(Q(F.Pattern));
  (F.Fuzzy ? FuzzyRadio_ : ExactRadio_)->setChecked(true);
  FillLogicBox();
  LogicBox_->setCurrentIndex(std::clamp<int>(F.LogicIndex, 0, LogicBox_->count() - 1));
  CaseSensCheck_->setChecked(F.CaseSensitive);
  WholeWordsCheck_->setChecked(F.WholeWords);
  ConvToTextCheck_->setChecked(F.ConvertToText);
  OemCheck_->setChecked(F.Oem);
  UnicodeCheck_->setChecked(F.Unicode);
  SkipBinaryCheck_->setChecked(F.SkipBinary);
  SubdirsCheck_->setChecked(F.Subdirectories);
  SetFilesArchives(F.PlainFiles, F.Archives);
  FilterBox_->setChecked(F.FilterOn);
  DateCheck_->setChecked(F.DateFilterOn);
  SizeCheck_->setChecked(F.SizeFilterOn);
  SetDate(DateFromEdit_, F.DateFrom);
  SetDate(DateToEdit_, F.DateTo);
  SizeFromEdit_->setText(Q(F.SizeFromText));
  SizeToEdit_->setText(Q(F.SizeToText));
  SizeUnits_->setCurrentIndex(std::clamp(F.SizeUnits, 0, 2));
}

void TMain::UpdateControls() {
  bool Busy = Run_->Busy;
  StartBtn_->setEnabled(!Busy || Run_->Paused);
  StopBtn_->setEnabled(Busy);
  PauseBtn_->setEnabled(Busy);
  PauseBtn_->setChecked(Run_->Paused);
  Commands_->UpdateActions();
  // A paused search goes on from Start.
  if (Run_->Paused) Commands_->ActionByIndex(maSearchStart)->setEnabled(true);
  Commands_->ActionByIndex(maSearchPause)->setChecked(Run_->Paused);
  if (QToolButton* Pause = Commands_->ToolButtonByTag(maSearchPause))
    Pause->defaultAction()->setChecked(Run_->Paused);
  for (QWidget* W :
       std::initializer_list<QWidget*>{Pattern_, ExactRadio_, FuzzyRadio_, LogicBox_, CaseSensCheck_,
                                       WholeWordsCheck_, DirectScanCheck_, SkipBinaryCheck_})
    W->setEnabled(!Busy);
  InResultsCheck_->setEnabled(!Busy && Results().Count() > 0);
  bool Inputs = !Busy && !InResultsCheck_->isChecked();
  for (QWidget* W : std::initializer_list<QWidget*>{SubdirsCheck_, FilesCheck_, ArchivesCheck_, Paths_,
                                                    BrowseBtn_, Masks_, SelectBtn_, FilterBox_})
    W->setEnabled(Inputs);
  DateFromEdit_->setEnabled(Inputs && DateCheck_->isChecked());
  DateToEdit_->setEnabled(Inputs && DateCheck_->isChecked());
  for (QWidget* W : std::initializer_list<QWidget*>{SizeFromEdit_, SizeToEdit_, SizeUnits_})
    W->setEnabled(Inputs && SizeCheck_->isChecked());
  bool Charsets = !Busy && DirectScanCheck_->isChecked();
  for (QWidget* W : std::initializer_list<QWidget*>{AnsiCheck_, OemCheck_, UnicodeCheck_})
    W->setEnabled(Charsets);
  bool HasConverters = Converters_ && Converters_->Count() > 0;
  if (!HasConverters) ConvToTextCheck_->setChecked(false);
  ConvToTextCheck_->setEnabled(HasConverters && !Busy);
  FiltersBtn_->setEnabled(ComputeMainEnables(CommandState()).Filters);
  UpdatePreviewPrintActions();
}

void TMain::CommitComboEdits() {
  if (Paths_->lineEdit()->hasFocus()) Paths_->setEditText(Q(ParsePathList(U(Paths_->currentText()))));
  if (Masks_->lineEdit()->hasFocus()) Masks_->setEditText(Q(NormalizeMasks(U(Masks_->currentText()))));
}

void TMain::SetFilesArchives(bool Files, bool Archives) {
  ::SetFilesArchives(Files, Archives);
  FilesCheck_->setChecked(Files);
  ArchivesCheck_->setChecked(Archives);
  Commands_->ActionByIndex(maSearchFiles)->setChecked(Files);
  Commands_->ActionByIndex(maSearchArchives)->setChecked(Archives);
  const std::pair<int32_t, bool> Buttons[] = {{maSearchFiles, Files}, {maSearchArchives, Archives}};
  for (const auto& [Tag, Down] : Buttons)
    if (QToolButton* Button = Commands_->ToolButtonByTag(Tag)) Button->defaultAction()->setChecked(Down);
}

void TMain::SearchFilesExec() {
  bool Files = !FilesCheck_->isChecked(), Archives = ArchivesCheck_->isChecked();
  ClickFilesArchives(true, Files, Archives);
  SetFilesArchives(Files, Archives);
}

void TMain::SearchArchivesExec() {
  bool Files = FilesCheck_->isChecked(), Archives = !ArchivesCheck_->isChecked();
  ClickFilesArchives(false, Files, Archives);
  SetFilesArchives(Files, Archives);
}

void TMain::SetSearchPanelCollapsed(bool Collapse) {
  if (Collapse == SearchCollapsed_ || (Collapse && Run_->Busy)) return;
  SearchCollapsed_ = Collapse;
  SearchPanel_->setVisible(!Collapse);
  CollapseBtn_->setVisible(!Collapse);
  ExpandBtn_->setVisible(Collapse);
  // Folded, the strip takes the button-face colour and no splitter; unfolded, the width it had, at least
  // what its controls need.
  SearchSide_->setBackgroundRole(Collapse ? QPalette::Button : QPalette::Window);
  Splitter_->handle(1)->setVisible(!Collapse);
  Splitter_->handle(1)->setEnabled(!Collapse);
  if (Collapse) {
    SearchWidth_ = SearchSide_->width();
    const int Strip = ExpandBtn_->sizeHint().width() + 4;
    SearchSide_->setFixedWidth(Strip);
    Splitter_->setSizes({Strip, std::max(0, Splitter_->width() - Strip)});
  } else {
    SearchSide_->setMinimumWidth(kSearchPanelWidth);
    SearchSide_->setMaximumWidth(QWIDGETSIZE_MAX);
    const int Width = std::max({SearchWidth_, SearchPanelNeededWidth(), kSearchPanelWidth});
    Splitter_->setSizes({Width, std::max(0, Splitter_->width() - Width)});
  }
}

int TMain::SearchPanelNeededWidth() const {
  const QWidget* Panel = SearchPanel_->widget();
  const int Scroll = SearchPanel_->verticalScrollBar()->sizeHint().width();
  return Panel->minimumSizeHint().width() + 2 * SearchPanel_->frameWidth() + Scroll;
}

void TMain::SetInterfaceStyle(int32_t Style) {
  Settings_.ViewOptions.InterfaceStyle = static_cast<uint8_t>(Style == 1 ? 1 : 0);
  // The search panel lives in the window only without the search dialog.
  SearchSide_->setVisible(Settings_.ViewOptions.InterfaceStyle == 0);
}
