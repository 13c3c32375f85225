#include "server/PSConv.h"

#include <dlfcn.h>
#include <ghostscript/iapi.h>
#include <ghostscript/ierrors.h>

#include <memory>

#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/AsyncComm.h"
#include "server/ConvTemp.h"
#include "server/TextSink.h"

std::string GhostscriptLibrary;
int32_t PsTimeoutMs = kDefaultPsTimeoutMs;

namespace {

constexpr const char* kCantLoad = "Can't load the Ghostscript library";
constexpr const char* kNoEntryPoints = "Ghostscript library: an entry point is missing";

// The entry points of the library's published API.
struct TGsApi {
  void* Module = nullptr;
  decltype(&gsapi_new_instance) NewInstance = nullptr;
  decltype(&gsapi_delete_instance) DeleteInstance = nullptr;
  decltype(&gsapi_set_stdio) SetStdio = nullptr;
  decltype(&gsapi_set_poll) SetPoll = nullptr;
  decltype(&gsapi_set_arg_encoding) SetArgEncoding = nullptr;
  decltype(&gsapi_init_with_args) InitWithArgs = nullptr;
  decltype(&gsapi_exit) Exit = nullptr;
};

TGsApi g_gs;

// The running conversion.
struct TRun {
  TVStream* Source = nullptr;
  bool Cancelled = false;
  bool ComplaintComplete = false;  // a line end has been seen in the complaint
  bool OwnError = false;  // the error text is ours (cancel, time-out, a failed write), not a complaint
  uint32_t StartTick = 0;
};

bool g_running = false;
TRun g_run;

template <class F>
bool Bind(void* Module, const char* Name, F& Fn) {
  Fn = reinterpret_cast<F>(::dlsym(Module, Name));
  return Fn != nullptr;
}

// Appends a chunk of the interpreter's complaint to the error text until its first line is complete.
void AddComplaint(const char* Text, int Count) {
  if (g_run.OwnError || g_run.ComplaintComplete || Count <= 0) return;
  std::string chunk(Text, static_cast<size_t>(Count));
  const size_t eol = chunk.find_first_of("\r\n");
  if (eol != std::string::npos) {
    chunk.resize(eol);
    g_run.ComplaintComplete = true;
  }
  SetLastErrorText(std::string(GetLastErrorText()) + chunk);
}

bool PollCancel(int32_t Current, int32_t Total) {
  if (PsTimeoutMs >= 0 && TickCount() - g_run.StartTick >= static_cast<uint32_t>(PsTimeoutMs)) {
    if (!g_run.OwnError) SetLastErrorText("The PostScript interpreter did not finish in time and was stopped");
    g_run.Cancelled = g_run.OwnError = true;
    return true;
  }
  if (PluginCallback != nullptr && PluginCallback(0, Current, Total, PluginCallbackData) == 0) {
    if (!g_run.OwnError) SetLastErrorText(kUserCanceled);
    g_run.Cancelled = g_run.OwnError = true;
    return true;
  }
  return false;
}

int GSDLLCALL StdinFn(void*, char* Buf, int Len) {
  try {
    if (g_run.Source == nullptr || Len <= 0 || g_run.Cancelled) return 0;
    const int32_t n = g_run.Source->Read(Buf, Len);
    if (PollCancel(g_run.Source->GetPosition(), g_run.Source->GetSize())) return 0;
    return n;
  } catch (const std::exception& e) {
    SetLastErrorText(e.what());
    g_run.Cancelled = g_run.OwnError = true;
    return 0;
  }
}

// The interpreter's messages on either output: its first line is the complaint of a failed run. The text
// itself goes to a file, so nothing it says is taken for text.
int GSDLLCALL MessageFn(void*, const char* Text, int Len) {
  if (Text == nullptr || Len <= 0) return Len < 0 ? 0 : Len;
  AddComplaint(Text, Len);
  return Len;
}

int GSDLLCALL PollFn(void*) {
  // A negative answer makes the interpreter stop.
  if (g_run.Cancelled) return -1;
  const int32_t pos = g_run.Source ? g_run.Source->GetPosition() : -1;
  const int32_t size = g_run.Source ? g_run.Source->GetSize() : -1;
  return PollCancel(pos, size) ? -1 : 0;
}

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
      !Bind(module, "gsapi_delete_instance", api.DeleteInstance) || !Bind(module, "gsapi_set_stdio", api.SetStdio) ||
      !Bind(module, "gsapi_set_poll", api.SetPoll) || !Bind(module, "gsapi_set_arg_encoding", api.SetArgEncoding) ||
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
  g_run = TRun();
  g_run.Source = &Source;
  g_run.StartTick = TickCount();
  g_running = true;
  struct TRunningScope {
    ~TRunningScope() {
      g_running = false;
      g_run = TRun();
    }
  } scope;

  void* instance = nullptr;
  int code = g_gs.NewInstance(&instance, nullptr);
  if (code < 0) {
    SetLastErrorText("gsapi_new_instance returned " + std::to_string(code));
    return false;
  }
  // Text extraction (UTF-8) into the temporary file; the program comes from standard input ("-").
  const std::string output = "-sOutputFile=" + text.Name();
  const char* args[] = {"",          "-q",       "-dSAFER",          "-dBATCH",         "-dNOPAUSE",
                        "-sDEVICE=txtwrite", "-dTextFormat=3", output.c_str(), "-"};
  const int argc = static_cast<int>(sizeof args / sizeof args[0]);
  g_gs.SetStdio(instance, StdinFn, MessageFn, MessageFn);
  g_gs.SetPoll(instance, PollFn);
  g_gs.SetArgEncoding(instance, GS_ARG_ENCODING_UTF8);
  code = g_gs.InitWithArgs(instance, argc, const_cast<char**>(args));
  const int exitCode = g_gs.Exit(instance);
  g_gs.DeleteInstance(instance);
  if (code == gs_error_Quit) code = 0;
  if (code == 0 && exitCode < 0 && exitCode != gs_error_Quit) code = exitCode;
  if (code != 0 || g_run.Cancelled) {
    if (GetLastErrorText().empty()) SetLastErrorText("gsapi_init_with_args returned " + std::to_string(code));
    return false;
  }
  TVBufFileStream in(text.Name(), fmOpenRead);
  TAnsiTextSink sink(Dest);
  std::string chunk(65536, '\0');
  for (int32_t n; (n = in.Read(chunk.data(), static_cast<int32_t>(chunk.size()))) > 0;)
    sink.Write(std::string_view(chunk.data(), static_cast<size_t>(n)));
  sink.Finish();
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
