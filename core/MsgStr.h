// The message catalogue: every text that code (rather than a window's designed controls) shows, by
// index, each with a key and an English default. Interface-language files translate entries by key in
// their string section without a name ("[$]"); a language that lacks a key shows the English default.
//
// Key suffixes tell the format arguments a text takes: "_s" a string, "_ss" two strings, "_d" a number,
// "_sd" a string and a number, "_dd" two numbers. A translation is outside input: one whose directives do
// not fit its key's arguments (a "%d" where a string comes, a second "%s" with one argument) is not used,
// and the default text stands in for it, so formatting a catalogue text with its key's arguments never
// fails.
//
// The catalogue depends on nothing above core/: a language's translations come in through the small
// IMsgTranslations interface (the program's language object implements it). Until the main window hands
// its language object over (SetMsgLanguages), every lookup gives the default text. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "core/WideFormat.h"

// Translated texts by catalogue key.
class IMsgTranslations {
 public:
  virtual ~IMsgTranslations() = default;
  // The translation of Key in the current language; false when there is none.
  virtual bool GetString(const std::string& Key, std::u16string& Value) const = 0;
};

enum class TMsgIndex : uint8_t {
  OK = 0,
  Cancel = 1,
  Yes = 2,
  No = 3,
  BtnHelp = 4,
  Warning = 5,
  Error = 6,
  Information = 7,
  Confirmation = 8,
  DontShowAgain = 9,
  OrLogic = 10,
  AndLogic = 11,
  EntirePhrase = 12,
  SavePaths = 13,
  SaveSelectedPathsAs = 14,
  AskDeleteSavedPaths_s = 15,
  SaveFileTypes = 16,
  SaveSelectedTypesAs = 17,
  AskDeleteSavedTypes_s = 18,
  AskSearchIfEmptyPattern = 19,
  AskStopOperation = 20,
  ConvAllDisabled = 21,
  ConvCantLoad_ss = 22,
  ConvInvalid_s = 23,
  ConvLoaded_s = 24,
  ConvNotFoundIn_s = 25,
  Converting_s = 26,
  ConvertedBy_s = 27,
  Disabled = 28,
  EnterPwdForItemFrom_ss = 29,
  ErrLoadOpt_s = 30,
  ErrLoadConv_s = 31,
  ErrOpenArc = 32,
  ErrOpenFile = 33,
  ErrScanFile = 34,
  ErrSearchIn = 35,
  WarnSearchIn_s = 36,
  FileNotFound_s = 37,
  AccessDenied_s = 38,
  FileChanged_s = 39,
  ExecuteError_s = 40,
  Exception = 41,
  ExtractItemAs_s = 42,
  DirExcluded_s = 43,
  FileIsEmpty_s = 44,
  FileNotText_s = 45,
  FileTooLarge_s = 46,
  FileTooLargeForConv_sd = 47,
  FileConvError_s = 48,
  SelfExtractedEXE = 49,
  ArcUnsupported_s = 50,
  ArcDisabled_s = 51,
  SubArcDisabled_s = 52,
  ArcTooLarge_sd = 53,
  ArcAllDisabled = 54,
  OpenFolderContainingItem = 55,
  PathNotExists_s = 56,
  SelectExcludeDir = 57,
  SrchFin = 58,
  SrchNoSupArcFound = 59,
  SrchPathIsEmpty = 60,
  SrchPatNotFound = 61,
  SrchPatTooLong = 62,
  SrchStat_dd = 63,
  SrchStart = 64,
  SrchStrNotFound_s = 65,
  AskDelInvMasks_s = 66,
  AskDelInvPaths_s = 67,
  UserInterrupt = 68,
  Wait = 69,
  Printing = 70,
  EscapeCancel = 71,
  AskMaskMatchesAnyFile = 72,
  AskNoFileTypes = 73,
  EnterMask = 74,
  EnterNewFileMask = 75,
  EditMask = 76,
  EditFileMask = 77,
  OptionsInterface = 78,
  OptionsToolbar = 79,
  OptionsSystem = 80,
  OptionsArchives = 81,
  SearchStart = 82,
  SearchStop = 83,
  SearchPause = 84,
  SearchFiles = 85,
  SearchArchives = 86,
  ShowLog = 87,
  Preview = 88,
  Print = 89,
  Options = 90,
  Help = 91,
  Exit = 92,
  SearchStartHint = 93,
  SearchStopHint = 94,
  SearchPauseHint = 95,
  SearchFilesHint = 96,
  SearchArchivesHint = 97,
  ShowLogHint = 98,
  PreviewHint = 99,
  PrintHint = 100,
  OptionsHint = 101,
  HelpHint = 102,
  ExitHint = 103,
  HelpFile = 104,
  HelpNotFound_s = 105,
  // 106 and 107 are not used.
  Contact = 108,
  NoOpenHandler_s = 109,
  SettingsNotSaved_ss = 110,
  NoDesktopOpener_s = 111,
  NoPasswordGiven = 112,
  StoredPasswordDidNotFit_ss = 113,
  TypedPasswordDidNotFit_ss = 114,
  ExtractionCancelled_s = 115,
  ProtectedSkipped = 116,
};

// The highest index of the table.
constexpr int32_t kLastMsgIndex = 116;

struct TMsgEntry {
  const char* Key;      // null for an index that is not used
  const char* Default;  // UTF-8; empty when the entry has no default text
};

// The catalogue, indexed by TMsgIndex.
extern const TMsgEntry MsgTable[kLastMsgIndex + 1];

// The key and the default text of an entry.
const char* MsgKey(TMsgIndex Index);
const char* MsgDefault(TMsgIndex Index);

// The language object whose current language translates the catalogue; null (the start) gives the
// default texts. Set by the main window when it has made the object, reset before it frees it.
void SetMsgLanguages(const IMsgTranslations* Languages);

// The text of an entry in the current language: the language's translation when it has a usable one,
// else the default text. GetMsg gives it as UTF-8.
std::u16string GetMsgW(TMsgIndex Index);
std::string GetMsg(TMsgIndex Index);

// The text of an entry filled with Args (WideFormat); Args must fit the key's suffix.
std::u16string FormatMsgW(TMsgIndex Index, const TFormatArgs& Args);
std::string FormatMsg(TMsgIndex Index, const TFormatArgs& Args);
