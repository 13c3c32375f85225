// The main window's logic that does not need widgets: the log sink every part of the program writes to,
// the command line, the status text, the loading of the converter plug-ins and of the outside archive
// libraries, and the log lines of start-up. The window (ui/MainWindow) calls these and shows their
// results.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TQVConverters;
class TWideStrLst;
class TStrLst;
class TTextStream;

// ---- The log ------------------------------------------------------------------------------------------

// Text logged while the log window cannot take it yet, CR LF between entries.
extern std::string LogBuffer;
// Some buffered entry asked to show the log window.
extern bool LogBufferShow;
// The last entry asked for a closing "---" line.
extern bool LogSeparatorPending;
// The log file of the "log" option; null without it.
extern std::unique_ptr<TTextStream> LogFile;
// Show the memory figure in the status line ("debug" or "mem" option).
extern bool MemoryMode;
// The log window's sink (UTF-8 text, whether to show the window). Set by the main window once its
// creation has finished; until then entries wait in LogBuffer.
extern std::function<void(const std::string& Text, bool Show)> LogWindowSink;

// Appends one entry (UTF-8) to the log: the window or the buffer, and the log file. Show asks that the log
// window appear (only while the "Enable Log Window" setting is on); Separator frames the entry with "---"
// lines: one before it and one before the next entry, never two in a row.
void Log(const std::string& Text, bool Show = false, bool Separator = false);
// Hands the buffered entries to LogWindowSink (with the buffered show request) and empties the buffer.
void FlushLogBuffer();
// Opens the log file FileName for rewriting; a failure leaves no log file.
void OpenLogFile(const std::string& FileName);
// Closes the log file; write failures are ignored.
void CloseLogFile();

// ---- The command line ----------------------------------------------------------------------------------

struct TMainCommandLine {
  std::u16string ProgramPath;  // parameter 0
  std::u16string Text;         // "text": the pattern box's text, empty when absent
  std::u16string Path;         // "path": the path box's text when not empty
  std::u16string Mask;         // "mask": the mask box's text when not empty
  bool DebugMode = false;      // "debug"
  bool TimeMode = false;       // "time"
  bool MemoryMode = false;     // "mem", or "debug"
  bool LogToFile = false;      // "log"
};

// Parses argv as the main program gets it ("-" introduces an option, names without case, option:value).
// Parameter 0 is the program's own path.
TMainCommandLine ParseMainCommandLine(int Argc, const char* const* Argv);
// The log file of the "log" option: the program path with its extension replaced by ".log".
std::u16string LogFileNameFor(const std::u16string& ProgramPath);

// ---- Status and start-up lines ---------------------------------------------------------------------------

// What the status line shows for Text: Text (with a final period when AddPeriod); in memory mode the text
// with a period and " Memory allocated: " + the figure + ".".
std::u16string StatusLineText(const std::u16string& Text, bool AddPeriod, bool ShowMemory, int64_t Allocated);
// The bytes the program has allocated now.
int64_t AllocatedMemory();
// The log line of a failed start-up step: message Msg with the exception text, its first letter lower-case.
std::string StartupErrorLine(int32_t MsgIndex, const std::string& ExceptionText);
// The log line of an exception that reached the application: "Exception. " + the text with its first
// letter upper-case and a final period.
std::string ExceptionLogLine(const std::string& ExceptionText);

// The converter plug-in files of a folder.
inline constexpr char kConverterMask[] = "imp*.so";

// Loads the converter plug-ins of Folder (with or without trailing "/") into Converters and logs one line
// per file, or one line when the folder holds none. A plug-in whose file name DisabledNames lists is loaded
// switched off. Answers how many were loaded.
int32_t LoadConverters(TQVConverters& Converters, const std::string& Folder, const TStrLst& DisabledNames);

// The registry value (machine key "Software\Quorvane") naming the folder shared by the company's
// programs, with a trailing "/"; empty when absent.
std::string ReadSharedFilesDir();
// Binds the outside archive libraries of Folder (UnAceV2.so, cabinet.so, UnRar3.so) by full path; a
// binding that fails is undone at once.
void BindArchiveLibraries(const std::string& Folder);
// The converters of start-up: with a shared folder, its archive libraries and plug-ins; the program
// folder's plug-ins only when none was loaded from there. DisabledNames as for LoadConverters.
void LoadStartupConverters(TQVConverters& Converters, const std::string& SharedDir,
                           const std::string& ProgramDir, const TStrLst& DisabledNames);
// The excluded folders of start-up: on a first run (FirstRun: no stored settings) the temporary folder
// TempDir and the system's virtual file systems are added; then every entry ends with "/" and the list
// is sorted.
void PrepareExcludedDirs(TWideStrLst& Dirs, bool FirstRun, const std::u16string& TempDir);
// An outside archive library by its name ("UnRar3.so") and the file bound for it, empty when none is.
struct TArchiveLibraryFile {
  std::string Name;
  std::string FileName;
};
// Binds each outside archive library that is not bound yet the way an archive of its kind would (beside
// the program, then by the system's search) and names the file bound for each. A binding that fails is
// undone, so a later archive tries again.
std::vector<TArchiveLibraryFile> LoadArchiveLibraries();
// For the debug log: LoadArchiveLibraries, and one line per library naming the file that was loaded or
// that none could be.
void LogArchiveLibraries();
// Logs "Disabled: <name>" for every archive kind that is switched off, in table order.
void LogDisabledArchiveKinds();
