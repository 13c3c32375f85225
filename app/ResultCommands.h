// What the user can do with one found file, without widgets: preview it (deferred while a conversion
// runs), the plan of the row's pop-up menu, the folders the "open folder" commands show, extracting an
// archive item to a file, handing a file to the companion summarizer program, and the captions of the
// View menu's list of open previews. The window layer (app/ui/MainActions) shows the menus and dialogs.
//
// Result names: a plain file's name is its path; an archive item's name is the archive's path, "|" and
// the item's path (TFoundFileInfo::InArchive tells which).
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/ArcIntf.h"
#include "core/WinUtils.h"
#include "search/FileScan.h"

class TQVConverter;
class TQVConverters;

// --- Preview ------------------------------------------------------------------------------------------

// A preview asked for while the converters were busy waits here and opens, once, when they turn idle.
class TPendingPreview {
 public:
  enum TRequest : uint8_t { prIgnored, prDeferred, prOpenNow };
  // The Preview command on the focused row (RowFocused false: nothing to preview). While a preview is
  // pending a new request is ignored.
  TRequest Request(bool RowFocused, const TFoundFileInfo& Info, bool ConvertersBusy);
  // The converters' busy state changed; true, with Info, when the pending preview is to open now.
  bool BusyChanged(bool Busy, TFoundFileInfo& Info);

  bool PreviewPending = false;
  TFoundFileInfo PendingPreviewInfo;
};

// Whether the preview converts the file to text: with an empty pattern, the convert-to-text box;
// otherwise exactly for a name hit found by a search that converted files (content hits carry their
// converter in Info).
bool PreviewConvert(bool PatternEmpty, bool ConvertBox, const TFoundFileInfo& Info, TScanModes TableMode);

// --- Names and folders --------------------------------------------------------------------------------

// A plain file's folder (without trailing "/") and name.
void SplitResultName(const std::u16string& Name, std::u16string& Folder, std::u16string& FileName);
// The archive an item lies in: the name up to its last "|".
std::u16string ItemArchiveName(const std::u16string& Name);
// The item's own name: the text after the last "|" and its last "/".
std::u16string ItemFileName(const std::u16string& Name);
// The folder of the outermost archive of an item path ("/a/b.zip|x/y.txt" gives "/a").
std::u16string OuterArchiveFolder(const std::u16string& Name);
// The folder the "open containing folder" command shows for a result.
std::u16string ContainingFolder(const TFoundFileInfo& Info);
// The result's own file name: for an archive item with its path in parts, the last part after its last
// "/" (a "|" in it is part of the name); else ItemFileName of its path.
std::u16string ResultFileName(const TFoundFileInfo& Info);

// --- Properties of a found file ---------------------------------------------------------------------------

// What the file system knows of a file (the properties window of Alt+Enter).
struct TFileProperties {
  std::u16string Name, Folder;                        // the file's name and its folder
  int64_t Size = 0;                                   // bytes
  TDateTime Modified = 0, Created = 0, Accessed = 0;  // local; Created is the birth time, else Modified
  std::string Owner, Group;  // names, or the numbers when the system has no name for them
  uint32_t Mode = 0;         // the permission bits (and set-id and sticky bits)
  bool IsFolder = false;
  bool IsLink = false;  // the path names a symbolic link (the rest describes what it leads to)
  std::u16string LinkTarget;
};

// Reads the properties of Path; false, with Error the system's text, when it cannot be read.
bool ReadFileProperties(const std::u16string& Path, TFileProperties& Properties, std::string& Error);
// The permission bits as "rwxr-x---" (with s, S, t and T for the special bits) and their octal number:
// "rw-r--r-- (0644)".
std::string PermissionsText(uint32_t Mode);

// --- Row pop-up menu ----------------------------------------------------------------------------------

// Ids of the menu entries.
enum TResultMenuId : int32_t {
  rmNone = 0,
  rmPreview = 1,
  rmSummarizer = 2,
  rmOpenFolder = 3,
  rmExtract = 4,  // archive items only
  rmOpen = 7,     // the first of the file's own entries: open with the desktop's default program
  rmCopyPath = 8,
};

struct TResultMenuItem {
  int32_t Id = rmNone;  // rmNone: a separator
  std::u16string Caption;
};

