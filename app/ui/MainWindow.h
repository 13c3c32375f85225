// The main window: the search panel (what to find, where, which files, how), the results list, the
// status bar and the menus; it makes, loads and binds everything the program needs at start-up, runs a
// search on the main thread (the scanner's callbacks pump the window's events, so the window stays
// responsive), and saves the settings when it closes. The search panel's fields and enabling live in
// MainSearchPanel.cpp, previews in MainPreviews.cpp, printing in MainPrint.cpp.
//
// The decisions live in widget-free units (MainForm, SearchRun, ResList, IO, VVCLUtil); this class turns
// them into widgets. Main thread only; one main window per program, living until the program ends.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "app/MLUtil.h"
#include "app/MainCommands.h"
#include "app/MainForm.h"
#include "app/MultiLan.h"
#include "app/ResultCommands.h"
#include "app/SearchRun.h"
#include "app/ui/QtLang.h"
#include "search/FileScan.h"
#include "search/FileScanArc.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSplitter;
class QTreeView;
class QToolButton;
class QElapsedTimer;
class TLog;
class TMainActions;
class TMainPreviewHost;
class TPreview;
class TPreviewMenu;
class TQVConverters;
class TQtLangForm;
class TResListModel;
class TWideStatusBar;
class TBusyIndicator;

class TMain : public QMainWindow, public ISearchHost {
  Q_OBJECT
 public:
  // ProgramDir: the program's folder with a trailing "/" (plug-ins and language files lie there).
  TMain(const TMainCommandLine& CommandLine, const std::string& ProgramDir);
  ~TMain() override;

  // ---- Commands ----
  void SearchStartExec();
  void SearchStopExec() { Run->SearchStopExec(); }
  void SearchPauseExec() { Run->SearchPauseExec(); }
  void ClearResults();
  void ShowLogExec();
  void SearchFilesExec();
  void SearchArchivesExec();
  void OptionsExec(int32_t Page = -1);
  void HelpExec();
  void ExitExec();
  void AboutExec();
  // The search panel's Browse, Select and Filters buttons.
  void BrowsePathsExec();
  void SelectFileTypesExec();
  void EditFiltersExec();
  // Preview of the focused row: opens when the converters are idle, else once they turn idle.
  void PreviewExec();
  // Prints the results list (print dialog first); nothing while a print runs.
  void PrintExec();
  // The status line: Text with a final period when AddPeriod (and the memory figure in memory mode).
  void SetStatusText(const std::u16string& Text, bool AddPeriod) override;
  // Writes the controls into the settings, then saves them and the three histories.
  void SaveSettings() override;
  // Stores the settings and the histories; false (with SettingsError) when any of them could not be written.
  bool WriteSettings();
  // The log window, made on first use.
  TLog* GetLogForm();

  // ---- For tests and the commands layer ----
  const TBusyAnimation& Animation() const { return BusyAnimation; }
  TBusyIndicator* ToolbarAnimation() const { return ToolbarAnim; }
  TBusyIndicator* StatusBarAnimation() const { return StatusAnim; }
  bool SearchPanelCollapsed() const { return SearchCollapsed; }
  TSearchRun& SearchRun() { return *Run; }
  TSearchResults& Results() { return Run->Results(); }
  TMultiLang& Languages() { return Langs; }
  const TLanguageMenu& LanguageMenu() const { return LangMenu; }
  TSearchFields Fields() const;
  void ShowFields(const TSearchFields& Fields) override;
  std::u16string StatusText() const { return Status; }
  QTreeView* ResList() const { return ResultView; }
  QComboBox* PatternCombo() const { return Pattern; }
  QComboBox* PathCombo() const { return Paths; }
  QComboBox* MaskCombo() const { return Masks; }
  TMainActions& Actions() const { return *Commands; }
  QAction* PreviewAction() const;
  QAction* PrintAction() const;
  QMenu* ViewMenu() const { return mView; }
  // Selects interface language Index (re-importing an edited file first).
  void SetLanguage(int32_t Index);
  int32_t SortColumn = 0;

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // ---- ISearchHost ----
  void ProcessMessages() override;
  void WaitUntil(const std::function<bool()>& Done) override;
  uint32_t TickCount() override;
  void RefreshRowCount() override;
  void ClearSortMark() override;
  void FocusBox(TSearchBox Box) override;
  void StateChanged() override;
  void PostUserInterrupt() override;
  TPasswordAnswer AskPassword(const std::string& ItemName, const std::string& ArcName) override;

