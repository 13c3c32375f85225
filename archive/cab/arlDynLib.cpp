#include "archive/cab/arlDynLib.h"

#include <dlfcn.h>

#include "core/VFileSys.h"

bool TDynLib::Load(const std::string& Path, const std::string& DefaultName) {
  if (Handle_) return true;
  const std::string Name = Path.empty() ? DefaultName : Path;
  std::string Candidates[2];
  int Count = 0;
  if (Name.find('/') != std::string::npos) {
    Candidates[Count++] = Name;
  } else {
    std::string Dir, Exe;
    SplitFileName(ModuleFileName(nullptr), Dir, Exe);
    if (!Dir.empty()) Candidates[Count++] = IncludeTrailingSlash(Dir) + Name;
    Candidates[Count++] = Name;
  }
  for (int I = 0; I < Count && !Handle_; ++I) {
    // RTLD_LOCAL: the library's own symbols never stand in for the program's.
    Handle_ = ::dlopen(Candidates[I].c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Handle_) Loaded_ = Candidates[I];
  }
  return Handle_ != nullptr;
}

bool TDynLib::LoadAndBind(const std::string& Path, const std::string& DefaultName,
                          std::initializer_list<TEntry> Entries) {
  bool All = Load(Path, DefaultName);
  for (const TEntry& E : Entries) {
    *E.second = All ? Bind(E.first) : nullptr;
    All = All && *E.second != nullptr;
  }
  if (!All) {
    for (const TEntry& E : Entries) *E.second = nullptr;
    Unload();
  }
  return All;
}

void* TDynLib::Bind(const char* Name) const { return Handle_ ? ::dlsym(Handle_, Name) : nullptr; }

void TDynLib::Unload() {
  if (Handle_) ::dlclose(Handle_);
  Handle_ = nullptr;
  Loaded_.clear();
}
