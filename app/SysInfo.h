// The system information report of the About box, without widgets: plain-text lines about the system,
// the program, the machine, the locale, the converters and the libraries in use, for support requests.
// The facts come in a TSysInfoSources record; CollectSysInfoSources reads them from this system, tests
// give their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/MainForm.h"

class TQVConverters;

// Binds the outside archive libraries and names each with the file bound for it.
using TArchiveLibraryLoader = std::function<std::vector<TArchiveLibraryFile>()>;

// One file the report names: its path, its version when known and its date and time as text.
struct TModuleInfo {
  std::string FileName;
  std::string Version;
  std::string DateTime;
  bool Readable = false;  // false: the file's information could not be read (no line)
};

// One locale fact, read for the system default and the user default locale; each may carry a second,
// localised value.
struct TLocaleFact {
  std::string Label;  // "Country", "Country code" (the telephone code), "Language", "Codepage"
  std::string System, SystemLocal, User, UserLocal;
};

struct TConverterInfo {
  bool Disabled = false;
  std::string ModuleName;
  std::string DllInfo;
};

struct TSysInfoSources {
  std::string SystemName;  // the operating system's name and version
  std::string CurrentDateTime;
  std::string BuildNumber;  // empty when unknown
  TModuleInfo Program;
  std::string CommandLine;
  std::string CpuName;  // empty: unknown
  std::string CpuMHz;   // empty: not known
  uint64_t TotalPhysical = 0, AvailPhysical = 0, TotalVirtual = 0, AvailVirtual = 0;
  int32_t ScreenDepth = 0;
  std::string TempDir;
  std::vector<TLocaleFact> Locale;
  std::vector<TConverterInfo> Converters;
  std::vector<TModuleInfo> OwnLibraries;      // "Quorvane libraries:"
  std::vector<TModuleInfo> ArchiveLibraries;  // "Libraries for supporting archives:"
  std::vector<TModuleInfo> SystemLibraries;
  TModuleInfo WebBrowser;    // Readable false: no browser block
  std::string SystemFolder;  // a module in it is named by file name only
};

// The program's version ("0.1.0") and its build number: the version and the build's own number
// ("0.1.0.412"); the build system sets both.
std::string ProgramVersion();
std::string ProgramBuildNumber();
// "n Mbytes" for a whole number of megabytes, else "n Kbytes".
std::string MemorySizeText(uint64_t Bytes);
// A module's line: its name in single quotes (only the file name inside SystemFolder), " ver: v" when a
// version is known, a blank and its date; empty when it cannot be read.
std::string ModuleLine(const TModuleInfo& Module, const std::string& SystemFolder);
// The lines of the report.
std::vector<std::string> BuildSystemReport(const TSysInfoSources& S);
// The facts of this system and program. The outside archive libraries are bound first when they are not
// yet (LoadLibraries, by default LoadArchiveLibraries of MainForm.h), so the report names them.
TSysInfoSources CollectSysInfoSources(const TQVConverters* Converters, int32_t ScreenDepth,
                                      const TArchiveLibraryLoader& LoadLibraries = {});
