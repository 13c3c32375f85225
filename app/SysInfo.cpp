#include "app/SysInfo.h"

#include <dlfcn.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unicode/uclean.h>
#include <unicode/uloc.h>
#include <unicode/uversion.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "app/MainForm.h"
#include "app/OptionPages.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"
#include "search/QVConvIntf.h"

// The version and the build, as the build system sets them.
#ifndef SCRYLINE_VERSION
#define SCRYLINE_VERSION "0"
#endif
#ifndef SCRYLINE_BUILD
#define SCRYLINE_BUILD "0"
#endif

std::string ProgramVersion() { return SCRYLINE_VERSION; }

std::string ProgramBuildNumber() { return std::string(SCRYLINE_VERSION) + "." + SCRYLINE_BUILD; }

std::string MemorySizeText(uint64_t Bytes) {
  constexpr uint64_t Mb = 1048576;
  if (Bytes % Mb == 0) return std::to_string(Bytes / Mb) + " Mbytes";
  return std::to_string(Bytes / 1024) + " Kbytes";
}

std::string ModuleLine(const TModuleInfo& Module, const std::string& SystemFolder) {
  if (!Module.Readable) return {};
  std::string Name = Module.FileName;
  const size_t Slash = Name.rfind('/');
  if (!SystemFolder.empty() && Slash != std::string::npos && Name.substr(0, Slash + 1) == SystemFolder)
    Name = Name.substr(Slash + 1);
  std::string Line = "'" + Name + "'";
  if (!Module.Version.empty()) Line += " ver: " + Module.Version;
  return Line + " " + Module.DateTime;
}

namespace {

std::string Pair(const std::string& First, const std::string& Second) {
  if (Second.empty() || Second == First) return First;
  return First + " (" + Second + ")";
}

std::string LowerFirst(std::string S) {
  if (!S.empty()) S[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(S[0])));
  return S;
}

void AddModules(std::vector<std::string>& Lines, const std::vector<TModuleInfo>& Modules,
                const std::string& Folder) {
  for (const TModuleInfo& M : Modules)
    if (M.Readable) Lines.push_back(ModuleLine(M, Folder));
}

bool AnyReadable(const std::vector<TModuleInfo>& Modules) {
  for (const TModuleInfo& M : Modules)
    if (M.Readable) return true;
  return false;
}

}  // namespace

std::vector<std::string> BuildSystemReport(const TSysInfoSources& S) {
  std::vector<std::string> L;
  L.push_back(S.SystemName);
  L.push_back("Current date and time: " + S.CurrentDateTime);
  L.push_back("");
  L.push_back("Scryline v.1.0 build " + S.BuildNumber);
  if (S.Program.Readable) L.push_back(ModuleLine(S.Program, S.SystemFolder));
  L.push_back("Command line: '" + S.CommandLine + "'");
  L.push_back("");
  if (S.CpuName.empty())
    L.push_back("Central Processor: Unknown CPU ");
  else
    L.push_back("Central Processor: " + S.CpuName +
                (S.CpuMHz.empty() ? "" : " running at " + S.CpuMHz + " MHz"));
  L.push_back("Total physical memory: " + MemorySizeText(S.TotalPhysical));
  L.push_back("Physical memory available: " + MemorySizeText(S.AvailPhysical));
  L.push_back("Total virtual memory: " + MemorySizeText(S.TotalVirtual));
  L.push_back("Virtual memory available: " + MemorySizeText(S.AvailVirtual));
  L.push_back("Bits per pixel on the screen: " + std::to_string(S.ScreenDepth));
  L.push_back("Path designated for temporary files: \"" + S.TempDir + "\"");
  L.push_back("");
  for (const TLocaleFact& F : S.Locale) {
    const std::string System = Pair(F.System, F.SystemLocal), User = Pair(F.User, F.UserLocal);
    if (System == User) {
      L.push_back(F.Label + ": " + System);
    } else {
      L.push_back("System default " + LowerFirst(F.Label) + ": " + System);
      L.push_back("User default " + LowerFirst(F.Label) + ": " + User);
    }
  }
  if (!S.Converters.empty()) {
    L.push_back("");
    L.push_back("Converters:");
    for (const TConverterInfo& C : S.Converters)
      L.push_back(std::string(C.Disabled ? "[disabled]" : "[enabled]") + " '" + C.ModuleName + "' (" +
                  C.DllInfo + ")");
  }
  L.push_back("");
  L.push_back("Quorvane libraries:");
  AddModules(L, S.OwnLibraries, S.SystemFolder);
  if (AnyReadable(S.ArchiveLibraries)) {
    L.push_back("");
    L.push_back("Libraries for supporting archives:");
    AddModules(L, S.ArchiveLibraries, S.SystemFolder);
  }
  L.push_back("");
  L.push_back("System libraries:");
  AddModules(L, S.SystemLibraries, S.SystemFolder);
  if (S.WebBrowser.Readable) {
    L.push_back("");
    L.push_back("Default Web browser:");
    L.push_back(ModuleLine(S.WebBrowser, S.SystemFolder));
  }
  return L;
}

