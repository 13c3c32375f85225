#include "app/MainForm.h"

#include <malloc.h>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "archive/ArcScan.h"
#include "archive/ace/arlUnAce2.h"
#include "archive/cab/arlUnCab.h"
#include "archive/rar/UnRarDyn.h"
#include "core/CmdLine.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "core/TextStream.h"
#include "core/VFileSys.h"
#include "platform/registry/RegStore.h"
#include "search/QVConvIntf.h"

std::string LogBuffer;
bool LogBufferShow = false;
bool LogSeparatorPending = false;
std::unique_ptr<TTextStream> LogFile;
bool MemoryMode = false;
std::function<void(const std::string& Text, bool Show)> LogWindowSink;

namespace {

// The buffer size of the log file.
constexpr int32_t kLogFileBufSize = 65536;

// Every line break (CR LF, lone CR, lone LF) as CR LF.
std::string NormalizeLineBreaks(const std::string& Text) {
  std::string Result;
  Result.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    char C = Text[I];
    if (C == '\r') {
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
      Result += "\r\n";
    } else if (C == '\n') {
      Result += "\r\n";
    } else {
      Result += C;
    }
  }
  return Result;
}

}  // namespace

void Log(const std::string& Entry, bool Show, bool Separator) {
  std::string Text = NormalizeLineBreaks(Entry);
  if (Separator || LogSeparatorPending) {
    Text = "---\r\n" + Text;
    LogSeparatorPending = false;
  }
  LogSeparatorPending = Separator;
  Show = Show && ProgramSettings().ViewOptions.LogWindow;
  if (LogWindowSink) {
    LogWindowSink(Text, Show);
  } else {
    if (!LogBuffer.empty()) LogBuffer += "\r\n";
    LogBuffer += Text;
    LogBufferShow = LogBufferShow || Show;
  }
  if (LogFile) {
    try {
      LogFile->WriteLine(Text);
    } catch (const std::exception&) {
      // The log file is a convenience: a full disk must not stop the program.
    }
  }
}

void FlushLogBuffer() {
  if (!LogWindowSink || LogBuffer.empty()) return;
  std::string Text;
  Text.swap(LogBuffer);
  bool Show = LogBufferShow;
  LogBufferShow = false;
  LogWindowSink(Text, Show);
}

void OpenLogFile(const std::string& FileName) {
  try {
    LogFile = std::make_unique<TTextStream>(FileName, tsmRewrite, kLogFileBufSize);
  } catch (const std::exception&) {
    LogFile.reset();
  }
}

void CloseLogFile() {
  if (!LogFile) return;
  try {
    LogFile->Close();
  } catch (const std::exception&) {
  }
  LogFile.reset();
}

TMainCommandLine ParseMainCommandLine(int Argc, const char* const* Argv) {
  TWideCommandLineParser Parser;  // "-" alone: "/" begins a path here
  Parser.ParseArgs(Argc, Argv, 0);
  TMainCommandLine Result;
  Result.ProgramPath = WideUnquoteStr(Parser.GetParam(0));
  Result.Text = WideUnquoteStr(Parser.GetOption(u"text"));
  Result.Path = Parser.GetOption(u"path");
  Result.Mask = WideUnquoteStr(Parser.GetOption(u"mask"));
  Result.DebugMode = Parser.HasOption(u"debug");
  Result.TimeMode = Parser.HasOption(u"time");
  Result.MemoryMode = Result.DebugMode || Parser.HasOption(u"mem");
  Result.LogToFile = Parser.HasOption(u"log");
  return Result;
}

std::u16string LogFileNameFor(const std::u16string& ProgramPath) {
  size_t Slash = ProgramPath.rfind(u'/');
  size_t Dot = ProgramPath.rfind(u'.');
  bool HasExt = Dot != std::u16string::npos && (Slash == std::u16string::npos || Dot > Slash + 1);
  return (HasExt ? ProgramPath.substr(0, Dot) : ProgramPath) + u".log";
}

std::u16string StatusLineText(const std::u16string& Text, bool AddPeriod, bool ShowMemory,
                              int64_t Allocated) {
  std::u16string Status = AddPeriod ? WideAddPeriod(Text) : Text;
  if (!ShowMemory) return Status;
  return WideAddPeriod(Text) + u" Memory allocated: " + Utf8ToUtf16(std::to_string(Allocated)) + u".";
}

int64_t AllocatedMemory() {
  struct mallinfo2 Info = mallinfo2();
  return static_cast<int64_t>(Info.uordblks + Info.hblkhd);
}

std::string StartupErrorLine(int32_t MsgIndex, const std::string& ExceptionText) {
  return FormatMsg(static_cast<TMsgIndex>(MsgIndex), {LowerFirstChar(ExceptionText)});
}

std::string ExceptionLogLine(const std::string& ExceptionText) {
  return GetMsg(TMsgIndex::Exception) + ". " + AddPeriod(UpperFirstChar(ExceptionText));
}

