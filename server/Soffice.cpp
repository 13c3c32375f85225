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
  std::error_code ec;
  if (!Folder.empty()) std::filesystem::remove_all(Folder, ec);
}

// A new folder below the server's temporary folder, Prefix + a unique tail; empty (error text set) on
// failure.
std::string MakeFolder(const std::string& Prefix) {
  std::string temp;
  if (!GetPluginTempFolder(temp)) return std::string();
  std::string pattern = temp + Prefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    SetLastErrorText("Can't create a temporary folder: " + std::string(std::strerror(errno)));
    return std::string();
  }
  return pattern;
}

// The office's complaint: its first line that starts with "Error:", else its first line.
std::string Complaint(const std::string& Messages) {
  std::string first;
  size_t start = 0;
  while (start < Messages.size()) {
    size_t end = Messages.find('\n', start);
    if (end == std::string::npos) end = Messages.size();
    std::string line = Messages.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 6, "Error:") == 0) return line;
    if (first.empty() && !line.empty() && line.find("javaldx") == std::string::npos) first = line;
    start = end + 1;
  }
  return first;
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
  const std::string program = FindOffice();
  if (program.empty()) {
    SetLastErrorText(kOfficeNotFound);
    return false;
  }
  if (g_profile.empty() && (g_profile = MakeFolder("qvlo-")).empty()) return false;
  const std::string source = AbsoluteFileName(Source);
  for (int attempt = 1; attempt <= kOfficeAttempts; ++attempt) {
    RemoveTree(Output.Folder);
    Output.File.clear();
    if ((Output.Folder = MakeFolder("qvout-")).empty()) return false;
    TChildOptions options;
    options.CaptureStdout = true;
    options.MaxCapture = 65536;
    options.TimeoutMs = OfficeTimeoutMs;
    options.WorkDir = Output.Folder;
    if (PluginCallback != nullptr) {
      const TPluginCallback callback = PluginCallback;
      void* const data = PluginCallbackData;
      options.Poll = [callback, data, ProgressStep] { return callback(0, ProgressStep, 10, data) != 0; };
    }
    const TChildResult run =
        RunChild({program, "--headless", "--invisible", "--nologo", "--norestore", "--nolockcheck",
                  "--nodefault", "-env:UserInstallation=file://" + g_profile, "--convert-to", FilterSpec,
                  "--outdir", Output.Folder, source},
                 options);
    if (!ChildEndedByItself(run, "\"soffice\"", OfficeTimeoutMs)) return false;
    std::vector<std::string> files;
    ListFileNames(files, Output.Folder, "*", false);
    if (!files.empty()) {
      Output.File = files.front();
      return true;
    }
    std::string complaint = Complaint(run.Stderr + "\n" + run.Stdout);
    if (complaint.empty()) complaint = "The office program could not convert \"" + Source + "\"";
    SetLastErrorText(complaint);
    const bool abnormal = run.End == TChildEnd::Signalled || run.ExitCode != 0;
    if (!abnormal) return false;
  }
  return false;
}

void DoneOffice() {
  RemoveTree(g_profile);
  g_profile.clear();
}
