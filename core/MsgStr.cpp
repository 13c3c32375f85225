#include "core/MsgStr.h"

#include "core/FileLayer.h"

const TMsgEntry MsgTable[kLastMsgIndex + 1] = {
    {"OK", "OK"},
    {"Cancel", "Cancel"},
    {"Yes", "&Yes"},
    {"No", "&No"},
    {"BtnHelp", "&Help"},
    {"Warning", "Warning"},
    {"Error", "Error"},
    {"Information", "Information"},
    {"Confirmation", "Confirm"},
    {"DontShowAgain", "&Don't show this message again"},
    {"OrLogic", "Any word (OR)"},
    {"AndLogic", "All words (AND)"},
    {"EntirePhrase", "Entire phrase"},
    {"SavePaths", "Save Paths"},
    {"SaveSelectedPathsAs", "Save selected paths as:"},
    {"AskDeleteSavedPaths_s", "Delete saved paths \"%s\"?"},
    {"SaveFileTypes", "Save File Types"},
    {"SaveSelectedTypesAs", "Save selected file types as:"},
    {"AskDeleteSavedTypes_s", "Delete saved file types \"%s\"?"},
    {"AskSearchIfEmptyPattern", "Search pattern is empty. Continue search anyway?"},
    {"AskStopOperation", "Stop operation?"},
    {"ConvAllDisabled", "All converters are disabled"},
    {"ConvCantLoad_ss", "Can't load converter \"%s\". %s"},
    {"ConvInvalid_s", "Invalid converter \"%s\""},
    {"ConvLoaded_s", "Converter \"%s\" loaded successfully"},
    {"ConvNotFoundIn_s", "No converters found in \"%s\""},
    {"Converting_s", "Converting \"%s\"..."},
    {"ConvertedBy_s", "converted by \"%s\""},
    {"Disabled", "Disabled"},
    {"EnterPwdForItemFrom_ss", "Enter password for \"%s\" from \"%s\""},
    {"ErrLoadOpt_s", "Error loading options: %s"},
    {"ErrLoadConv_s", "Error loading converters: %s"},
    {"ErrOpenArc", "Error opening archive file"},
    {"ErrOpenFile", "Error opening file"},
    {"ErrScanFile", "Error scanning file"},
    {"ErrSearchIn", "Error searching in"},
    {"WarnSearchIn_s", "Warning received when searching in \"%s\""},
    {"FileNotFound_s", "File \"%s\" not found. It was deleted or renamed probably"},
    {"AccessDenied_s", "Access denied. File \"%s\" is opened and locked by another application probably"},
    {"FileChanged_s", "File \"%s\" was changed after it was scanned by Scryline"},
    {"ExecuteError_s", "Can't start \"%s\""},
    {"Exception", "Exception caught"},
    {"ExtractItemAs_s", "Extract \"%s\" As"},
    {"DirExcluded_s", "Directory \"%s\" is excluded from search."},
    {"FileIsEmpty_s", "File \"%s\" is empty - skipped"},
    {"FileNotText_s", "File \"%s\" is not a text file probably - skipped"},
    {"FileTooLarge_s", "File \"%s\" is too large - skipped"},
    {"FileTooLargeForConv_sd", "File \"%s\" is too large for converting (max size is %d Mb) - skipped"},
    {"FileConvError_s", "Error converting file \"%s\""},
    {"SelfExtractedEXE", ""},
    {"ArcUnsupported_s", "Unsupported archive \"%s\" - skipped"},
    {"ArcDisabled_s", "Support for the archive format of \"%s\" is disabled - skipped"},
    {"SubArcDisabled_s", "Processing of subarchives is disabled - \"%s\" skipped"},
    {"ArcTooLarge_sd", "Archive \"%s\" is too large (max size is %d Mb) - skipped"},
    {"ArcAllDisabled", "All archives are disabled"},
    {"OpenFolderContainingItem", "Open a folder containing the selected item"},
    {"PathNotExists_s", "Directory or file \"%s\" doesn't exist"},
    {"SelectExcludeDir", "Select a directory to exclude it from search."},
    {"SrchFin", "Search finished"},
    {"SrchNoSupArcFound", "No supported archive(s) found"},
    {"SrchPathIsEmpty", "Search path is empty"},
    {"SrchPatNotFound", "Search pattern not found"},
    {"SrchPatTooLong", "Search pattern is too long"},
    {"SrchStat_dd", "Files scanned: %d. Files found: %d"},
    {"SrchStart", "Search started"},
    {"SrchStrNotFound_s", "Search string '%s' not found"},
    {"AskDelInvMasks_s", "File mask \"%s\" is invalid.\r\nDelete invalid masks?"},
    {"AskDelInvPaths_s", "File path \"%s\" is invalid.\r\nDelete invalid paths?"},
    {"UserInterrupt", "User interrupt"},
    {"Wait", "Wait..."},
    {"Printing", "Printing..."},
    {"EscapeCancel", "Press 'Escape' to cancel"},
    {"AskMaskMatchesAnyFile", "The mask you entered (*.*) matches any file. Accept anyway?"},
    {"AskNoFileTypes",
     "You did not define search file types or a mask \"*.*\" was used. Search process can go faster if you "
     "restrict which file types to accept during search"},
    {"EnterMask", "Enter Mask"},
    {"EnterNewFileMask", "Enter new file mask:"},
    {"EditMask", "Edit Mask"},
    {"EditFileMask", "Edit file mask:"},
    {"OptionsInterface", "User Interface"},
    {"OptionsToolbar", "Toolbar"},
    {"OptionsSystem", "System"},
    {"OptionsArchives", "Archives"},
    {"SearchStart", "Start"},
    {"SearchStop", "Stop"},
    {"SearchPause", "Pause"},
    {"SearchFiles", "Files"},
    {"SearchArchives", "Archives"},
    {"ShowLog", "Show Log"},
    {"Preview", "Preview"},
    {"Print", "Print"},
    {"Options", "Options"},
    {"Help", "Help"},
    {"Exit", "Exit"},
    {"SearchStartHint", "Start search"},
    {"SearchStopHint", "Stop search"},
    {"SearchPauseHint", "Pause search"},
    {"SearchFilesHint", "Search in plain files (non-archives)"},
    {"SearchArchivesHint", "Search in archive files"},
    {"ShowLogHint", "Show application log"},
    {"PreviewHint", "Open the selected file in the internal viewer"},
    {"PrintHint", "Print a list of found files"},
    {"OptionsHint", "Set configuration options"},
    {"HelpHint", "Display the help context"},
    {"ExitHint", "Exit Scryline"},
    {"HelpFile", "qvsrchen.html"},
    {"HelpNotFound_s",
     "The help file \"%s\" was not found.\r\nIt is installed with Scryline in the program folder; "
     "install Scryline again to get it back."},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {"Contact", "Questions, reports and suggestions are welcome on the Scryline home page."},
    {"NoOpenHandler_s", "No program is set up to open \"%s\""},
    {"SettingsNotSaved_ss", "The settings could not be saved in \"%s\". %s"},
    {"NoDesktopOpener_s",
     "\"%s\" cannot be opened: no program to open files is installed (xdg-open, in the package "
     "xdg-utils)"},
    {"NoPasswordGiven", "Skipped without a password"},
    {"StoredPasswordDidNotFit_ss", "A stored password did not open \"%s\" in \"%s\"; another one did"},
    {"TypedPasswordDidNotFit_ss", "The password typed first did not open \"%s\" in \"%s\"; another one did"},
    {"ExtractionCancelled_s", "The extraction of \"%s\" was cancelled: no password was given"},
    {"ProtectedSkipped",
     "Skipped: it needs a password, and password-protected archives are skipped (Options, Archives)"},
};

