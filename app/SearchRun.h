// The window side of one search: the checks before a search in the order the user meets their messages,
// the transfer of the search panel's fields into the stream and file scanners, the handlers of every
// scanner event (progress, found, duplicate filter, excluded folders, date and size filter, errors,
// archive passwords), the log and status lines of a search, Stop and Pause, and the search within the
// current results.
//
// The search runs synchronously on the main thread inside RunSearch; the window stays responsive because
// every scanner callback lets the host process pending events. The host (the main window, or a test)
// supplies the event pump, the focus, the status line, the list refresh and the password question.
//
// Settings: the run reads the limits, the sub-archive and password flags and the excluded folders from
// the settings object it is given, and stores "skip protected archives" there when the user asks for it.
//
// Ownership: the run owns the result table; the scanner, the settings, the converters and the archive walk
// are the owner's and outlive the run. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/StrLst.h"
#include "core/WinUtils.h"
#include "search/FileScan.h"
#include "search/SrchRes.h"
#include "search/StrmScan.h"

class TQVConverters;
struct TSettings;

// The longest pattern a search takes: the stream scanner's limit.
constexpr int32_t kMaxPatternLength = kMaxScanPatternLength;
// The most archive passwords remembered.
constexpr int32_t kMaxRecentPasswords = 10;
// The least time between two refreshes of the list's row count, and between two event pumps of a
// converter's progress, in milliseconds.
constexpr uint32_t kRefreshInterval = 100;
// Don't-show-again bits of the two search questions.
constexpr int32_t kEmptyPatternBit = 0;
constexpr int32_t kAllFilesMaskBit = 1;

// The search panel's boxes as a search reads and corrects them.
struct TSearchFields {
  std::u16string Pattern, Paths, Masks;
  bool Fuzzy = false, CaseSensitive = false, WholeWords = false;
  int32_t LogicIndex = 0;  // 0 "Any word (OR)", 1 "All words (AND)", 2 "Entire phrase"
  bool DirectScan = true, ConvertToText = false, Ansi = true, Oem = false, Unicode = false;
  bool SkipBinary = false, Subdirectories = true, PlainFiles = true, Archives = true;
  bool InResults = false;
  bool FilterOn = false, DateFilterOn = false, SizeFilterOn = false;
  TDateTime DateFrom = 0, DateTo = 0;  // 0: open
  std::u16string SizeFromText, SizeToText;
  int32_t SizeUnits = 0;
  // The search dialog (the dialog interface style) checked the paths, the masks and an empty pattern.
  bool CheckedByDialog = false;
};

// The box a failed check gives the focus to.
enum TSearchBox : uint8_t { sbNone, sbPattern, sbPaths, sbMasks };

// Answers of the password question.
struct TPasswordAnswer {
  bool Ok = false;
  std::string Password;
  uint8_t AskMode = 0;  // 0 ask next time, 1 only try stored passwords, 2 never ask
};

// What the search needs from its window.
class ISearchHost {
 public:
  virtual ~ISearchHost() = default;
  // Processes pending events (the window stays responsive during a search).
  virtual void ProcessMessages() = 0;
  // Waits for and processes events until Done answers true (the pause).
  virtual void WaitUntil(const std::function<bool()>& Done) = 0;
  // Milliseconds of a steady clock.
  virtual uint32_t TickCount() = 0;
  // The list's row count := the table's count (the table may be a new one).
  virtual void RefreshRowCount() = 0;
  // A new hit arrived or the table was cleared: the list's sort mark goes.
  virtual void ClearSortMark() = 0;
  virtual void SetStatusText(const std::u16string& Text, bool AddPeriod) = 0;
  // A status text made from the message catalogue: Make answers it in the current language, and a
  // window that can change its language asks again after a change.
  virtual void SetStatusMessage(const std::function<std::u16string()>& Make, bool AddPeriod) {
    SetStatusText(Make(), AddPeriod);
  }
  virtual void FocusBox(TSearchBox Box) = 0;
  // The boxes show the corrected fields (paths and masks cleaned, boxes switched on).
  virtual void ShowFields(const TSearchFields& Fields) = 0;
  // Busy or Paused changed: controls, animation and cursor follow.
  virtual void StateChanged() = 0;
  // Saves the settings and the histories (at every search start).
  virtual void SaveSettings() = 0;
  // Logs the user interrupt line after the current event (posted).
  virtual void PostUserInterrupt() = 0;
  virtual TPasswordAnswer AskPassword(const std::string& ItemName, const std::string& ArcName) = 0;
};

class TSearchRun {
 public:
  TSearchRun(TFileScanner& Scanner, ISearchHost& Host, TSettings& Settings);
  TSearchRun(const TSearchRun&) = delete;
  TSearchRun& operator=(const TSearchRun&) = delete;

  // Binds the scanner's events (and the converters' progress) to the handlers below.
  void BindScanner();