  void BuildWindow();
  void BuildMenus();
  void FormCreate(const TMainCommandLine& CommandLine);
  void ControlsFromSettings();
  // The main font on the pattern, path and mask boxes and the results list.
  void ApplyMainFont();
  void ApplyCommandLine(const TMainCommandLine& CommandLine);
  // Empty path and mask boxes get the saved lists (at the first activation).
  void FillFromHistory();
  void LanguageChanged();
  void FillLogicBox();
  void ResListHeaderClick(int Column);
  void CommitComboEdits();
  void UpdateControls();
  void InstallCommands();
  // Shows the row menu of the focused result at a point of the results list.
  void ResListContextMenu(const QPoint& Pos);
  // The state the enabling rules read.
  TMainState CommandState() const;
  // The plain-files and archives boxes with their toolbar buttons.
  void SetFilesArchives(bool Files, bool Archives);
  // Runs the search dialog (the dialog interface style) and the search on its answer.
  void SearchDialogExec();
  // Sets every search control from Fields (ShowFields sets those the search run corrects).
  void ShowAllFields(const TSearchFields& Fields);
  // 0: the search panel in the window; 1: the search dialog.
  void SetInterfaceStyle(int32_t Style);
  // Folds the search panel to a strip with ">>" (not while a search runs), or unfolds it.
  void SetSearchPanelCollapsed(bool Collapse);
  // 0: the busy animation over the toolbar's Start button; 1: in the status bar; 2: none. Stored in the
  // settings.
  void SetAnimationMode(int32_t Mode);
  // The two animation widgets follow the animation's place and state.
  void ApplyAnimation();
  // The path, pattern and mask boxes' drop-down lists from the stored histories.
  void LoadHistories();
  // Applies the designed texts and the current language to a dialog made for one use.
  void Localize(TQtLangForm& Form);
  // The preview windows' hooks into this window (status text, converters, passwords, View menu).
  void InstallPreviews();
  void PreviewResult(const TFoundFileInfo& Info);
  // Preview needs a focused row; Print an idle search and a table with rows.
  void UpdatePreviewPrintActions();

  // The program's settings, which the window shows, edits and stores.
  TSettings& Settings;
  std::string ProgramDir;
  TQtLangScreen Screen;
  TMultiLang Langs;
  std::unique_ptr<TQtLangForm> LangForm, LogLangForm;
  std::vector<TLanguageFile> LanguageFiles;
  TLanguageMenu LangMenu;
  TDateTime LanguagesLoadedAt = 0;
  std::unique_ptr<TQVConverters> Converters;
  TArchiveWalk ArchiveWalk;
  TFileScanner Scanner;
  std::unique_ptr<TSearchRun> Run;
  std::unique_ptr<QElapsedTimer> Clock;
  bool FirstShow = true;
  bool DebugMode = false;
  bool HelpChecked = false;  // the help file was looked for since start-up or the last language change
  int SettingsError = 0;     // the system error of the last settings write that failed, 0 when all went
  std::u16string Status;
  int64_t LastAllocMemSize = 0;  // the memory figure last shown

  // Widgets.
  QSplitter* Splitter = nullptr;
  QScrollArea* SearchPanel = nullptr;
  QWidget* SearchSide = nullptr;  // the panel with its fold buttons
  QGroupBox* WhatGroup = nullptr;
  QToolButton *CollapseBtn = nullptr, *ExpandBtn = nullptr;
  bool SearchCollapsed = false;
  QComboBox *Pattern = nullptr, *Paths = nullptr, *Masks = nullptr, *LogicBox = nullptr, *SizeUnits = nullptr;
  QRadioButton *ExactRadio = nullptr, *FuzzyRadio = nullptr;
  QCheckBox *CaseSensCheck = nullptr, *WholeWordsCheck = nullptr, *DirectScanCheck = nullptr,
            *ConvToTextCheck = nullptr, *AnsiCheck = nullptr, *OemCheck = nullptr, *UnicodeCheck = nullptr,
            *SkipBinaryCheck = nullptr, *SubdirsCheck = nullptr, *FilesCheck = nullptr,
            *ArchivesCheck = nullptr, *InResultsCheck = nullptr, *DateCheck = nullptr, *SizeCheck = nullptr;
  QGroupBox* FilterBox = nullptr;
  QDateEdit *DateFromEdit = nullptr, *DateToEdit = nullptr;
  QLineEdit *SizeFromEdit = nullptr, *SizeToEdit = nullptr;
  QPushButton *StartBtn = nullptr, *StopBtn = nullptr, *PauseBtn = nullptr, *BrowseBtn = nullptr,
              *SelectBtn = nullptr, *FiltersBtn = nullptr;
  QTreeView* ResultView = nullptr;
  TResListModel* Model = nullptr;
  TWideStatusBar* StatusBar = nullptr;
  TBusyAnimation BusyAnimation;
  TBusyIndicator *ToolbarAnim = nullptr, *StatusAnim = nullptr;
  TMainActions* Commands = nullptr;
  QAction *mClear = nullptr, *mStatusBar = nullptr, *mEnableLog = nullptr, *PreviewSeparator = nullptr;
  QMenu *mLanguage = nullptr, *mView = nullptr;
  // The open previews' View-menu entries.
  std::unique_ptr<TPreviewMenu> PreviewMenu;
  std::map<TPreview*, QAction*> PreviewItems;
  std::unique_ptr<TMainPreviewHost> PreviewHost;
  TPendingPreview PendingPreview;
  bool IsPrinting = false;
  QPointer<TLog> LogForm;
};