namespace {

const IMsgTranslations* MsgLanguages = nullptr;

const TMsgEntry& Entry(TMsgIndex Index) {
  static const TMsgEntry kNone{"", ""};
  const auto I = static_cast<size_t>(Index);
  return I <= static_cast<size_t>(kLastMsgIndex) && MsgTable[I].Key != nullptr ? MsgTable[I] : kNone;
}

// Stand-ins of the arguments that the key's suffix announces ("_s", "_sd", ...), or none for a key
// without a suffix.
TFormatArgs SuffixArgs(const std::string& Key) {
  TFormatArgs Args;
  const size_t Bar = Key.rfind('_');
  if (Bar == std::string::npos) return Args;
  const std::string Suffix = Key.substr(Bar + 1);
  for (char C : Suffix) {
    if (C == 's')
      Args.emplace_back(std::u16string());
    else if (C == 'd')
      Args.emplace_back(int32_t{0});
    else
      return {};  // not a suffix of arguments
  }
  return Args;
}

// A translation can stand in for its default when it formats with the arguments its key announces.
// Texts of keys without arguments are shown as they are and need no test.
bool FitsKey(const std::u16string& Text, const std::string& Key) {
  const TFormatArgs Args = SuffixArgs(Key);
  if (Args.empty()) return true;
  try {
    WideFormat(Text, Args);
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

}  // namespace

const char* MsgKey(TMsgIndex Index) { return Entry(Index).Key; }
const char* MsgDefault(TMsgIndex Index) { return Entry(Index).Default; }

void SetMsgLanguages(const IMsgTranslations* Languages) { MsgLanguages = Languages; }

std::u16string GetMsgW(TMsgIndex Index) {
  const TMsgEntry& E = Entry(Index);
  std::u16string Text;
  if (MsgLanguages != nullptr && *E.Key != '\0' && MsgLanguages->GetString(E.Key, Text) &&
      FitsKey(Text, E.Key))
    return Text;
  return Utf8ToUtf16(E.Default);
}

std::string GetMsg(TMsgIndex Index) { return Utf16ToUtf8(GetMsgW(Index)); }

std::u16string FormatMsgW(TMsgIndex Index, const TFormatArgs& Args) {
  return WideFormat(GetMsgW(Index), Args);
}

std::string FormatMsg(TMsgIndex Index, const TFormatArgs& Args) {
  return Utf16ToUtf8(FormatMsgW(Index, Args));
}
