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
std::string ConversionWarning;

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
      [](const std::string& S, const std::string& T, bool U) { return ConvertRTFFile(S, T, U); },
      [](const std::string& S, const std::string& T, bool) { return ConvertWithTextConverters(S, T); },
      [](const std::string& S, const std::string& T, bool U) { return ConvertWordDocument(S, T, U); },
      [](const std::string& S, const std::string& T, bool U) { return ConvertExcelWorkbook(S, T, U); },
      [](const std::string& S, const std::string& T, bool U) {
        return ConvertPowerPointPresentation(S, T, U);
      },
      [](const std::string& S, const std::string& T, bool) { return ConvertPostScript(S, T); },
      [](const std::string& S, const std::string& T, bool) { return ConvertPDF(S, T); },
  };
}

std::array<TServerBackend, kServerTypeCount>& Backends() {
  static std::array<TServerBackend, kServerTypeCount> Backends = DefaultBackends();
  return Backends;
}

std::string AsciiLower(std::string S) {
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

// The integer a "flags" value holds; 0 when it is no number.
int32_t FlagsValue(const std::string& S) {
  if (S.empty()) return 0;
  errno = 0;
  char* End = nullptr;
  const long long V = std::strtoll(S.c_str(), &End, 10);
  if (errno != 0 || End == S.c_str() || *End != '\0' || V < INT32_MIN || V > INT32_MAX) return 0;
  return static_cast<int32_t>(V);
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
  const std::string Srv = AsciiLower(UnquoteStr(Parser.GetOption("srv")));
  int32_t Type = -1;
  for (int32_t I = 0; I < kServerTypeCount; ++I)
    if (Srv == kServerTypeNames[I]) Type = I;
  if (Type < 0) {
    SetLastErrorText("Illegal server type");
    return false;
  }
  ServerType = static_cast<TServerType>(Type);
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
  ConversionWarning.clear();
  if (Unicode && ServerType != stWinWord) {
    SetLastErrorText("Unicode not supported");
    return false;
  }
  THeldFile Held(OpenReadShared(Source));
  TTempFile Copy;
  std::string ReadFrom = Source;
  if (Held.Fd < 0) {
    // Another program keeps the source from us: convert a copy of it instead.
    if (!Copy.Make()) return false;
    if (!WideCopyFile(Utf8ToUtf16(Source), Utf8ToUtf16(Copy.Name()), false)) {
      const int Err = errno;
      SetLastErrorText("CopyFile error: " + std::string(std::strerror(Err != 0 ? Err : EIO)));
      return false;
    }
    ReadFrom = Copy.Name();
  }
  ReportProgress(0, 0, 0, nullptr);
  const TServerBackend& Backend = ServerBackend(ServerType);
  if (!Backend) {
    SetLastErrorText("Illegal server type");
    return false;
  }
  try {
    const bool TakesUnicode =
        ServerType == stRTF || ServerType == stWinWord || ServerType == stExcel || ServerType == stPowerPoint;
    return Backend(ReadFrom, Target, TakesUnicode && Unicode);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}

void WriteErrorFile() { WriteErrorFile(GetLastErrorText()); }

void WriteErrorFile(std::string_view Text) {
  if (ErrorFileName.empty()) return;
  std::string Out;
  Out.reserve(Text.size() + 16);
  for (size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == '\r') {
      Out += "\r\n";
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else if (C == '\n') {
      Out += "\r\n";
    } else {
      Out += C;
    }
  }
  IFileLayer& Fs = FileLayer();
  const int Fd = Fs.Open(ErrorFileName, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (Fd < 0) return;
  for (size_t Done = 0; Done < Out.size();) {
    const ssize_t N = Fs.PWrite(Fd, Out.data() + Done, Out.size() - Done, static_cast<off_t>(Done));
    if (N <= 0) break;
    Done += static_cast<size_t>(N);
  }
  Fs.Close(Fd);
}

int ServerMain(int Argc, const char* const* Argv) {
  InitPluginTempFolder();
  TCommandLineParser Parser;
  Parser.ParseArgs(Argc, Argv, 1);
  ErrorFileName = UnquoteStr(Parser.GetOption("err"));
  bool Result = false;
  if (Parser.HasOption("resident")) {
    Result = RunResidentLoop(Parser);
  } else {
    std::string Source, Target;
    bool Unicode = false;
    TServerType Type = stRTF;
    if (ParseServerRequest(Parser, Source, Target, RequestFlags, Unicode, Type)) {
      Result = ConvertDocument(Source, Target, Type, Unicode);
    } else {
      // The error file tells what was wrong with a request; a command line that names nothing but the
      // error file is no request at all.
      std::fprintf(stderr, "%s\n\n%s", kUsageCaption, kUsageText);
      if (Parser.Tokens.GetCount() == (Parser.HasOption("err") ? 1 : 0))
        SetLastErrorText("Error in parameters");
    }
  }
  if (Result && ConversionWarning.empty()) {
    if (!ErrorFileName.empty()) ForceDeleteFile(ErrorFileName);
  } else if (Result) {
    WriteErrorFile(ConversionWarning);
  } else {
    WriteErrorFile();
  }
  ErrorFileName.clear();
  ConversionWarning.clear();
  DoneOffice();
  ClearTempFolderOverride();
  return Result ? 0 : 1;
}
