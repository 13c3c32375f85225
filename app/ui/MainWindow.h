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
#include <set>
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
class QHBoxLayout;
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
  void SearchStopExec() { Run_->SearchStopExec(); }
  void SearchPauseExec() { Run_->SearchPauseExec(); }
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
  void SetStatusMessage(const std::function<std::u16string()>& Make, bool AddPeriod) override;
  // Writes the controls into the settings, then saves them and the three histories.
  void SaveSettings() override;
  // Stores the settings and the histories; false (with SettingsError) when any of them could not be written.
  bool WriteSettings();
  // The log window, made on first use.
  TLog* GetLogForm();

  // ---- For tests and the commands layer ----
  const TBusyAnimation& Animation() const { return BusyAnimation_; }
  TBusyIndicator* ToolbarAnimation() const { return ToolbarAnim_; }
  TBusyIndicator* StatusBarAnimation() const { return StatusAnim_; }
  bool SearchPanelCollapsed() const { return SearchCollapsed_; }
  // The width the search panel's controls need to show whole (its scroll area's frame and scroll bar too).
  int SearchPanelNeededWidth() const;
  TSearchRun& SearchRun() { return *Run_; }
  TSearchResults& Results() { return Run_->Results(); }
  TMultiLang& Languages() { return Langs_; }
  const TLanguageMenu& LanguageMenu() const { return LangMenu_; }
  TSearchFields Fields() const;
  void ShowFields(const TSearchFields& Fields) override;
  std::u16string StatusText() const { return Status_; }
  QTreeView* ResList() const { return ResultView_; }
  QComboBox* PatternCombo() const { return Pattern_; }
  QComboBox* PathCombo() const { return Paths_; }
  QComboBox* MaskCombo() const { return Masks_; }
  TMainActions& Actions() const { return *Commands_; }
  QAction* PreviewAction() const;
  QAction* PrintAction() const;
  QMenu* ViewMenu() const { return MView_; }
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

  // The window is built one area at a time: the search panel (a builder per group), its fold strip, the
  // results list, the splitter between them, the status bar, the menus, then the panel's signals.
  void BuildWindow();
  QWidget* BuildSearchPanel();
  QGroupBox* BuildWhatGroup();
  QGroupBox* BuildWhereGroup();
  QGroupBox* BuildOptionsGroup();
  QGroupBox* BuildFilterGroup();
  QHBoxLayout* BuildSearchButtons();
  void BuildSearchSide(QWidget* Panel);
  void BuildResultsList();
  void BuildSplitter();
  void BuildStatusBar();
  void BuildMenus();
  void ConnectSearchPanel();
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
  // A menu or a modal window shows or hides: the animation stands still while one is open.
  void NoteModalWindow(QObject* Watched, QEvent* Event);
  // The animation turns while a search runs, is not paused, and no menu or modal window is open.
  void SetAnimationRunning();
  // The path, pattern and mask boxes' drop-down lists from the stored histories.
  void LoadHistories();
  // Applies the designed texts and the current language to a dialog made for one use.
  void Localize(TQtLangForm& Form);
  // A window made outside this unit (a preview, its options dialog) joins the translated windows: its
  // designed texts are captured, it shows the current language, and it follows every later change until
  // it is destroyed. Its form name for the language files is its object name.
  void AddTranslatedWindow(QWidget* Window);
  // The preview windows' hooks into this window (status text, converters, passwords, View menu).
  void InstallPreviews();
  void PreviewResult(const TFoundFileInfo& Info);
  // The password questions of extracting Info's item (the stored passwords first, then the question as
  // in a search, by the ask-mode choice), with the item's archive named in the question.
  TArcPasswordEvent ExtractPasswordHook(const TFoundFileInfo& Info);
  // The properties window of the focused row's file (Alt+Enter; nothing for an archive item).
  void ShowFileProperties();
  // Preview needs a focused row; Print an idle search and a table with rows.
  void UpdatePreviewPrintActions();

  // The program's settings, which the window shows, edits and stores.
  TSettings& Settings_;
  std::string ProgramDir_;
  TQtLangScreen Screen_;
  TMultiLang Langs_;
  std::unique_ptr<TQtLangForm> LangForm_, LogLangForm_;
  std::map<QObject*, std::unique_ptr<TQtLangForm>> WindowForms_;  // by AddTranslatedWindow
  std::vector<TLanguageFile> LanguageFiles_;
  TLanguageMenu LangMenu_;
  TDateTime LanguagesLoadedAt_ = 0;
  std::unique_ptr<TQVConverters> Converters_;
  TArchiveWalk ArchiveWalk_;
  TFileScanner Scanner_;
  std::unique_ptr<TSearchRun> Run_;
  std::unique_ptr<QElapsedTimer> Clock_;
  bool FirstShow_ = true;
  bool DebugMode_ = false;
  bool HelpChecked_ = false;  // the help file was looked for since start-up or the last language change
  int SettingsError_ = 0;     // the system error of the last settings write that failed, 0 when all went
  std::u16string Status_;
  // What the status line shows when it is a catalogue text: made again after a language change.
  std::function<std::u16string()> StatusMessage_;
  bool StatusPeriod_ = false;
  int64_t LastAllocMemSize_ = 0;  // the memory figure last shown

  // Widgets.
  QSplitter* Splitter_ = nullptr;
  QScrollArea* SearchPanel_ = nullptr;
  QWidget* SearchSide_ = nullptr;  // the panel with its fold buttons
  QGroupBox* WhatGroup_ = nullptr;
  QToolButton *CollapseBtn_ = nullptr, *ExpandBtn_ = nullptr;
  bool SearchCollapsed_ = false;
  int SearchWidth_ = 0;  // the panel's width when it was folded
  QComboBox *Pattern_ = nullptr, *Paths_ = nullptr, *Masks_ = nullptr, *LogicBox_ = nullptr,
            *SizeUnits_ = nullptr;
  QRadioButton *ExactRadio_ = nullptr, *FuzzyRadio_ = nullptr;
  QCheckBox *CaseSensCheck_ = nullptr, *WholeWordsCheck_ = nullptr, *DirectScanCheck_ = nullptr,
            *ConvToTextCheck_ = nullptr, *AnsiCheck_ = nullptr, *OemCheck_ = nullptr,
            *UnicodeCheck_ = nullptr, *SkipBinaryCheck_ = nullptr, *SubdirsCheck_ = nullptr,
            *FilesCheck_ = nullptr, *ArchivesCheck_ = nullptr, *InResultsCheck_ = nullptr,
            *DateCheck_ = nullptr, *SizeCheck_ = nullptr;
  QGroupBox* FilterBox_ = nullptr;
  QDateEdit *DateFromEdit_ = nullptr, *DateToEdit_ = nullptr;
  QLineEdit *SizeFromEdit_ = nullptr, *SizeToEdit_ = nullptr;
  QPushButton *StartBtn_ = nullptr, *StopBtn_ = nullptr, *PauseBtn_ = nullptr, *BrowseBtn_ = nullptr,
              *SelectBtn_ = nullptr, *FiltersBtn_ = nullptr;
  QTreeView* ResultView_ = nullptr;
  TResListModel* Model_ = nullptr;
  TWideStatusBar* StatusBar_ = nullptr;
  TBusyAnimation BusyAnimation_;
  TBusyIndicator *ToolbarAnim_ = nullptr, *StatusAnim_ = nullptr;
  std::set<QObject*> OpenModalWindows_;  // the menus and modal windows open now
  TMainActions* Commands_ = nullptr;
  QAction *MClear_ = nullptr, *MStatusBar_ = nullptr, *MEnableLog_ = nullptr, *PreviewSeparator_ = nullptr;
  QMenu *MLanguage_ = nullptr, *MView_ = nullptr;
  // The open previews' View-menu entries.
  std::unique_ptr<TPreviewMenu> PreviewMenu_;
  std::map<TPreview*, QAction*> PreviewItems_;
  std::unique_ptr<TMainPreviewHost> PreviewHost_;
  TPendingPreview PendingPreview_;
  bool IsPrinting_ = false;
  QPointer<TLog> LogForm_;
};