int32_t LoadConverters(TQVConverters& Converters, const std::string& Folder, const TStrLst& DisabledNames) {
  std::string Dir = IncludeTrailingSlash(Folder);
  TStrLst Files;
  ListFiles(Files, Dir, kConverterMask, false);
  if (Files.GetCount() == 0) {
    Log(FormatMsg(TMsgIndex::ConvNotFoundIn_s, {ExcludeTrailingSlash(Dir)}));
    return 0;
  }
  Files.Sort();
  int32_t Loaded = 0;
  for (int32_t I = 0; I < Files.GetCount(); ++I) {
    const std::string& Path = Files.Get(I);
    std::string Name = Utf16ToUtf8(WideExtractFileName(Utf8ToUtf16(Path)));
    bool Disabled = DisabledNames.IndexOf(Name) >= 0;
    std::string Line;
    switch (Converters.AddConverter(Path, Disabled)) {
      case kConverterLoaded:
        ++Loaded;
        Line = FormatMsg(TMsgIndex::ConvLoaded_s, {Name});
        if (Disabled) Line = AddPeriod(Line) + " " + GetMsg(TMsgIndex::Disabled);
        break;
      case kConverterLoadFailed:
        Line = FormatMsg(TMsgIndex::ConvCantLoad_ss, {Path, Converters.LastLoadError});
        break;
      default:
        Line = FormatMsg(TMsgIndex::ConvInvalid_s, {Path});
        break;
    }
    Log(AddPeriod(Line));
  }
  return Loaded;
}

std::string ReadSharedFilesDir() {
  TRegKey Key;
  if (RegStore().OpenKey(TRegRoot::LocalMachine, "Software\\Quorvane", false, Key) != TRegStatus::Ok)
    return {};
  TRegValue Value;
  if (RegStore().ReadValue(Key, "SharedFilesDir", Value) != TRegStatus::Ok) return {};
  // At most 261 bytes, up to the first NUL, as the value was written for a path buffer.
  std::string Dir = Value.Data.substr(0, 261);
  Dir = Dir.substr(0, Dir.find('\0'));
  return Dir.empty() ? Dir : IncludeTrailingSlash(Dir);
}

void BindArchiveLibraries(const std::string& Folder) {
  if (!LoadUnAceDll(Folder + "UnAceV2.so")) UnloadUnAceDll();
  if (!LoadCabinetDll(Folder + "cabinet.so")) UnloadCabinetDll();
  if (!LoadUnRarDll(Folder + "UnRar3.so")) UnloadUnRarDll();
}

void LoadStartupConverters(TQVConverters& Converters, const std::string& SharedDir,
                           const std::string& ProgramDir, const TStrLst& DisabledNames) {
  if (!SharedDir.empty()) {
    BindArchiveLibraries(SharedDir);
    LoadConverters(Converters, SharedDir, DisabledNames);
  }
  if (Converters.Count() == 0) LoadConverters(Converters, ProgramDir, DisabledNames);
}

void PrepareExcludedDirs(TWideStrLst& Dirs, bool FirstRun, const std::u16string& TempDir) {
  if (FirstRun) {
    // A first run: the temporary folder and the system's virtual file systems are never searched.
    for (const std::u16string& Dir :
         {TempDir, std::u16string(u"/proc"), std::u16string(u"/sys"), std::u16string(u"/dev")})
      if (!Dir.empty()) Dirs.Add(Dir);
  }
  for (int32_t I = 0; I < Dirs.GetCount(); ++I) {
    std::u16string Dir = Dirs.Get(I);
    if (Dir.empty() || Dir.back() != u'/') Dir += u'/';
    Dirs.Delete(I);
    Dirs.Insert(I, Dir);
  }
  Dirs.Sort();
}

std::vector<TArchiveLibraryFile> LoadArchiveLibraries() {
  struct TLibrary {
    const char* Name;
    bool (*Load)(const std::string&);
    void (*Unload)();
    std::string (*FileName)();
  };
  const TLibrary Libraries[] = {
      {"UnAceV2.so", LoadUnAceDll, UnloadUnAceDll, UnAceDllFileName},
      {"cabinet.so", LoadCabinetDll, UnloadCabinetDll, CabinetDllFileName},
      {"UnRar3.so", LoadUnRarDll, UnloadUnRarDll, UnRarDllFileName},
  };
  std::vector<TArchiveLibraryFile> Files;
  for (const TLibrary& L : Libraries) {
    if (L.Load(std::string())) {
      Files.push_back({L.Name, L.FileName()});
    } else {
      L.Unload();
      Files.push_back({L.Name, std::string()});
    }
  }
  return Files;
}

void LogArchiveLibraries() {
  for (const TArchiveLibraryFile& L : LoadArchiveLibraries()) {
    if (!L.FileName.empty())
      Log("Archive library \"" + L.Name + "\" loaded from \"" + L.FileName + "\".");
    else
      Log("Archive library \"" + L.Name + "\" not found.");
  }
}

void LogDisabledArchiveKinds() {
  for (size_t Kind = 1; Kind < ArcInfos.size(); ++Kind)
    if (!ArcInfos[Kind].Enabled) Log(GetMsg(TMsgIndex::Disabled) + ": " + ArcInfos[Kind].Name);
}