// The entries of a row's menu. Archive items: Preview, the summarizer (when found), "E&xtract to...", a
// separator and the open-folder entry. Plain files: Preview, the summarizer (when found), a separator,
// the open-folder entry, a separator and the file's own entries (open, copy path).
std::vector<TResultMenuItem> PlanResultMenu(const TFoundFileInfo& Info, const std::u16string& PreviewCaption,
                                            bool SummarizerFound);

// --- Archive items ------------------------------------------------------------------------------------

// The title of the save dialog that asks where an item goes (message ExtractItemAs_s with its name).
std::u16string ExtractDialogTitle(const TFoundFileInfo& Info);
// Extracts the item Info names to DestFile with the item's file time; PasswordCallback answers password
// questions. Raises the archive layer's errors (EArcError ...).
void ExtractResultItem(const TFoundFileInfo& Info, const std::string& DestFile,
                       const TArcPasswordEvent& PasswordCallback);

// --- Companion summarizer -----------------------------------------------------------------------------

// The registry key (machine root) and value naming the companion summarizer's folder, and its file name.
inline constexpr char kSummarizerRegKey[] = "Software\\Quorvane\\QVSynopta";
inline constexpr char kSummarizerExecValue[] = "Exec";
inline constexpr char kSummarizerFileName[] = "QVSynopta";
// The most bytes of the "Exec" value read.
constexpr size_t kMaxSummarizerExecBytes = 261;

// Path := the folder of the "Exec" value + kSummarizerFileName; true when that file exists. A missing
// or empty value answers false.
bool FindSummarizer(std::string& Path);

// The summarizer's arguments: "/UNICODE=" before the name when the text is UTF-16, and
// "/DELETEINPUTFILE" after it when the file is a temporary one the summarizer is to delete.
std::vector<std::string> SummarizerArguments(const std::string& Name, bool Unicode, bool DeleteInput);

// What LaunchSummarizer needs from the program; tests give their own.
struct TSummarizerEnv {
  // The archive item Path into DestFile; raises on failure.
  std::function<void(const std::string& Path, const std::string& DestFile)> ExtractItem;
  // One conversion: the text of File from Converter (null: the converter list), asked for in UTF-16 when
  // Unicode is set. Text receives the bytes, IsUnicode (preset to Unicode) their form; ErrorText the
  // reason when no text came.
  struct TConversion {
    TQVConverter* Converter = nullptr;
    const std::string& File;
    bool Unicode = false;
    std::string Text;
    bool IsUnicode = false;
    std::string ErrorText;
  };
  // False when no text came.
  std::function<bool(TConversion& Conversion)> Convert;
  // Starts Program with Args; false when it could not be started.
  std::function<bool(const std::string& Program, const std::vector<std::string>& Args)> Start;
  // Shows an error message.
  std::function<void(const std::u16string& Message)> ShowError;
};

// Hands the file of Info to the summarizer at SummarizerPath. An archive item is extracted to a
// temporary file ("QV..."), a file to convert (Info has a converter, or the pattern is empty and the
// convert box is on) goes through its converter into a temporary text file, and the summarizer is told
// to delete that file. Every temporary file is deleted on every path except a successful start. Errors
// are shown through Env.ShowError; answers whether the summarizer was started.
bool LaunchSummarizer(const std::string& SummarizerPath, const TFoundFileInfo& Info, bool PatternEmpty,
                      bool ConvertBox, const TSummarizerEnv& Env);
// A Convert for TSummarizerEnv over the program's converter list.
bool ConvertForSummarizer(TQVConverters& Converters, TQVConverter* Converter, const std::string& File,
                          bool Unicode, std::string& Text, bool& IsUnicode, std::string& ErrorText);

// --- View menu of preview windows ---------------------------------------------------------------------

// The longest name a preview entry shows.
constexpr int32_t kPreviewMenuNameLength = 80;
// A new entry's caption: " " + the name shortened to 80 characters at "/" and "|", with "&" doubled.
std::u16string PreviewMenuCaption(const std::u16string& Name);
// Numbers the entries (newest first): "0" to "9", then "A" to "Z", then a blank for the 37th and later,
// then a blank and the caption's text after its first blank, trimmed.
void RenumberPreviewCaptions(std::vector<std::u16string>& Captions);
