// The decisions of the options window's pages and of the converter filters dialog, without widgets: the
// size fields and their limits, the archive page's mapping to the settings, the excluded-folders list,
// the ordering of the toolbar's buttons, and the converters switched off. The window layer (app/ui/
// PreferencesForm, ArchiveOptionsFrame, CustomizeToolbarForm, EditFiltersForm) shows them.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/BoolVector.h"
#include "core/NumVector.h"
#include "search/FileScan.h"

class TMultiLang;
class TQVConverters;
class TStrLst;
class TWideStrLst;
struct TSettings;

// The trimmed text as a decimal number, clamped to Min..Max; Default when it is not a number.
int32_t ParseSizeMb(const std::u16string& Text, int32_t Default, int32_t Min, int32_t Max);

// Limits of the size fields, in megabytes, and the value of a field that holds no number.
// The defaults are the scanner's (search/FileScan.h), the one place they are written.
constexpr int32_t kBytesPerMb = 1048576;
constexpr int32_t kMaxScanSizeMb = 2047;  // "Skip files larger than"
constexpr int32_t kDefaultScanSizeMb = TFileScanner::kDefaultMaxScanSize / kBytesPerMb;
constexpr int32_t kMaxArchiveSizeMb = 2047;  // "Skip archives larger than"
constexpr int32_t kDefaultArchiveSizeMb = TFileScanner::kDefaultMaxArchiveSize / kBytesPerMb;
constexpr int32_t kMaxConvertSizeMb = 1024;  // "Don't convert files larger than"
constexpr int32_t kDefaultConvertSizeMb = TFileScanner::kDefaultMaxConvertSize / kBytesPerMb;

// --- Archive page -------------------------------------------------------------------------------------

int32_t ClampMaxSizeMb(int32_t Value);

// The three states of "S&kip password-protected archives". Grayed is shown only: it says that only
// stored passwords are tried, and a click never leads back to it.
enum TCheckState : uint8_t { csUnchecked, csChecked, csGrayed };

// The "Archives" page's content.
struct TArchivePageValues {
  std::vector<std::u16string> Captions;  // the decoded kinds, 1 to kLastDecodedKind
  std::vector<bool> Checked;
  bool ProcessSubArchives = false;
  TCheckState SkipEncrypted = csUnchecked;
  std::u16string MaxSize;  // megabytes, as the edit holds them
};

// The row captions: kind 1 is the language's SelfExtractedEXE text when the current language has one;
// every other caption is the kind's name in ArcInfos. Languages may be null.
std::vector<std::u16string> ArchiveListCaptions(const TMultiLang* Languages);

// The archive page over a settings object, which must outlive the page.
class TArchiveOptionsPage {
 public:
  explicit TArchiveOptionsPage(TSettings& Settings) : Settings_(Settings) {}
  // Fills Values from the settings and ArcInfos; PasswordAskMode 1 shows the skip box grayed.
  void LoadPage(const TMultiLang* Languages, int32_t PasswordAskMode, TArchivePageValues& Values);
  // Writes Values back: the kinds' flags, sub-archives, the size; the skip box only when its state
  // differs from the one shown, and then PasswordAskMode becomes 0.
  void SavePage(const TArchivePageValues& Values, int32_t& PasswordAskMode) const;
  // "&Enable all" (true) and "D&isable all" (false).
  static void CheckAll(TArchivePageValues& Values, bool Checked);
  static int32_t GetMaxSizeMb(const std::u16string& Text);
  // The state after a click on the skip box: ticked and unticked alternate; grayed becomes ticked.
  static TCheckState ClickSkipBox(TCheckState State);

 private:
  TSettings& Settings_;
  TCheckState ShownSkipState_ = csUnchecked;
};

// --- System page --------------------------------------------------------------------------------------

// Adds Folder (given a trailing "/") to the sorted excluded-folders list unless it is there; answers
// its index either way.
int32_t AddExcludedDir(TWideStrLst& Dirs, const std::u16string& Folder);
// Removes the entries at the given indexes (any order), last first.
void DeleteExcludedDirs(TWideStrLst& Dirs, std::vector<int32_t> Indexes);

// --- Toolbar buttons ----------------------------------------------------------------------------------

// The configured toolbar (the ToolbarButtons setting) as the customising dialog edits it.
class TToolbarButtonList {
 public:
  explicit TToolbarButtonList(TInt8Vector& Buttons) : Buttons_(Buttons) {}

  // The visible actions, in button order, and the others in action order.
  std::vector<int32_t> Visible() const;
  std::vector<int32_t> Available() const;
  // Inserts the actions at visible index Index (clamped; -1: the end) in their order, skipping any
  // already visible; answers the index of the first inserted one (-1 when none was).
  int32_t Add(const std::vector<int32_t>& Actions, int32_t Index);
  // Removes the actions from the visible ones.
  void Remove(const std::vector<int32_t>& Actions);
  bool CanMoveUp(const std::vector<int32_t>& SelectedRows) const;
  bool CanMoveDown(const std::vector<int32_t>& SelectedRows) const;
  // Swaps the row with its neighbour; answers its new row (Row itself when it cannot move).
  int32_t MoveUp(int32_t Row);
  int32_t MoveDown(int32_t Row);
  // Moves the button at row From to the place of the button at row To, where the target stood before the
  // move; answers the new row.
  int32_t MoveOnto(int32_t From, int32_t To);
  // All eleven actions in order.
  void Defaults();

 private:
  TInt8Vector& Buttons_;
};

// --- Converter filters --------------------------------------------------------------------------------

// The disabled flags of the loaded converters while the filters dialog runs.
class TConverterFilters {
 public:
  // One flag per converter of the list, from its Disabled flag.
  void Load(const TQVConverters& Converters);
  int32_t Count() const { return Disabled_.GetCount(); }
  bool IsDisabled(int32_t Index) const { return Disabled_.Get(Index); }
  // A root node's box: checked means enabled.
  void SetChecked(int32_t Index, bool Checked) { Disabled_.Put(Index, !Checked); }
  void SetAll(bool IsDisabled) { Disabled_.SetToValue(IsDisabled); }
  // OK: MaxConvertSize of Settings from the size text; each converter's Disabled flag from the vector;
  // the DisabledConverters setting lists the file names (without folder) of the disabled ones.
  void Apply(TQVConverters& Converters, const std::u16string& MaxSizeText, TSettings& Settings) const;

 private:
  TBoolVector Disabled_;
};

// The size the filters dialog shows: MaxConvertSize in megabytes, clamped to 1..1024.
int32_t ConvertSizeMbOfSetting(int32_t MaxConvertSize);
// The text a converter's root node shows in its first column: the library's file name without folder.
std::string ConverterModuleName(const std::string& FileName);
