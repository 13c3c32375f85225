#include "server/ConvServer.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/CmdLine.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/ConvTemp.h"
#include "server/MSConvIntf.h"
#include "server/OLEPPTConv.h"
#include "server/OLEWordConv.h"
#include "server/OLEXLSConv.h"
#include "server/PDFConv.h"
#include "server/PSConv.h"
#include "server/RTFConv.h"
#include "server/Resident.h"
#include "server/Soffice.h"

std::string ErrorFileName;
int32_t RequestFlags = 0;

namespace {

constexpr const char* kServerTypeNames[kServerTypeCount] = {"rtf",        "msconv", "winword", "excel",
                                                            "powerpoint", "ps",     "pdf"};

// The usage text shown for a command line that is no request. Written to standard error: the server
// has no window.
constexpr const char* kUsageCaption = "Quorvane Conversion Server";
constexpr const char* kUsageText =
    "This program is used internally by Quorvane Converters.\n\n"
    "Command line syntax:\n"
    "\"qvmsosrv -srv:ServerType FromFile ToFile [-err:ErrorFile] [-unicode]\".\n"
    "Supported server types: RTF, MSConv, WinWord, Excel, PowerPoint, PS, PDF.\n\n";

std::array<TServerBackend, kServerTypeCount> DefaultBackends() {
  return {
      [](const std::string& s, const std::string& t, bool u) { return ConvertRTFFile(s, t, u); },
      [](const std::string& s, const std::string& t, bool) { return ConvertWithTextConverters(s, t); },
      [](const std::string& s, const std::string& t, bool u) { return ConvertWordDocument(s, t, u); },
      [](const std::string& s, const std::string& t, bool u) { return ConvertExcelWorkbook(s, t, u); },
      [](const std::string& s, const std::string& t, bool u) {
        return ConvertPowerPointPresentation(s, t, u);
      },
      [](const std::string& s, const std::string& t, bool) { return ConvertPostScript(s, t); },
      [](const std::string& s, const std::string& t, bool) { return ConvertPDF(s, t); },
  };
}

std::array<TServerBackend, kServerTypeCount>& Backends() {
  static std::array<TServerBackend, kServerTypeCount> backends = DefaultBackends();
  return backends;
}

std::string AsciiLower(std::string S) {
  for (char& c : S)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return S;
}

// The integer a "flags" value holds; 0 when it is no number.
int32_t FlagsValue(const std::string& S) {
  if (S.empty()) return 0;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(S.c_str(), &end, 10);
  if (errno != 0 || end == S.c_str() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return 0;
  return static_cast<int32_t>(v);
}

// Holds the source's descriptor for the whole conversion.
class THeldFile {
 public:
  explicit THeldFile(int Fd) : Fd(Fd) {}
  ~THeldFile() { CloseFileHandle(Fd); }
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;
  int Fd;
};

}  // namespace

TServerBackend& ServerBackend(TServerType Type) { return Backends().at(static_cast<size_t>(Type)); }

void ResetServerBackends() { Backends() = DefaultBackends(); }

bool ParseServerRequest(const TCommandLineParser& Parser, std::string& Source, std::string& Target,
                        int32_t& Flags, bool& Unicode, TServerType& ServerType) {
  const std::string srv = AsciiLower(UnquoteStr(Parser.GetOption("srv")));
  int32_t type = -1;
  for (int32_t i = 0; i < kServerTypeCount; ++i)
    if (srv == kServerTypeNames[i]) type = i;
  if (type < 0) {
    SetLastErrorText("Illegal server type");
    return false;
  }
  ServerType = static_cast<TServerType>(type);
  Source = UnquoteStr(Parser.GetParam(0));
  if (Source.empty()) {
    SetLastErrorText("No source file specified");
    return false;
  }
  Target = UnquoteStr(Parser.GetParam(1));
  if (Target.empty()) {
    SetLastErrorText("No target file specified");
    return false;
  }
  Unicode = Parser.HasOption("unicode");
  Flags = FlagsValue(UnquoteStr(Parser.GetOption("flags")));
  return true;
}

bool ConvertDocument(const std::string& Source, const std::string& Target, TServerType ServerType,
                     bool Unicode) {
  if (Unicode && ServerType != stWinWord) {
    SetLastErrorText("Unicode not supported");
    return false;
  }
  THeldFile held(OpenReadShared(Source));
  TTempFile copy;
  std::string source = Source;
  if (held.Fd < 0) {
    // Another program keeps the source from us: convert a copy of it instead.
    if (!copy.Make()) return false;
    if (!WideCopyFile(Utf8ToUtf16(Source), Utf8ToUtf16(copy.Name()), false)) {
      const int err = errno;
      SetLastErrorText("CopyFile error: " + std::string(std::strerror(err != 0 ? err : EIO)));
      return false;
    }
    source = copy.Name();
  }
  ReportProgress(0, 0, 0, nullptr);
  const TServerBackend& backend = ServerBackend(ServerType);
  if (!backend) {
    SetLastErrorText("Illegal server type");
    return false;
  }
  try {
    const bool takesUnicode =
        ServerType == stRTF || ServerType == stWinWord || ServerType == stExcel || ServerType == stPowerPoint;
    return backend(source, Target, takesUnicode && Unicode);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}

void WriteErrorFile() {
  if (ErrorFileName.empty()) return;
  const std::string_view text = GetLastErrorText();
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  IFileLayer& fs = FileLayer();
  const int fd = fs.Open(ErrorFileName, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  for (size_t done = 0; done < out.size();) {
    const ssize_t n = fs.PWrite(fd, out.data() + done, out.size() - done, static_cast<off_t>(done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  fs.Close(fd);
}

int ServerMain(int argc, const char* const* argv) {
  InitPluginTempFolder();
  TCommandLineParser parser;
  parser.ParseArgs(argc, argv, 1);
  ErrorFileName = UnquoteStr(parser.GetOption("err"));
  bool result = false;
  if (parser.HasOption("resident")) {
    result = RunResidentLoop(parser);
  } else {
    std::string source, target;
    bool unicode = false;
    TServerType type = stRTF;
    if (ParseServerRequest(parser, source, target, RequestFlags, unicode, type)) {
      result = ConvertDocument(source, target, type, unicode);
    } else {
      // The error file tells what was wrong with a request; a command line that names nothing but the
      // error file is no request at all.
      std::fprintf(stderr, "%s\n\n%s", kUsageCaption, kUsageText);
      if (parser.Tokens.GetCount() == (parser.HasOption("err") ? 1 : 0))
        SetLastErrorText("Error in parameters");
    }
  }
  if (result) {
    if (!ErrorFileName.empty()) ForceDeleteFile(ErrorFileName);
  } else {
    WriteErrorFile();
  }
  ErrorFileName.clear();
  DoneOffice();
  ClearTempFolderOverride();
  return result ? 0 : 1;
}