  // The Start command: resumes a paused search; nothing while busy; else RunSearch.
  void SearchStartExec(TSearchFields& Fields);
  // The checks, the set-up and the search. Fields are corrected as the boxes are.
  void RunSearch(TSearchFields& Fields);
  void SearchStopExec();
  // Toggles the pause; entering it waits (processing events) until resumed or stopped.
  void SearchPauseExec();
  // Escape during a search: asks, and stops on Yes.
  void AskStop();
  // The user interrupt line ("<<< " + message + date and time).
  static std::string UserInterruptLine(TDateTime Now);

  // ---- The scanner's handlers ----
  bool ScanProgress(int32_t Position);
  bool FileScanProgress(const std::u16string& Name, TScanProgressKind Kind);
  bool ConverterProgress();
  bool FileScanAcceptFile(const std::u16string& FileName);
  bool FileScanEnterFolder(const std::u16string& Folder);
  bool FileScanFilterFile(const std::u16string& FileName, bool SizeIncomplete, TDateTime Date, int64_t Size);
  // The date and size filter of the running search's bounds below.
  TDateSizeFilter DateSizeFilter() const;
  void FileScanFound(const TFoundFileInfo& Info);
  void FileScanError(const std::u16string& Name, const std::string& Text, int32_t OSCode,
                     TScanErrorKind Kind);
  bool FileScanPassword(const std::string& ArcFileName, const std::string& ArcName, std::string& Password,
                        const std::string& ItemName);
  // An extraction outside the walk (preview, "Extract to...") begins: its password questions, answered by
  // ExtractionPassword, offer the stored passwords again from the newest.
  void BeginExtraction();
  // The password question of an extraction outside the walk, for an item of the archive ArcName: the stored
  // passwords, then the question. False: no password (the question cancelled, or switched off).
  bool ExtractionPassword(const std::string& ArcName, std::string& Password, const std::string& ItemName);
  // Whether the extraction begun last ended its password questions without a password: its failure is
  // then a cancel, not a wrong password.
  bool ExtractionRefused() const { return ExtractionRefused_; }
  // The row count refresh: skipped when not Forced and less than kRefreshInterval passed.
  void RefreshCount(bool Forced);
  // Clears the table and the list.
  void ClearResults();

  TSearchResults& Results() { return *Results_; }
  TFileScanner& Scanner;
  TQVConverters* Converters = nullptr;

  // Run state.
  bool Busy = false;
  bool StopRequested = false;
  bool Paused = false;
  bool DebugMode = false;
  bool TimeMode = false;
  // Filters of the running search.
  bool UseDateFilter = false, UseSizeFilter = false;
  TDateTime DateFrom = 0, DateTo = 0;
  int64_t SizeFrom = -1, SizeTo = -1;
  int32_t FoundCount = 0;
  uint32_t LastPumpTick = 0, LastRefreshTick = 0;
  bool InterruptLogged = false, ErrorsLogged = false, ProgressShown = false;
  // Archive passwords, newest first.
  TCaseSensStrLst RecentPasswords;
  int32_t PasswordTries = 0;
  std::string LastPasswordKey;
  uint8_t PasswordAskMode = 0;

 private:
  // The checks of RunSearch; false ends the run. Pattern receives the pattern to search.
  bool CheckFields(TSearchFields& Fields, std::u16string& Pattern, bool& Convert);
  // Sets up both scanners and the table's recorded options from Fields.
  void SetUpScanners(TSearchFields& Fields, const std::u16string& Pattern, bool Convert);

  // FileScanPassword without the note of a refusal. Stored: the password came from RecentPasswords, not
  // from the question.
  bool OfferPassword(const std::string& ArcFileName, const std::string& ArcName, std::string& Password,
                     const std::string& ItemName, bool& Stored);

  ISearchHost& Host_;
  TSettings& Settings_;
  // The archive whose last password question got no password (cancelled, skipped, none stored left).
  std::string PasswordRefusedArchive_;
  // Why its last question got none: the skip-protected option (true) or the question's answer.
  bool PasswordQuestionOff_ = false;
  // The password questions of the items of a search, by archive and item. An archive asks again for an
  // item whose password did not fit, and when its walk ends it reports the item once as having an invalid
  // password, also when a later password opened it; the questions tell which it was.
  struct TPasswordTrial {
    int32_t Questions = 0;
    bool LastGiven = false;     // the last question gave a password (and, asked no more, it opened the item)
    bool LastStored = false;    // ... a stored one
    bool StoredMisfit = false;  // a stored password given before it did not fit
    bool QuestionOff = false;   // no password: the skip-protected option
  };
  std::map<std::string, std::map<std::string, TPasswordTrial>> PasswordTrials_;
  // The extraction begun last had a password question that gave none.
  bool ExtractionRefused_ = false;
  std::unique_ptr<TSearchResults> Results_;
};

// The log line of a scanner error (empty when the kind logs nothing); see FileScanError.
// The size limits in the lines come from Settings.
std::string ScanErrorLine(const std::u16string& Name, const std::string& Text, int32_t OSCode,
                          TScanErrorKind Kind, bool DebugMode, const TSettings& Settings);
// The logic of the logic box's index: 0 any word, 1 all words, else the entire phrase.
TSearchLogic LogicOfIndex(int32_t Index);
// The date and time of now as a TDateTime (local time).
TDateTime NowDateTime();
