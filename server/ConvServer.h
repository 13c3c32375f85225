// The conversion server's request handling: the command line and request syntax that one-shot and
// resident mode share, the dispatch of a request to the back-end of its server type, the error file and
// the program's whole run.
//
// A request names a server type ("-srv:pdf"), a source and a target file, and may ask for UTF-16 output
// ("-unicode") and pass flags ("-flags:1"). The process command line adds "-err:<file>", the file that
// receives the error text of a failed run, and "-resident -map:<name> -pid:<client>" for resident mode.
//
// A conversion that succeeds may still have something to tell (pages of a document left out of its text):
// its back-end leaves that in ConversionWarning. A one-shot run then exits with 0 and leaves the warning in
// the error file, which a run without one deletes; the resident channel answers "+" followed by it.
//
// The state below is process-wide and belongs to the server's one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TCommandLineParser;

enum TServerType : int32_t {
  stRTF = 0,
  stMSConv = 1,
  stWinWord = 2,
  stExcel = 3,
  stPowerPoint = 4,
  stPS = 5,
  stPDF = 6,
};
constexpr int32_t kServerTypeCount = 7;

// The error file of the process command line ("err"), empty when none was given.
extern std::string ErrorFileName;
// The "flags" value of the request being served.
extern int32_t RequestFlags;
// The warning of the request being served, empty when it has none (see above).
extern std::string ConversionWarning;

// A back-end turns Source into the text file Target; false with the error text set on failure.
using TServerBackend =
    std::function<bool(const std::string& Source, const std::string& Target, bool Unicode)>;
// The back-end that serves a server type. Tests replace entries; ResetServerBackends restores the
// built-in ones.
TServerBackend& ServerBackend(TServerType Type);
void ResetServerBackends();

// Reads a request from Parser: the server type, the source (first parameter), the target (second
// parameter), the flags and the unicode switch. False with "Illegal server type", "No source file
// specified" or "No target file specified" as the error text.
bool ParseServerRequest(const TCommandLineParser& Parser, std::string& Source, std::string& Target,
                        int32_t& Flags, bool& Unicode, TServerType& ServerType);

// Converts Source into Target with the back-end of ServerType. The source is held open for reading while
// the back-end works; when it cannot be opened, a temporary copy ("QV...") is converted instead and
// deleted afterwards. ConversionWarning is cleared first.
bool ConvertDocument(const std::string& Source, const std::string& Target, TServerType ServerType,
                     bool Unicode);

// Writes Text (the error text when none is given) to ErrorFileName (when set), line breaks as CR LF,
// without terminator or byte-order mark. Failures are ignored.
void WriteErrorFile(std::string_view Text);
void WriteErrorFile();

// The program's whole run on its argv; answers the exit code, 0 on success and 1 on failure.
int ServerMain(int Argc, const char* const* Argv);
