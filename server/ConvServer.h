// The conversion server's request handling: the command line and request syntax that one-shot and
// resident mode share, the dispatch of a request to the back-end of its server type, the error file and
// the program's whole run.
//
// A request names a server type ("-srv:pdf"), a source and a target file, and may ask for UTF-16 output
// ("-unicode") and pass flags ("-flags:1"). The process command line adds "-err:<file>", the file that
// receives the error text of a failed run, and "-resident -map:<name> -pid:<client>" for resident mode.
//
// The state below is process-wide and belongs to the server's one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
// deleted afterwards.
bool ConvertDocument(const std::string& Source, const std::string& Target, TServerType ServerType,
                     bool Unicode);

// Writes the error text to ErrorFileName (when set), line breaks as CR LF, without terminator or
// byte-order mark. Failures are ignored.
void WriteErrorFile();

// The program's whole run on its argv; answers the exit code, 0 on success and 1 on failure.
int ServerMain(int Argc, const char* const* Argv);
