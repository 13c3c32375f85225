#include "server/PSConv.h"

#include <dlfcn.h>
#include <ghostscript/iapi.h>
#include <ghostscript/ierrors.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/ChildProcess.h"
#include "server/ConvServer.h"
#include "server/ConvTemp.h"
#include "server/Readability.h"
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
    const ssize_t N = ::write(2, Text, Count);
    if (N <= 0) return;
    Text += N;
    Count -= static_cast<size_t>(N);
  }
}

int GSDLLCALL StdinFn(void*, char* Buf, int Len) {
  try {
    if (g_run.Source == nullptr || Len <= 0) return 0;
    const int32_t N = g_run.Source->Read(Buf, Len);
    g_run.Progress->Position = g_run.Source->GetPosition();
    return N;
  } catch (const std::exception& E) {
    WriteMessage(E.what(), std::strlen(E.what()));
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

// The file of page Page (from 1) of the text: PageFiles with the page's number for its "%d".
std::string PageFileName(const std::string& PageFiles, int32_t Page) {
  const size_t At = PageFiles.rfind("%d");
  std::string Name = PageFiles.substr(0, At) + std::to_string(Page) + PageFiles.substr(At + 2);
  // "%%" stands for a "%" of the name.
  for (size_t P = 0; (P = Name.find("%%", P)) != std::string::npos; ++P) Name.erase(P, 1);
  return Name;
}

// Deletes the page files of a run on every path: pages are numbered 1, 2, ... without gaps.
struct TPageFiles {
  std::string Pattern;
  ~TPageFiles() {
    for (int32_t Page = 1;; ++Page) {
      const std::string Name = PageFileName(Pattern, Page);
      if (!GetFileInfo(Name, nullptr, nullptr, nullptr, nullptr, nullptr)) break;
      ForceDeleteFile(Name);
    }
  }
};

// The interpreter's run in its own process: converts the source into one file per page, named by
// PageFiles ("%d" the page number from 1), and answers the exit code, 0 on success.
int InterpreterMain(TVStream& Source, TSharedProgress& Progress, const std::string& PageFiles) {
  PluginCallback = nullptr;  // the channel stays the server's
  g_run.Source = &Source;
  g_run.Progress = &Progress;
  void* Instance = nullptr;
  int Code = g_gs.NewInstance(&Instance, nullptr);
  if (Code < 0) {
    const std::string Text = "gsapi_new_instance returned " + std::to_string(Code) + "\n";
    WriteMessage(Text.data(), Text.size());
    return 1;
  }
  // Text extraction (UTF-8) into a file per page; the program comes from standard input ("-").
  const std::string Output = "-sOutputFile=" + PageFiles;
  const char* Args[] = {
      "", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=txtwrite", "-dTextFormat=3", Output.c_str(),
      "-"};
  const int Argc = static_cast<int>(sizeof Args / sizeof Args[0]);
  g_gs.SetStdio(Instance, StdinFn, MessageFn, MessageFn);
  g_gs.SetArgEncoding(Instance, GS_ARG_ENCODING_UTF8);
  Code = g_gs.InitWithArgs(Instance, Argc, const_cast<char**>(Args));
  const int ExitCode = g_gs.Exit(Instance);
  g_gs.DeleteInstance(Instance);
  if (Code == gs_error_Quit) Code = 0;
  if (Code == 0 && ExitCode < 0 && ExitCode != gs_error_Quit) Code = ExitCode;
  if (Code == 0) return 0;
  const std::string Text = "\ngsapi_init_with_args returned " + std::to_string(Code) + "\n";
  WriteMessage(Text.data(), Text.size());
  return 1;
}

// The first line of the interpreter's messages that holds text.
std::string FirstComplaint(const std::string& Messages) {
  size_t Start = 0;
  while (Start < Messages.size()) {
    size_t End = Messages.find_first_of("\r\n", Start);
    if (End == std::string::npos) End = Messages.size();
    if (End > Start) return Messages.substr(Start, End - Start);
    Start = End + 1;
  }
  return std::string();
}

// Unmaps the shared progress on every path.
struct TSharedProgressMap {
  TSharedProgressMap() {
    void* P =
        ::mmap(nullptr, sizeof(TSharedProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    Progress = P == MAP_FAILED ? nullptr : static_cast<TSharedProgress*>(P);
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
  void* Module = nullptr;
  if (!GhostscriptLibrary.empty()) {
    Module = ::dlopen(GhostscriptLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    for (const char* Name : {"libgs.so.10", "libgs.so"})
      if ((Module = ::dlopen(Name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
  }
  if (Module == nullptr) {
    SetLastErrorText(kCantLoad);
    return false;
  }
  TGsApi Api;
  Api.Module = Module;
  if (!Bind(Module, "gsapi_new_instance", Api.NewInstance) ||
      !Bind(Module, "gsapi_delete_instance", Api.DeleteInstance) ||
      !Bind(Module, "gsapi_set_stdio", Api.SetStdio) ||
      !Bind(Module, "gsapi_set_arg_encoding", Api.SetArgEncoding) ||
      !Bind(Module, "gsapi_init_with_args", Api.InitWithArgs) || !Bind(Module, "gsapi_exit", Api.Exit)) {
    ::dlclose(Module);
    SetLastErrorText(kNoEntryPoints);
    return false;
  }
  g_gs = Api;
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
  TTempFile Text;
  if (!Text.Make()) return false;
  ClearLastErrorText();
  ConversionWarning.clear();
  TSharedProgressMap Shared;
  if (Shared.Progress == nullptr) {
    SetLastErrorText("Can't start Ghostscript: " + std::string(std::strerror(errno)));
    return false;
  }
  g_running = true;
  struct TRunningScope {
    ~TRunningScope() { g_running = false; }
  } Scope;

  TChildOptions Options;
  Options.CaptureStderr = true;
  Options.MaxCapture = 65536;
  Options.TimeoutMs = PsTimeoutMs;
  Options.GraceMs = 0;  // the interpreter holds nothing that a kill would damage
  const int32_t Size = Source.GetSize();
  if (PluginCallback != nullptr) {
    const TPluginCallback Callback = PluginCallback;
    void* const Data = PluginCallbackData;
    Options.Poll = [Callback, Data, &Shared, Size] {
      return Callback(0, Shared.Progress->Position, Size, Data) != 0;
    };
  }
  const std::string TextFile = Text.Name();
  // The pages come in files of their own, so that each is judged alone. A "%" of the name is doubled.
  TPageFiles Pages;
  for (char C : TextFile) Pages.Pattern += C == '%' ? std::string("%%") : std::string(1, C);
  Pages.Pattern += "-%d";
  const std::string& PageFiles = Pages.Pattern;
  const TChildResult Run = RunForked(
      [&Source, &Shared, &PageFiles] { return InterpreterMain(Source, *Shared.Progress, PageFiles); },
      Options);
  const std::string Complaint = FirstComplaint(Run.Stderr);
  if (!ChildEndedByItself(Run, "Ghostscript", PsTimeoutMs)) return false;
  if (Run.End == TChildEnd::Signalled || Run.ExitCode != 0) {
    SetLastErrorText(Complaint.empty() ? "The PostScript interpreter ended abnormally" : Complaint);
    return false;
  }
  // Each page whose text can be read goes into the text; a page that cannot is left out and named, and a
  // page that may not be readable is kept and named. With no page kept the conversion fails.
  std::vector<int32_t> Unreadable, Doubtful;
  bool AnyReadableText = false;
  {
    TVBufFileStream Joined(TextFile, fmCreate);
    for (int32_t Page = 1;; ++Page) {
      const std::string Name = PageFileName(PageFiles, Page);
      if (!GetFileInfo(Name, nullptr, nullptr, nullptr, nullptr, nullptr)) break;
      const std::string PageText = ReadUtf8File(Name);
      const TPageReadability Verdict = JudgePage(PageText);
      if (Verdict == TPageReadability::Unreadable) {
        Unreadable.push_back(Page);
        continue;
      }
      if (Verdict == TPageReadability::Doubtful) Doubtful.push_back(Page);
      AnyReadableText = AnyReadableText || !IsBlankText(PageText);
      if (!PageText.empty()) Joined.Write(PageText.data(), static_cast<int32_t>(PageText.size()));
    }
    Joined.Close();
  }
  if (!Unreadable.empty() && !AnyReadableText) {
    SetLastErrorText(kUnreadableText);
    return false;
  }
  WriteUtf8FileAsAnsi(TextFile, Dest);
  // The conversion succeeds with the pages kept; the note on the others is its warning, which reaches the
  // caller (see ConvServer.h), and goes to the error output too.
  ConversionWarning = PagesNote(Unreadable, Doubtful);
  if (!ConversionWarning.empty()) std::fprintf(stderr, "%s\n", ConversionWarning.c_str());
  return true;
}

bool ConvertPostScript(const std::string& Source, const std::string& Target) {
  try {
    TVBufFileStream In(Source, fmOpenRead | fmShareDenyWrite);
    auto Dest = std::make_unique<TVBufFileStream>(Target, fmCreate);
    const bool Ok = RunPs2Ascii(In, *Dest);
    Dest->Close();
    if (!Ok) {
      Dest.reset();
      ForceDeleteFile(Target);
    }
    return Ok;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
