// Helpers of the conversion server's tests: a temporary folder, whole-file reads and writes, a run of
// ServerMain on an argument list, and the reset of the server's process-wide state.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugins/frame/ConvCmmn.h"
#include "server/ConvServer.h"
#include "server/ConvTemp.h"
#include "tests/TestFiles.h"

// A folder under $TMPDIR (or /tmp), removed with its content at the end.
class TTestDir {
 public:
  TTestDir() {
    const char* Tmp = std::getenv("TMPDIR");
    std::string Pattern = std::string(Tmp != nullptr && *Tmp != '\0' ? Tmp : "/tmp") + "/srvtestXXXXXX";
    if (::mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Path = Pattern;
  }
  ~TTestDir() {
    std::error_code Ec;
    std::filesystem::remove_all(Path, Ec);
  }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
  std::string Path;
};

inline void WriteAll(const std::string& Name, const std::string& Data) {
  std::ofstream Out(Name, std::ios::binary | std::ios::trunc);
  Out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
}

inline bool Exists(const std::string& Name) { return std::filesystem::exists(Name); }

// Runs ServerMain on "qvcnvsrv" followed by Args.
inline int RunServer(const std::vector<std::string>& Args) {
  std::vector<const char*> Argv{"qvcnvsrv"};
  for (const std::string& A : Args) Argv.push_back(A.c_str());
  return ServerMain(static_cast<int>(Argv.size()), Argv.data());
}

// Restores the server's process-wide state around a test.
struct TServerStateGuard {
  TServerStateGuard() { Reset(); }
  ~TServerStateGuard() { Reset(); }
  static void Reset() {
    ResetServerBackends();
    ClearLastErrorText();
    ErrorFileName.clear();
    RequestFlags = 0;
    ConversionWarning.clear();
    ClearTempFolderOverride();
    PluginCallback = nullptr;
    PluginCallbackData = nullptr;
  }
};

// A back-end that copies the source to the target with a mark, and remembers what it was given.
struct TCopyBackend {
  std::string* LastSource;
  bool* LastUnicode;
  bool operator()(const std::string& Source, const std::string& Target, bool Unicode) const {
    if (LastSource != nullptr) *LastSource = Source;
    if (LastUnicode != nullptr) *LastUnicode = Unicode;
    WriteAll(Target, "converted:" + ReadFileBytes(Source));
    return true;
  }
};
