// The Qt side of the main window's command layer: the eleven actions with their object names, shortcuts,
// catalogue captions and hints; the configurable toolbar built from the ToolbarButtons setting; toolbar
// clicks that run their action only after the click has been handled (a posted event); the application
// hook for Enter, Alt+Enter, F1, F3 and Ctrl+Alt+F1..F12; and the enabling of the actions. The decisions
// come from app/MainCommands.
//
// The main window owns one TMainActions, calls Install once after it has made its widgets, assigns the
// handlers, and calls UpdateActions whenever its state changes. Main thread only.
#pragma once

#include <QObject>
#include <array>
#include <functional>

#include "app/MainCommands.h"
#include "app/Options.h"
#include "app/ResultCommands.h"

class QAction;
class QMainWindow;
class QMenu;
class QPoint;
class TQVConverters;
class QToolBar;
class QToolButton;
class QWidget;

class TMainActions : public QObject {
  Q_OBJECT
 public:
  // Window: the main window the actions and toolbar belong to.
  explicit TMainActions(QMainWindow* Window);
  ~TMainActions() override;

  // The handler of each action, by index; an unassigned one is skipped.
  std::array<std::function<void()>, kMainActionCount> Handlers;
  // The window's state for the enabling rules.
  std::function<TMainState()> State;
  // The hook's inputs and outputs.
  std::function<bool()> ResultsFocused;             // the results list has the focus
  std::function<bool(bool& InArchive)> FocusedRow;  // a row is focused; InArchive tells its kind
  std::function<int32_t()> LanguageCount;
  std::function<void(int32_t Language)> SelectLanguage;
  std::function<void()> ShowProperties;
  // A double click on the toolbar's free area (the options on their toolbar page).
  std::function<void()> OnToolbarDoubleClick;
  // WM_USERINTERRUPT and WM_FILLFROMHISTORY arrive here.
  std::function<void()> OnUserInterrupt;
  std::function<void()> OnFillFromHistory;

  QAction* ActionByIndex(int32_t Index) const;
  // The first toolbar button with that tag; null when none.
  QToolButton* ToolButtonByTag(int32_t Tag) const;
  QToolBar* ToolBar() const { return Bar_; }

  // Rebuilds the toolbar from ToolbarButtons and the toolbar settings.
  void BuildToolbar(bool Paused, bool Files, bool Archives);
  // Catalogue captions (82 + i) and hints (93 + i).
  void LocalizeActions();
  // Enables the actions by the rules.
  void UpdateActions();
  // Posts a message to the window's queue (WM_RUNACTION, WM_USERINTERRUPT, WM_FILLFROMHISTORY).
  void PostAppMessage(const TAppMessage& Message);
  // Installs the application hook (Enter, Alt+Enter, F1, F3, Ctrl+Alt+Fn).
  void InstallHook();

 protected:
  bool event(QEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void RunAction(int32_t Index);
  // The program's settings, whose toolbar and button settings the toolbar follows.
  TSettings& Settings_ = ProgramSettings();
  QMainWindow* Window_;
  QToolBar* Bar_;
  std::array<QAction*, kMainActionCount> Actions_{};
};

// The event type that carries TAppMessage.
int AppMessageEventType();

// --- Result commands ----------------------------------------------------------------------------------

// What the row menu needs from the main window; an unassigned hook leaves its entry without effect.
struct TResultMenuHooks {
  std::function<void()> Preview;
  std::function<void(const TFoundFileInfo& Info)> LaunchSummarizer;
  TArcPasswordEvent ExtractPassword;
  bool SummarizerFound = false;
};

// Shows the row menu of Info at ScreenPoint and runs the chosen entry; answers its id (0 for none).
int32_t ShowResultMenu(QWidget* Owner, const QPoint& ScreenPoint, const TFoundFileInfo& Info,
                       const TResultMenuHooks& Hooks);
// Runs one entry of the row menu.
void RunResultCommand(int32_t Id, const TFoundFileInfo& Info, const TResultMenuHooks& Hooks);
// Shows a folder in the desktop's file manager; a failure is shown as an error.
void ExploreFolder(const std::u16string& Folder);
// Opens a file or folder with the desktop's program for it. A path that does not exist, a desktop
// without an opener, and an opener that fails are each shown as an error saying so (once the opener
// has ended: it runs on its own).
void OpenWithDesktop(const std::u16string& Path);
// Asks where the archive item goes and extracts it there; errors are shown. True when extracted.
bool ExtractItemTo(const TFoundFileInfo& Info, const TArcPasswordEvent& PasswordCallback);
// Starts the companion summarizer on Info (see LaunchSummarizer in app/ResultCommands).
bool StartSummarizer(const std::string& SummarizerPath, const TFoundFileInfo& Info, bool PatternEmpty,
                     bool ConvertBox, TQVConverters& Converters);

// The View menu's entries of open previews, the newest first after Separator. Lives as long as the menu.
class TPreviewMenu {
 public:
  TPreviewMenu(QMenu* ViewMenu, QAction* Separator) : Menu_(ViewMenu), Separator_(Separator) {}
  // A new entry for a preview window; a click brings that window up. The entry goes with the window.
  QAction* AddPreviewMenuItem(const std::u16string& Name, QWidget* PreviewForm);
  void RemovePreviewMenuItem(QAction* Item);
  void RenumberPreviewMenu();

 private:
  QMenu* Menu_;
  QAction* Separator_;
  std::vector<QAction*> Items_;  // newest first
};
