// The main window's command layer without widgets: the eleven actions and their catalogue texts, the
// program's own window messages, the keys the application hook acts on, the enabling rules of the search
// controls, the plain-files/archives and direct-scan/convert rules, the plan of the configurable toolbar,
// and the busy animation's place. The window layer (app/ui/MainActions) turns these decisions into
// widgets; tests drive them directly.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/MsgStr.h"
#include "core/NumVector.h"

class TWideStrLst;

// --- Actions ------------------------------------------------------------------------------------------

// Action indexes: the toolbar button's tag and image, and the argument of WM_RUNACTION.
enum TMainAction : int32_t {
  maSearchStart = 0,
  maSearchStop = 1,
  maSearchPause = 2,
  maSearchFiles = 3,
  maSearchArchives = 4,
  maShowLog = 5,
  maPreview = 6,
  maPrint = 7,
  maOptions = 8,
  maHelp = 9,
  maExit = 10,
};
constexpr int32_t kMainActionCount = 11;

// Toolbar images past the actions' own: the pressed Pause, Files and Archives buttons.
constexpr int32_t kImagePausePressed = 11;
constexpr int32_t kImageFilesPressed = 12;
constexpr int32_t kImageArchivesPressed = 13;

struct TMainActionInfo {
  const char* Name;      // the action's object name ("actSearchStart")
  const char* Caption;   // the designed caption (empty where the action has none)
  const char* ShortCut;  // in QKeySequence's portable form; empty for none
};
extern const TMainActionInfo MainActionTable[kMainActionCount];

// The action an index names (only its low 7 bits count); -1 outside 0..10.
int32_t ActionByIndex(int32_t Index);
// The catalogue entries of action i's caption (82 + i) and hint (93 + i). i must be an action index.
TMsgIndex ActionCaptionMsg(int32_t Index);
TMsgIndex ActionHintMsg(int32_t Index);

// --- Window messages ----------------------------------------------------------------------------------

constexpr uint32_t kWmUser = 0x400;
constexpr uint32_t WM_LANGUAGECHANGED = kWmUser + 1;
constexpr uint32_t WM_RUNACTION = kWmUser + 3;
constexpr uint32_t WM_USERINTERRUPT = kWmUser + 4;
constexpr uint32_t WM_FILLFROMHISTORY = kWmUser + 5;
// The first parameter each message must carry; a message with another one is ignored.
constexpr uintptr_t kRunActionMagic = 0x32106754;
constexpr uintptr_t kUserInterruptMagic = 0xD81A5801;
constexpr uintptr_t kFillFromHistoryMagic = 0x7698ABDC;

struct TAppMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
};

enum TAppMessageKind : uint8_t {
  amIgnored,    // not one of ours, or a wrong first parameter, or an action index out of range
  amRunAction,  // Action holds a valid index
  amUserInterrupt,
  amFillFromHistory,
  amLanguageChanged,
};

struct TAppMessageDecision {
  TAppMessageKind Kind = amIgnored;
  int32_t Action = -1;
};

TAppMessage MakeRunActionMessage(int32_t Action);
TAppMessage MakeUserInterruptMessage();
TAppMessage MakeFillFromHistoryMessage();
// What the application hook does with a message. A WM_RUNACTION whose action index lies outside 0..10
// is ignored rather than run.
TAppMessageDecision DecodeAppMessage(const TAppMessage& Message);

// --- Keys of the application hook ---------------------------------------------------------------------

enum TAppKey : uint8_t { akOther, akEnter, akF3, akFunction };

struct TAppKeyState {
  TAppKey Key = akOther;
  int32_t FunctionNumber = 0;  // 1..12 for akFunction (F3 also comes as akF3)
  bool Ctrl = false, Alt = false, Shift = false;
  bool MainWindowActive = false;
  bool FocusOnButton = false;
  bool ResultsFocused = false;       // the results list has the focus
  bool RowFocused = false;           // it has a focused row
  bool FocusedRowInArchive = false;  // that row is an archive item
  int32_t LanguageCount = 0;
};

enum TAppKeyActionKind : uint8_t {
  kaNotHandled,      // the key goes on to the focused control
  kaSelectLanguage,  // Language holds the language index
  kaStartSearch,
  kaShowProperties,  // the focused row's file properties
  kaHelp,            // F1: the help
  kaSwallow,         // handled, nothing to do
};

struct TAppKeyAction {
  TAppKeyActionKind Kind = kaNotHandled;
  int32_t Language = -1;
};

TAppKeyAction DecideAppKey(const TAppKeyState& S);

// --- Enabling rules -----------------------------------------------------------------------------------

