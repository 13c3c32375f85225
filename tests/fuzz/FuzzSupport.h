// What the fuzz targets share: the input as a string, a private temporary folder for the readers that
// need a file (removed when the process ends normally), and a file written into it.
//
// A target runs one input at a time on one thread (libFuzzer's and the replay driver's way), so the
// folder and the file names need no locking.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fuzztest {

inline std::string Input(const uint8_t* Data, std::size_t Size) {
  return std::string(reinterpret_cast<const char*>(Data), Size);
}

// Removes Folder with everything in it; files and folders that were made read-only are made writable
// again first.
inline void Remove(const std::filesystem::path& Folder) {
  std::error_code Ec;
  if (!std::filesystem::exists(Folder, Ec)) return;
  for (const auto& E : std::filesystem::recursive_directory_iterator(Folder, Ec))
    std::filesystem::permissions(E.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, Ec);
  std::filesystem::remove_all(Folder, Ec);
}

// Empties Folder and makes it again.
inline void Reset(const std::filesystem::path& Folder) {
  Remove(Folder);
  std::filesystem::create_directories(Folder);
}

// Whether Bytes start with the signature of a compound file.
inline bool IsCompoundFile(const std::string& Bytes) {
  return Bytes.starts_with(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
}

// One folder per process below $TMPDIR (default /tmp), made on first use and removed with everything in
// it when the process exits normally.
class TFuzzTempDir {
 public:
  static const std::filesystem::path& Path() {
    static TFuzzTempDir Dir;
    return Dir.Path_;
  }

 private:
  TFuzzTempDir() {
    const char* Tmp = std::getenv("TMPDIR");
    Path_ =
        std::filesystem::path(Tmp && *Tmp ? Tmp : "/tmp") / ("scryline_fuzz_" + std::to_string(::getpid()));
    Reset(Path_);
  }
  ~TFuzzTempDir() { Remove(Path_); }
  std::filesystem::path Path_;
};

// Writes Bytes as the file Name in the temporary folder and answers its path.
inline std::string WriteTempFile(const std::string& Name, const std::string& Bytes) {
  const std::filesystem::path P = TFuzzTempDir::Path() / Name;
  std::ofstream Out(P, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  return P.string();
}

}  // namespace fuzztest