// --- This system's facts ------------------------------------------------------------------------------

namespace {

std::string FileDateTime(time_t T) {
  char Buf[32];
  struct tm Tm;
  localtime_r(&T, &Tm);
  std::strftime(Buf, sizeof Buf, "%Y-%m-%d %H:%M:%S", &Tm);
  return Buf;
}

TModuleInfo FileModule(const std::string& FileName, const std::string& Version) {
  TModuleInfo M;
  M.FileName = FileName;
  M.Version = Version;
  struct stat St;
  if (FileName.empty() || stat(FileName.c_str(), &St) != 0) return M;
  M.DateTime = FileDateTime(St.st_mtime);
  M.Readable = true;
  return M;
}

// The value of "key : value" lines of /proc/cpuinfo for the first processor.
std::string CpuInfoValue(const std::string& Key) {
  std::ifstream F("/proc/cpuinfo");
  std::string Line;
  while (std::getline(F, Line)) {
    const size_t Colon = Line.find(':');
    if (Colon == std::string::npos) continue;
    std::string Name = Line.substr(0, Colon);
    while (!Name.empty() && std::isspace(static_cast<unsigned char>(Name.back()))) Name.pop_back();
    if (Name == Key) {
      std::string Value = Line.substr(Colon + 1);
      const size_t First = Value.find_first_not_of(" \t");
      return First == std::string::npos ? std::string() : Value.substr(First);
    }
  }
  return {};
}

// The value of a "KEY=value" line of a small settings file (quotes around the value dropped); empty when
// the file has no such line.
std::string AssignedValue(const char* FileName, const std::string& Key) {
  std::ifstream F(FileName);
  std::string Line;
  while (std::getline(F, Line))
    if (Line.rfind(Key + "=", 0) == 0) {
      std::string V = Line.substr(Key.size() + 1);
      if (V.size() >= 2 && V.front() == '"' && V.back() == '"') V = V.substr(1, V.size() - 2);
      return V;
    }
  return {};
}

std::string OsReleaseName() { return AssignedValue("/etc/os-release", "PRETTY_NAME"); }

// The system default locale, "C" without one.
std::string SystemLocaleName() {
  const std::string Name = AssignedValue("/etc/default/locale", "LANG");
  return Name.empty() ? "C" : Name;
}

std::string UserLocaleName() {
  for (const char* Var : {"LC_ALL", "LC_CTYPE", "LANG"})
    if (const char* V = std::getenv(Var); V != nullptr && *V != '\0') return V;
  return "C";
}

// "de_DE.UTF-8@euro" -> language "de", country "DE", codeset "UTF-8".
void SplitLocale(const std::string& Name, std::string& Language, std::string& Country, std::string& Codeset) {
  std::string N = Name.substr(0, Name.find('@'));
  const size_t Dot = N.find('.');
  Codeset = Dot == std::string::npos ? std::string() : N.substr(Dot + 1);
  N = N.substr(0, Dot);
  const size_t Bar = N.find('_');
  Language = N.substr(0, Bar);
  Country = Bar == std::string::npos ? std::string() : N.substr(Bar + 1);
}

// A name of a locale's country or language by ICU, in the language of InLocale; empty when ICU has none.
std::string DisplayName(int32_t (*Get)(const char*, const char*, UChar*, int32_t, UErrorCode*),
                        const std::string& Id, const std::string& InLocale) {
  UChar Buf[128];
  UErrorCode Error = U_ZERO_ERROR;
  const int32_t N = Get(Id.c_str(), InLocale.c_str(), Buf, 128, &Error);
  if (U_FAILURE(Error) || N <= 0) return std::string();
  return Utf16ToUtf8(
      std::u16string(reinterpret_cast<const char16_t*>(Buf), static_cast<size_t>(std::min(N, 128))));
}

// The country's international telephone code as the locale's telephone category gives it ("49" for
// de_DE, "7" for ru_RU); empty for a locale that has none (the C locale) or that is not installed.
std::string TelephoneCode(const std::string& Locale) {
  if (Locale.empty()) return {};  // newlocale would take an empty name as the environment's locale
  const locale_t Telephone = newlocale(LC_TELEPHONE_MASK, Locale.c_str(), static_cast<locale_t>(nullptr));
  if (Telephone == static_cast<locale_t>(nullptr)) return {};
  const char* Code = nl_langinfo_l(_NL_TELEPHONE_INT_PREFIX, Telephone);
  std::string Result = Code != nullptr ? Code : "";
  freelocale(Telephone);
  return Result;
}

// A country's name in English and in the locale's own language ("de_DE" -> "Germany", "Deutschland");
// a locale without a country (the C locale) names none.
void CountryNames(const std::string& Locale, std::string& English, std::string& Local) {
  English.clear();
  Local.clear();
  std::string Language, Country, Codeset;
  SplitLocale(Locale, Language, Country, Codeset);
  if (Country.empty()) return;
  const std::string Id = Language + "_" + Country;
  English = DisplayName(uloc_getDisplayCountry, Id, "en");
  Local = DisplayName(uloc_getDisplayCountry, Id, Id);
  if (English.empty()) English = Country;
}

// A language's name in English and in itself ("ru_RU.UTF-8" -> "Russian", "русский"). The C and POSIX
// locales speak English; a code ICU does not know stays as it is.
void LanguageNames(const std::string& Locale, std::string& English, std::string& Local) {
  std::string Language, Country, Codeset;
  SplitLocale(Locale, Language, Country, Codeset);
  if (Language.empty() || Language == "C" || Language == "POSIX") Language = "en";
  English = DisplayName(uloc_getDisplayLanguage, Language, "en");
  Local = DisplayName(uloc_getDisplayLanguage, Language, Language);
  if (English.empty() || English == Language) {
    English = Language;
    Local.clear();
  }
}

// A code page as the search uses it: its number and its charset's name ("1251 (windows-1251)").
std::string CodePageText(int32_t CodePage, uint8_t Charset) {
  char Name[64] = {};
  std::string Text = std::to_string(CodePage);
  if (qvnls::GetHTMLCharsetNameBuf(Charset, Name, sizeof Name)) Text += std::string(" (") + Name + ")";
  return Text;
}

// The folders of an XDG base-directory pair: the user's own (UserVar, else $HOME + UserFallback), then those
// of the list ListVar (":"-separated, else ListFallback), each with Suffix appended.
std::vector<std::string> XdgFolders(const char* UserVar, const char* UserFallback, const char* ListVar,
                                    const char* ListFallback, const std::string& Suffix) {
  std::vector<std::string> Folders;
  if (const char* User = std::getenv(UserVar); User != nullptr && *User == '/')
    Folders.push_back(User + Suffix);
  else if (const char* Home = std::getenv("HOME"); Home != nullptr && *Home == '/')
    Folders.push_back(std::string(Home) + UserFallback + Suffix);
  const char* List = std::getenv(ListVar);
  std::string Rest = List != nullptr && *List != '\0' ? List : ListFallback;
  while (!Rest.empty()) {
    const size_t Colon = Rest.find(':');
    const std::string Folder = Rest.substr(0, Colon);
    if (!Folder.empty() && Folder[0] == '/') Folders.push_back(Folder + Suffix);
    Rest = Colon == std::string::npos ? std::string() : Rest.substr(Colon + 1);
  }
  return Folders;
}

// The value of Key in the [Section] of a desktop-entry style file; empty when there is none.
std::string SectionValue(const std::string& FileName, const std::string& Section, const std::string& Key) {
  std::ifstream F(FileName);
  std::string Line;
  bool Inside = false;
  while (std::getline(F, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (!Line.empty() && Line[0] == '[') {
      Inside = Line == "[" + Section + "]";
      continue;
    }
    const size_t Equals = Line.find('=');
    if (!Inside || Equals == std::string::npos) continue;
    std::string Name = Line.substr(0, Equals);
    while (!Name.empty() && Name.back() == ' ') Name.pop_back();
    if (Name != Key) continue;
    const size_t First = Line.find_first_not_of(' ', Equals + 1);
    return First == std::string::npos ? std::string() : Line.substr(First);
  }
  return {};
}

// The file of a desktop entry by its id ("firefox-esr.desktop") in the applications folders.
std::string DesktopEntryFile(const std::string& Id) {
  if (Id.empty() || Id.find('/') != std::string::npos) return {};
  for (const std::string& Folder : XdgFolders("XDG_DATA_HOME", "/.local/share", "XDG_DATA_DIRS",
                                              "/usr/local/share:/usr/share", "/applications/"))
    if (FileExists(Folder + Id)) return Folder + Id;
  return {};
}

// The program a desktop entry starts: the first word of its Exec line without its quotes, looked up in PATH
// when it names no folder; empty when it names none that exists.
std::string DesktopEntryProgram(const std::string& EntryFile) {
  const std::string Exec = SectionValue(EntryFile, "Desktop Entry", "Exec");
  std::string Word;
  size_t I = Exec.find_first_not_of(' ');
  if (I == std::string::npos) return {};
  if (Exec[I] == '"') {
    for (++I; I < Exec.size() && Exec[I] != '"'; ++I) {
      if (Exec[I] == '\\' && I + 1 < Exec.size()) ++I;
      Word += Exec[I];
    }
  } else {
    Word = Exec.substr(I, Exec.find(' ', I) - I);
  }
  if (Word.find('/') != std::string::npos) return FileExists(Word) ? Word : std::string();
  return Word.empty() ? std::string() : FindOnPath(Word);
}

// The program the desktop opens web links with: the entry for x-scheme-handler/http under "[Default
// Applications]" of the first mimeapps.list that names an installed one (the desktop's own lists before
// the general ones, the user's before the system's, as the desktops read them), else the first one the
// installed entries offer (mimeinfo.cache); empty when there is none.
std::string DefaultBrowserProgram() {
  constexpr const char* kHttp = "x-scheme-handler/http";
  std::vector<std::string> Desktops;
  if (const char* Current = std::getenv("XDG_CURRENT_DESKTOP"); Current != nullptr) {
    std::string Rest = Current;
    while (!Rest.empty()) {
      std::string Name = Rest.substr(0, Rest.find(':'));
      for (char& C : Name) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
      if (!Name.empty()) Desktops.push_back(Name + "-");
      Rest = Rest.find(':') == std::string::npos ? std::string() : Rest.substr(Rest.find(':') + 1);
    }
  }
  Desktops.push_back("");
  std::vector<std::string> Lists;
  std::vector<std::string> Folders =
      XdgFolders("XDG_CONFIG_HOME", "/.config", "XDG_CONFIG_DIRS", "/etc/xdg", "/");
  for (const std::string& Folder : XdgFolders("XDG_DATA_HOME", "/.local/share", "XDG_DATA_DIRS",
                                              "/usr/local/share:/usr/share", "/applications/"))
    Folders.push_back(Folder);
  for (const std::string& Folder : Folders)
    for (const std::string& Desktop : Desktops) Lists.push_back(Folder + Desktop + "mimeapps.list");
  // A value is a ";"-separated list of entry ids; the first installed one counts.
  auto FirstProgram = [](const std::string& Ids) {
    std::string Rest = Ids;
    while (!Rest.empty()) {
      const size_t Semicolon = Rest.find(';');
      const std::string File = DesktopEntryFile(Rest.substr(0, Semicolon));
      if (!File.empty()) return DesktopEntryProgram(File);
      Rest = Semicolon == std::string::npos ? std::string() : Rest.substr(Semicolon + 1);
    }
    return std::string();
  };
  for (const std::string& List : Lists)
    if (const std::string Program = FirstProgram(SectionValue(List, "Default Applications", kHttp));
        !Program.empty())
      return Program;
  for (const std::string& Folder : XdgFolders("XDG_DATA_HOME", "/.local/share", "XDG_DATA_DIRS",
                                              "/usr/local/share:/usr/share", "/applications/"))
    if (const std::string Program =
            FirstProgram(SectionValue(Folder + "mimeinfo.cache", "MIME Cache", kHttp));
        !Program.empty())
      return Program;
  return {};
}

// The loaded shared libraries whose file name is one of Names, by their full paths.
std::vector<std::string> LoadedLibraries(const std::vector<std::string>& Names) {
  std::vector<std::string> Found;
  std::ifstream Maps("/proc/self/maps");
  std::string Line;
  while (std::getline(Maps, Line)) {
    const size_t Slash = Line.find('/');
    if (Slash == std::string::npos) continue;
    const std::string Path = Line.substr(Slash);
    const std::string Base = Path.substr(Path.rfind('/') + 1);
    for (const std::string& N : Names)
      if (Base == N && std::find(Found.begin(), Found.end(), Path) == Found.end()) Found.push_back(Path);
  }
  return Found;
}

// The file of the shared library that holds Symbol.
std::string LibraryOf(const void* Symbol) {
  Dl_info Info;
  if (dladdr(Symbol, &Info) == 0 || Info.dli_fname == nullptr) return {};
  return Info.dli_fname;
}

}  // namespace

TSysInfoSources CollectSysInfoSources(const TQVConverters* Converters, int32_t ScreenDepth,
                                      const TArchiveLibraryLoader& LoadLibraries) {
  TSysInfoSources S;
  struct utsname U;
  if (uname(&U) == 0) S.SystemName = std::string(U.sysname) + " " + U.release;
  if (const std::string Os = OsReleaseName(); !Os.empty()) S.SystemName += " (" + Os + ")";
  S.CurrentDateTime = FileDateTime(std::time(nullptr));
  S.BuildNumber = ProgramBuildNumber();
  std::string Exe(4096, '\0');
  const ssize_t N = readlink("/proc/self/exe", Exe.data(), Exe.size() - 1);
  Exe.resize(N > 0 ? static_cast<size_t>(N) : 0);
  S.Program = FileModule(Exe, ProgramVersion());
  std::ifstream Cmd("/proc/self/cmdline", std::ios::binary);
  std::string Args((std::istreambuf_iterator<char>(Cmd)), std::istreambuf_iterator<char>());
  while (!Args.empty() && Args.back() == '\0') Args.pop_back();
  for (char& C : Args)
    if (C == '\0') C = ' ';
  S.CommandLine = Args;
  S.CpuName = CpuInfoValue("model name");
  if (const std::string MHz = CpuInfoValue("cpu MHz"); !MHz.empty())
    S.CpuMHz = std::to_string(std::atoi(MHz.c_str()));
  struct sysinfo Info;
  if (sysinfo(&Info) == 0) {
    const uint64_t Unit = Info.mem_unit;
    S.TotalPhysical = Info.totalram * Unit;
    S.AvailPhysical = Info.freeram * Unit;
    // Virtual memory here: memory and swap together.
    S.TotalVirtual = (Info.totalram + Info.totalswap) * Unit;
    S.AvailVirtual = (Info.freeram + Info.freeswap) * Unit;
  }
  S.ScreenDepth = ScreenDepth;
  S.TempDir = GetTempDir();

  TLocaleFact Country{"Country", "", "", "", ""}, Code{"Country code", "", "", "", ""};
  CountryNames(SystemLocaleName(), Country.System, Country.SystemLocal);
  CountryNames(UserLocaleName(), Country.User, Country.UserLocal);
  Code.System = TelephoneCode(SystemLocaleName());
  Code.User = TelephoneCode(UserLocaleName());
  TLocaleFact Language{"Language", "", "", "", ""};
  LanguageNames(SystemLocaleName(), Language.System, Language.SystemLocal);
  LanguageNames(UserLocaleName(), Language.User, Language.UserLocal);
  S.Locale.push_back(Country);
  S.Locale.push_back(Code);
  S.Locale.push_back(Language);
  // The code pages are those the search reads 8-bit text in (one pair for the whole process), not the
  // locale's own character set.
  const std::string Ansi =
      CodePageText(qvnls::GetWindowsCodePage(qvnls::kLocaleUserDefault), qvnls::GetAnsiCharset());
  const std::string Oem =
      CodePageText(qvnls::GetOEMCodePage(qvnls::kLocaleUserDefault), qvnls::GetOemCharset());
  S.Locale.push_back({"Codepage", Ansi, "", Ansi, ""});
  S.Locale.push_back({"OEM codepage", Oem, "", Oem, ""});

  if (Converters != nullptr)
    for (int32_t I = 0; I < Converters->Count(); ++I) {
      TQVConverter* C = Converters->GetConverter(I);
      S.Converters.push_back({C->Disabled, ConverterModuleName(C->GetFileName()), C->GetDllInfo()});
    }
  // The national-language layer is built into the program over ICU.
  S.OwnLibraries.push_back(FileModule(LibraryOf(reinterpret_cast<const void*>(&u_cleanup)), U_ICU_VERSION));
  // The archive libraries are bound for the report as an archive of their kind would bind them, so the
  // report names them before any archive was searched.
  std::vector<std::string> Archive;
  for (const TArchiveLibraryFile& L : (LoadLibraries ? LoadLibraries() : LoadArchiveLibraries()))
    if (!L.FileName.empty()) Archive.push_back(L.FileName);
  for (const std::string& Path : LoadedLibraries({"cabinet.so", "UnAceV2.so", "UnRar3.so"}))
    if (std::find(Archive.begin(), Archive.end(), Path) == Archive.end()) Archive.push_back(Path);
  for (const std::string& Path : Archive) S.ArchiveLibraries.push_back(FileModule(Path, ""));
  S.SystemLibraries.push_back(
      FileModule(LibraryOf(reinterpret_cast<const void*>(&zlibVersion)), zlibVersion()));
  if (const std::string Browser = DefaultBrowserProgram(); !Browser.empty())
    S.WebBrowser = FileModule(Browser, "");
  S.SystemFolder = "/usr/lib/";
  return S;
}
