#include "server/PSConv.h"

#include <dlfcn.h>
#include <ghostscript/iapi.h>
#include <ghostscript/ierrors.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/ChildProcess.h"
#include "server/ConvTemp.h"
#include "server/TextSink.h"

std::string GhostscriptLibrary;
int32_t PsTimeoutMs = kDefaultPsTimeoutMs;

namespace {

constexpr const char* kCantLoad = "Can't load libgs.so";
constexpr const char* kNoEntryPoints = "libgs.so: an entry point is missing";

// The entry points of the library's published API.
struct TGsApi {
  void* Module = nullptr;
  decltype(&gsapi_new_instance) NewInstance = nullptr;
  decltype(&gsapi_delete_instance) DeleteInstance = nullptr;
  decltype(&gsapi_set_stdio) SetStdio = nullptr;
  decltype(&gsapi_set_arg_encoding) SetArgEncoding = nullptr;
  decltype(&gsapi_init_with_args) InitWithArgs = nullptr;
  decltype(&gsapi_exit) Exit = nullptr;
};

TGsApi g_gs;

// What the interpreter's copy of the server shares with the server: how far it has read the source.
struct TSharedProgress {
  int32_t Position;
};

// The conversion that runs in this process (the interpreter's copy of the server, see RunPs2Ascii).
struct TRun {
  TVStream* Source = nullptr;
  TSharedProgress* Progress = nullptr;
};

bool g_running = false;
TRun g_run;

template <class F>
bool Bind(void* Module, const char* Name, F& Fn) {
  Fn = reinterpret_cast<F>(::dlsym(Module, Name));
  return Fn != nullptr;
}

void WriteMessage(const char* Text, size_t Count) {
  while (Count > 0) {
    const ssize_t n = ::write(2, Text, Count);
    if (n <= 0) return;
    Text += n;
    Count -= static_cast<size_t>(n);
  }
}

int GSDLLCALL StdinFn(void*, char* Buf, int Len) {
  try {
    if (g_run.Source == nullptr || Len <= 0) return 0;
    const int32_t n = g_run.Source->Read(Buf, Len);
    g_run.Progress->Position = g_run.Source->GetPosition();
    return n;
  } catch (const std::exception& e) {
    WriteMessage(e.what(), std::strlen(e.what()));
    return -1;
  }
}

// The interpreter's messages on either output go to the server, whose error text is their first line.
// The text itself goes to a file, so nothing the interpreter says is taken for text.
int GSDLLCALL MessageFn(void*, const char* Text, int Len) {
  if (Text == nullptr || Len <= 0) return Len < 0 ? 0 : Len;
  WriteMessage(Text, static_cast<size_t>(Len));
  return Len;
}

// The interpreter's run in its own process: converts the source into the file TextFile and answers the
// exit code, 0 on success.
int InterpreterMain(TVStream& Source, TSharedProgress& Progress, const std::string& TextFile) {
  PluginCallback = nullptr;  // the channel stays the server's
  g_run.Source = &Source;
  g_run.Progress = &Progress;
  void* instance = nullptr;
  int code = g_gs.NewInstance(&instance, nullptr);
  if (code < 0) {
    const std::string text = "gsapi_new_instance returned " + std::to_string(code) + "\n";
    WriteMessage(text.data(), text.size());
    return 1;
  }
  // Text extraction (UTF-8) into the file; the program comes from standard input ("-").
  const std::string output = "-sOutputFile=" + TextFile;
  const char* args[] = {
      "", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=txtwrite", "-dTextFormat=3", output.c_str(),
      "-"};
  const int argc = static_cast<int>(sizeof args / sizeof args[0]);
  g_gs.SetStdio(instance, StdinFn, MessageFn, MessageFn);
  g_gs.SetArgEncoding(instance, GS_ARG_ENCODING_UTF8);
  code = g_gs.InitWithArgs(instance, argc, const_cast<char**>(args));
  const int exitCode = g_gs.Exit(instance);
  g_gs.DeleteInstance(instance);
  if (code == gs_error_Quit) code = 0;
  if (code == 0 && exitCode < 0 && exitCode != gs_error_Quit) code = exitCode;
  if (code == 0) return 0;
  const std::string text = "\ngsapi_init_with_args returned " + std::to_string(code) + "\n";
  WriteMessage(text.data(), text.size());
  return 1;
}

// The first line of the interpreter's messages that holds text.
std::string FirstComplaint(const std::string& Messages) {
  size_t start = 0;
  while (start < Messages.size()) {
    size_t end = Messages.find_first_of("\r\n", start);
    if (end == std::string::npos) end = Messages.size();
    if (end > start) return Messages.substr(start, end - start);
    start = end + 1;
  }
  return std::string();
}

// Unmaps the shared progress on every path.
struct TSharedProgressMap {
  TSharedProgressMap() {
    void* p =
        ::mmap(nullptr, sizeof(TSharedProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    Progress = p == MAP_FAILED ? nullptr : static_cast<TSharedProgress*>(p);
    if (Progress != nullptr) Progress->Position = 0;
  }
  ~TSharedProgressMap() {
    if (Progress != nullptr) ::munmap(Progress, sizeof(TSharedProgress));
  }
  TSharedProgress* Progress;
};

}  // namespace

bool LoadGhostscript() {
  if (g_gs.Module != nullptr) return true;
  void* module = nullptr;
  if (!GhostscriptLibrary.empty()) {
    module = ::dlopen(GhostscriptLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    for (const char* name : {"libgs.so.10", "libgs.so"})
      if ((module = ::dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
  }
  if (module == nullptr) {
    SetLastErrorText(kCantLoad);
    return false;
  }
  TGsApi api;
  api.Module = module;
  if (!Bind(module, "gsapi_new_instance", api.NewInstance) ||
      !Bind(module, "gsapi_delete_instance", api.DeleteInstance) ||
      !Bind(module, "gsapi_set_stdio", api.SetStdio) ||
      !Bind(module, "gsapi_set_arg_encoding", api.SetArgEncoding) ||
      !Bind(module, "gsapi_init_with_args", api.InitWithArgs) || !Bind(module, "gsapi_exit", api.Exit)) {
    ::dlclose(module);
    SetLastErrorText(kNoEntryPoints);
    return false;
  }
  g_gs = api;
  return true;
}

void FreeGhostscript() {
  if (g_gs.Module != nullptr && !g_running) {
    ::dlclose(g_gs.Module);
    g_gs = TGsApi();
  }
}

bool RunPs2Ascii(TVStream& Source, TVStream& Dest) {
  if (g_running) {
    SetLastErrorText("Busy");
    return false;
  }
  if (!LoadGhostscript()) return false;
  TTempFile text;
  if (!text.Make()) return false;
  ClearLastErrorText();
  TSharedProgressMap shared;
  if (shared.Progress == nullptr) {
    SetLastErrorText("Can't start Ghostscript: " + std::string(std::strerror(errno)));
    return false;
  }
  g_running = true;
  struct TRunningScope {
    ~TRunningScope() { g_running = false; }
  } scope;

  TChildOptions options;
  options.CaptureStderr = true;
  options.MaxCapture = 65536;
  options.TimeoutMs = PsTimeoutMs;
  options.GraceMs = 0;  // the interpreter holds nothing that a kill would damage
  const int32_t size = Source.GetSize();
  if (PluginCallback != nullptr) {
    const TPluginCallback callback = PluginCallback;
    void* const data = PluginCallbackData;
    options.Poll = [callback, data, &shared, size] {
      return callback(0, shared.Progress->Position, size, data) != 0;
    };
  }
  const std::string textFile = text.Name();
  const TChildResult run = RunForked(
      [&Source, &shared, &textFile] { return InterpreterMain(Source, *shared.Progress, textFile); }, options);
  const std::string complaint = FirstComplaint(run.Stderr);
  if (!ChildEndedByItself(run, "Ghostscript", PsTimeoutMs)) return false;
  if (run.End == TChildEnd::Signalled || run.ExitCode != 0) {
    SetLastErrorText(complaint.empty() ? "The PostScript interpreter ended abnormally" : complaint);
    return false;
  }
  if (IsUnreadableTextFile(textFile)) {
    SetLastErrorText(kUnreadableText);
    return false;
  }
  WriteUtf8FileAsAnsi(textFile, Dest);
  return true;
}

bool ConvertPostScript(const std::string& Source, const std::string& Target) {
  try {
    TVBufFileStream source(Source, fmOpenRead | fmShareDenyWrite);
    auto dest = std::make_unique<TVBufFileStream>(Target, fmCreate);
    const bool ok = RunPs2Ascii(source, *dest);
    dest->Close();
    if (!ok) {
      dest.reset();
      ForceDeleteFile(Target);
    }
    return ok;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
