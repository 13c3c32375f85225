// Loading an outside archive library (cabinet.so, UnAceV2.so, UnRar3.so) at run time and binding its
// entry points by name. Shared by the three bindings.
//
// Where a library is looked for: a Path with a folder is loaded as given; a bare name (or an empty Path,
// which means the library's own name) is looked for in the program's folder first, as a program's own
// libraries are, and then by the system's search. A library is unloaded by its owner or when the TDynLib
// is destroyed. Used on the main thread.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

class TDynLib {
 public:
  TDynLib() = default;
  ~TDynLib() { Unload(); }
  TDynLib(const TDynLib&) = delete;
  TDynLib& operator=(const TDynLib&) = delete;

  // Loads Path (empty: DefaultName) as described above; true when a library is loaded. A library that
  // is already loaded stays.
  bool Load(const std::string& Path, const std::string& DefaultName);
  // The address of the exported Name, nullptr when the library lacks it or none is loaded.
  void* Bind(const char* Name) const;
  // Loads the library and binds every entry point (name, where its address goes); when any is missing,
  // every address is cleared and the library unloaded. True when all are bound.
  using TEntry = std::pair<const char*, void**>;
  bool LoadAndBind(const std::string& Path, const std::string& DefaultName,
                   std::initializer_list<TEntry> Entries);
  void Unload();
  bool Loaded() const { return Handle_ != nullptr; }
  // The file that was loaded.
  const std::string& FileName() const { return Loaded_; }

 private:
  void* Handle_ = nullptr;
  std::string Loaded_;
};
