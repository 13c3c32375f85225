#include "server/Soffice.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/ChildProcess.h"
#include "server/ConvTemp.h"

std::string OfficeProgram;
int32_t OfficeTimeoutMs = kDefaultOfficeTimeoutMs;

namespace {

// Tries of one conversion: the first and one retry after an abnormal end.
constexpr int kOfficeAttempts = 2;

std::string g_profile;  // the private profile's folder, empty until the first run

std::string FindOffice() {
  if (!OfficeProgram.empty()) return FileExists(OfficeProgram) ? OfficeProgram : std::string();
  return FindProgram("soffice");
}

void RemoveTree(const std::string& Folder) {
  std::error_code Ec;
  if (!Folder.empty()) std::filesystem::remove_all(Folder, Ec);
}

// A new folder below the server's temporary folder, Prefix + a unique tail; empty (error text set) on
// failure.
std::string MakeFolder(const std::string& Prefix) {
  std::string Temp;
  if (!GetPluginTempFolder(Temp)) return std::string();
  std::string Pattern = Temp + Prefix + "XXXXXX";
  if (::mkdtemp(Pattern.data()) == nullptr) {
    SetLastErrorText("Can't create a temporary folder: " + std::string(std::strerror(errno)));
    return std::string();
  }
  return Pattern;
}

// The office's complaint: its first line that starts with "Error:", else its first line.
std::string Complaint(const std::string& Messages) {
  std::string First;
  size_t Start = 0;
  while (Start < Messages.size()) {
    size_t End = Messages.find('\n', Start);
    if (End == std::string::npos) End = Messages.size();
    std::string Line = Messages.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Line.compare(0, 6, "Error:") == 0) return Line;
    if (First.empty() && !Line.empty() && Line.find("javaldx") == std::string::npos) First = Line;
    Start = End + 1;
  }
  return First;
}

}  // namespace

TOfficeOutput::~TOfficeOutput() { RemoveTree(Folder); }

bool OfficeProgress(int32_t Step) {
  if (PluginCallback == nullptr || PluginCallback(0, Step, 10, PluginCallbackData) != 0) return true;
  SetLastErrorText(kUserCanceled);
  return false;
}

bool OfficeConvert(const std::string& Source, const std::string& FilterSpec, TOfficeOutput& Output,
                   int32_t ProgressStep) {
  const std::string Program = FindOffice();
  if (Program.empty()) {
    SetLastErrorText(kOfficeNotFound);
    return false;
  }
  if (g_profile.empty() && (g_profile = MakeFolder("qvlo-")).empty()) return false;
  const std::string AbsSource = AbsoluteFileName(Source);
  for (int Attempt = 1; Attempt <= kOfficeAttempts; ++Attempt) {
    RemoveTree(Output.Folder);
    Output.File.clear();
    if ((Output.Folder = MakeFolder("qvout-")).empty()) return false;
    TChildOptions Options;
    Options.CaptureStdout = true;
    Options.MaxCapture = 65536;
    Options.TimeoutMs = OfficeTimeoutMs;
    Options.WorkDir = Output.Folder;
    if (PluginCallback != nullptr) {
      const TPluginCallback Callback = PluginCallback;
      void* const Data = PluginCallbackData;
      Options.Poll = [Callback, Data, ProgressStep] { return Callback(0, ProgressStep, 10, Data) != 0; };
    }
    const TChildResult Run =
        RunChild({Program, "--headless", "--invisible", "--nologo", "--norestore", "--nolockcheck",
                  "--nodefault", "-env:UserInstallation=file://" + g_profile, "--convert-to", FilterSpec,
                  "--outdir", Output.Folder, AbsSource},
                 Options);
    if (!ChildEndedByItself(Run, "\"soffice\"", OfficeTimeoutMs)) return false;
    std::vector<std::string> Files;
    ListFileNames(Files, Output.Folder, "*", false);
    if (!Files.empty()) {
      Output.File = Files.front();
      return true;
    }
    std::string Reason = Complaint(Run.Stderr + "\n" + Run.Stdout);
    if (Reason.empty()) Reason = "The office program could not convert \"" + Source + "\"";
    SetLastErrorText(Reason);
    const bool Abnormal = Run.End == TChildEnd::Signalled || Run.ExitCode != 0;
    if (!Abnormal) return false;
  }
  return false;
}

void DoneOffice() {
  RemoveTree(g_profile);
  g_profile.clear();
}