// What the rules read from the window.
struct TMainState {
  bool Busy = false;
  bool RowFocused = false;
  bool TableEmpty = true;
  bool ConvertersLoaded = false;  // at least one converter plug-in is loaded
  bool SearchInResults = false;   // "Search in results" ticked
  bool DirectScan = false;
  bool DateFilter = false;      // the date box
  bool SizeFilter = false;      // the size box
  bool PreviewPending = false;  // a preview waits for the converters
};

// What they decide.
struct TMainEnables {
  bool Actions[kMainActionCount] = {};
  bool SearchControls = false;  // pattern, exact, fuzzy, logic, the Options and Mode groups, case, whole
                                // words, direct scan, skip non-text files
  bool SearchInResults = false;
  bool Charsets = false;  // ANSI, OEM, Unicode
  bool Inputs = false;    // sub-folders, files, archives, paths, Browse, masks, Select, filter,
                          // date and size boxes
  bool DateEdits = false;
  bool SizeEdits = false;      // both edits and the units box
  bool ConvertToText = false;  // "Co&nvert to text (slower)"
  bool Filters = false;        // "Fi&lters..."
  bool UntickConvert = false;  // no converter loaded: the convert box is unticked
};

TMainEnables ComputeMainEnables(const TMainState& S);

// Both off makes Files on.
void SetFilesArchives(bool& Files, bool& Archives);
// A click on the plain-files box (ClickedFiles) or the archives box: when both end up off, the other box
// is switched on.
void ClickFilesArchives(bool ClickedFiles, bool& Files, bool& Archives);
// Direct scan switched off while convert is off switches convert on.
void DirectScanClicked(bool DirectScan, bool& ConvertToText);
// Convert switched off while direct scan is off switches direct scan on.
void ConvToTextClicked(bool ConvertToText, bool& DirectScan);

// --- Toolbar ------------------------------------------------------------------------------------------

struct TToolButtonPlan {
  int32_t Tag = 0;  // the action index
  int32_t Image = 0;
  bool CheckStyle = false;  // Pause, Files and Archives
  bool Down = false;
};

struct TToolbarPlan {
  bool Visible = false;
  std::vector<TToolButtonPlan> Buttons;
  int32_t StartButton = -1;  // index in Buttons of the Start button; -1 when none
};

// The image of a check-style button: its pressed image when down (not in low-colour mode), else its tag.
int32_t ToolButtonImage(int32_t Tag, bool Down, bool LowColor);
// One button per entry of the configured list; entries that name no action are left out.
TToolbarPlan PlanToolbar(const TInt8Vector& Buttons, bool Paused, bool Files, bool Archives, bool LowColor);

// --- Busy animation -----------------------------------------------------------------------------------

enum TAnimationPlace : uint8_t { apNone = 0, apStartButton = 1, apStatusBar = 2 };

// The busy animation: where it shows (over the Start button or in the status bar) and whether it plays.
class TBusyAnimation {
 public:
  // Mode: 0 over the Start button, 1 in the status bar, 2 none.
  explicit TBusyAnimation(uint8_t Mode = 0) : Mode(Mode) {}

  // Inputs the place depends on; set before the calls below.
  bool Paused = false;
  bool HasStartButton = false;

  // Requests the animation shown or hidden; answers the previous request.
  bool ShowBusyAnimation(bool Show);
  // Requests it playing or still; answers the previous request.
  bool SetAnimationActive(bool Run);
  // A new mode: hidden, then shown as before (or shown when paused and the new mode is 1).
  void SetAnimationMode(uint8_t NewMode);

  TAnimationPlace Place() const { return CurrentPlace_; }
  // The place's control plays.
  bool Playing() const { return CurrentPlace_ != apNone && Running && Shown; }
  bool Shown = false;
  bool Running = false;
  uint8_t Mode;

 private:
  TAnimationPlace WantedPlace(bool Show) const;
  TAnimationPlace CurrentPlace_ = apNone;
};

// --- Small rules --------------------------------------------------------------------------------------

// The Start item of the Search menu: a tab and "F3" unless the caption holds a tab already.
std::u16string SearchMenuStartCaption(const std::u16string& Caption);
// The text an empty box gets from a history list when the window first shows: JoinQuotedList of List
// when the box is empty and List is not; otherwise BoxText.
std::u16string FillFromHistoryText(const std::u16string& BoxText, const TWideStrLst& List);
// Help is asked only when neither Ctrl nor Alt is held (those select languages).
inline bool HelpKeysAllowed(bool Ctrl, bool Alt) { return !Ctrl && !Alt; }
// The help document to open: ProgramDir + the language's HelpFile text when that file exists, else the
// English one. When neither exists, the missing file is reported through Warn (HelpNotFound_s) once after
// start-up or a language change (HelpChecked false), and the English name is answered.
std::u16string ChooseHelpFile(bool& HelpChecked, const std::u16string& ProgramDir,
                              const std::function<bool(const std::u16string&)>& Exists,
                              const std::function<void(const std::u16string&)>& Warn);
