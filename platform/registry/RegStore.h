// A small file-backed store that keeps keys and values the way the registry has them.
//
// Layout on disk: a key is a folder, a value is one file in its key's folder. Per-user keys
// (HKEY_CURRENT_USER) live under $XDG_CONFIG_HOME (default ~/.config); machine keys (HKEY_LOCAL_MACHINE)
// under /etc/xdg and are read-only; HKEY_CLASSES_ROOT is the machine key "Software\Classes", read-only as
// well; HKEY_USERS holds nothing. A leading "Software" component of a key path names the store's root
// itself, so "Software\Quorvane\QVSearch" of the current user is the folder ~/.config/Quorvane/QVSearch.
//
// Names: key and value names compare without case (ASCII), as the registry does; a new key or value keeps
// the case it was created with. A name character that a file name cannot hold ("/", "%", control
// characters, a leading ".") is written as "%" and two hex digits. A value file is the escaped value name
// (the unnamed default value: "@") followed by ".val"; it holds the value's type as a 4-byte little-endian
// number and then the value's bytes exactly as given.
//
// Each value's update is atomic: the bytes go to a temporary file in the key's folder (whose name begins
// with "." so that it is never taken for a value), which is flushed to disk and renamed over the value.
// A failed update leaves the old value and no temporary file; one interrupted by a crash or a power cut
// leaves its temporary file, which RemoveTemporaries clears away at the next start.
//
// Threads: a store object holds no mutable state except FailPoint; any thread may call it, and several
// processes may share one folder (the last rename wins).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Value types, numbered as the registry numbers them.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_MULTI_SZ = 7;

// The root keys.
enum class TRegRoot : uint8_t { ClassesRoot, CurrentUser, LocalMachine, Users };

enum class TRegStatus : uint8_t {
  Ok,
  NotFound,      // the key or value does not exist
  AccessDenied,  // a write or create under a read-only root, or the file system refused
  MoreData,      // the caller's buffer is smaller than the value
  Failed,        // any other file-system failure, or a damaged value file
};

// An open key: the folder it lives in and whether values may be written there. Keys are plain values;
// "closing" one is letting it go.
struct TRegKey {
  std::string Folder;
  bool Writable = false;
};

struct TRegValue {
  uint32_t Type = REG_NONE;
  std::string Data;  // the value's bytes, exactly as written
};

// The steps of a value update where a test can make it fail (FailPoint).
enum class TRegWriteStep : uint8_t { CreateTemp, WriteData, Sync, Rename };

// The largest value the store accepts or reads back (64 MB); the registry's own limits are far lower.
constexpr size_t kMaxRegValueBytes = size_t{64} << 20;

class TRegStore {
 public:
  // Folders backing the roots. Machine may be empty (no machine keys).
  struct TRoots {
    std::string CurrentUser;
    std::string Machine;
  };

  explicit TRegStore(TRoots Roots);
  // Roots from the environment: $XDG_CONFIG_HOME or $HOME/.config, and /etc/xdg.
  static TRegStore FromEnvironment();

  const TRoots& Roots() const { return Roots_; }

  // Opens the key Path (components separated by "\") below Root. With Create, missing keys are made and
  // NewlyCreated (when given) tells whether the last component was made by this call; creating under a
  // read-only root is AccessDenied, and so is opening a key of one when Create is asked. A key whose name is
  // taken by something other than a folder (a regular file) cannot be opened or made: Failed.
  TRegStatus OpenKey(TRegRoot Root, const std::string& Path, bool Create, TRegKey& Key,
                     bool* NewlyCreated = nullptr) const;
  TRegStatus ReadValue(const TRegKey& Key, const std::string& Name, TRegValue& Value) const;
  // Replaces or adds the value atomically (see above).
  TRegStatus WriteValue(const TRegKey& Key, const std::string& Name, uint32_t Type, const void* Data,
                        size_t Size) const;
  // Removes the temporary files that interrupted value updates left in the key's folder and in the folders
  // of its sub-keys; answers how many were removed. Called once at start-up, before any value is written.
  size_t RemoveTemporaries(const TRegKey& Key) const;
  // The names of the key's sub-keys, in the order of their (unescaped) names, case-insensitive.
  TRegStatus EnumKeys(const TRegKey& Key, std::vector<std::string>& Names) const;

  // Test hook: called before each step of a value update; a non-zero answer is taken as the errno with
  // which that step failed. Unassigned: no step fails on purpose.
  std::function<int(TRegWriteStep)> FailPoint;

 private:
  TRoots Roots_;
};

// The store that the registry routines of the program use. Until SetRegStore is called it is
// TRegStore::FromEnvironment(), taken at the first call.
TRegStore& RegStore();
// Replaces the program's store (tests point it at a temporary folder); nullptr restores the default,
// taken again from the environment. The store must outlive its use; not thread-safe.
void SetRegStore(TRegStore* Store);
