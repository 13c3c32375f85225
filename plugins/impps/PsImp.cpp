// The PostScript converter library (impps.so): the text of a PostScript document from the conversion
// server qvcnvsrv (server/), which lies in the program folder beside this library and is run once per
// document with the "ps" server type. The server's text is 8-bit text in the system's ANSI code page; it
// is widened when the host asks for UTF-16. The pages the server left out of the text, or kept though they
// may be unreadable, come back as the conversion's warning; a failed run's error text is the failure.
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/Exception.h"
#include "core/VFileSys.h"
#include "plugins/common/AnsiText.h"
#include "plugins/frame/ConverterFrame.h"
#include "server/ChildProcess.h"
#include "server/PSConv.h"

namespace {

constexpr const char* kServer = "qvcnvsrv";
// The server ends its interpreter after kDefaultPsTimeoutMs; the server itself gets some more.
constexpr int32_t kServerTimeoutMs = kDefaultPsTimeoutMs + 30000;

// The server beside this library, else beside the program or on $PATH.
std::string ServerProgram() {
  const std::string Library = ModuleFileName(reinterpret_cast<const void*>(&ServerProgram));
  const std::string Beside = std::filesystem::path(Library).parent_path().string() + "/" + kServer;
  if (::access(Beside.c_str(), X_OK) == 0) return Beside;
  return FindProgram(kServer);
}

std::string ReadWholeFile(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// The server's error file as lines ending in LF, without a line break at the end.
std::string ErrorFileText(const std::string& Name) {
  std::string Text = ReadWholeFile(Name);
  for (size_t At = 0; (At = Text.find("\r\n", At)) != std::string::npos;) Text.erase(At, 1);
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == ' ')) Text.pop_back();
  return Text;
}

// A folder of its own for the server's text and error file, removed with them on every path.
struct TRunFolder {
  TRunFolder() {
    std::string Pattern = GetTempDir() + "qvpsXXXXXX";
    if (::mkdtemp(Pattern.data()) == nullptr)
      throw Exception("Can't make a temporary folder: " + std::string(std::strerror(errno)));
    Path = Pattern;
  }
  ~TRunFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path, Ignored);
  }
  TRunFolder(const TRunFolder&) = delete;
  TRunFolder& operator=(const TRunFolder&) = delete;
  std::string Path;
};

bool ConvertPostScriptFile(const std::string& FileName, bool Unicode, IConvProgress* Progress,
                           std::string& Text) {
  const std::string Server = ServerProgram();
  if (Server.empty()) throw Exception("Can't find the conversion server \"qvcnvsrv\"");
  TRunFolder Folder;
  const std::string Target = Folder.Path + "/text.txt", Errors = Folder.Path + "/errors.txt";
  TChildOptions Options;
  Options.CaptureStderr = false;  // the server's notes are in its error file
  Options.TimeoutMs = kServerTimeoutMs;
  if (Progress != nullptr) Options.Poll = [Progress] { return Progress->Check(); };
  const TChildResult Run =
      RunChild({Server, "-srv:ps", AbsoluteFileName(FileName), Target, "-err:" + Errors}, Options);
  if (Run.End == TChildEnd::Cancelled) return false;
  if (!ChildEndedByItself(Run, "The conversion server", kServerTimeoutMs))
    throw Exception(std::string(GetLastErrorText()));
  const std::string Message = ErrorFileText(Errors);
  if (Run.End != TChildEnd::Exited || Run.ExitCode != 0)
    throw Exception(Message.empty() ? "The conversion server failed" : Message);
  const std::string Ansi = ReadWholeFile(Target);
  if (Unicode) {
    const std::u16string Wide = AnsiToWide(Ansi);
    Text.assign(reinterpret_cast<const char*>(Wide.data()), Wide.size() * sizeof(char16_t));
  } else {
    Text = Ansi;
  }
  SetWarningText(Message);
  return true;
}

}  // namespace

const TConverterDefinition& ConverterDefinition() {
  static const char* const kTypes[] = {"ps", "eps"};
  static const char* const kDescriptions[] = {"PostScript Document (PS)", "Encapsulated PostScript (EPS)"};
  static const TConverterDefinition Definition = [] {
    TConverterDefinition D;
    D.DllInfo = "Quorvane Library v.021010";
    D.DllVersion = 5378562;
    D.TypeList = "ps;eps";
    D.Types = kTypes;
    D.Descriptions = kDescriptions;
    D.OutOfRange = "-";
    D.ConvertFile = ConvertPostScriptFile;
    return D;
  }();
  return Definition;
}
