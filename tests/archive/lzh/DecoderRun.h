// Runs an archive-library decoder over an archive file into memory and records what it reported: the
// items written (name and bytes, from the memory stream's index), every OnError report and every OnEnd
// verdict; the damaged copies of the fixtures and the verdict on each. Part of the archive test helpers
// (namespace archivetest) that the tests of every archive format share.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "archive/arlBase.h"
#include "tests/archive/lzh/LzhTestUtil.h"

namespace archivetest {

struct TRunLog {
  struct TItem {
    std::string Name;
    Bytes Data;
  };
  std::vector<TItem> Items;
  std::vector<std::pair<std::string, int32_t>> Errors;  // file name and code
  std::vector<std::pair<std::string, bool>> Ends;       // file name and CRC verdict
  int32_t Result = -1;

  bool HasError(int32_t Code) const {
    for (const auto& E : Errors)
      if (E.second == Code) return true;
    return false;
  }
  const TItem* Find(const std::string& Name) const {
    for (const auto& I : Items)
      if (I.Name == Name) return &I;
    return nullptr;
  }
  bool Passed(const std::string& Name) const {
    for (const auto& E : Ends)
      if (E.first == Name) return E.second;
    return false;
  }
};

// Hooks OnError and OnEnd of D into Log.
inline void Record(TZipCommon& D, TRunLog& Log) {
  D.OnError = [&Log](TZipCommon*, const TArlErrorReport& Error) {
    Log.Errors.emplace_back(Error.FileName, Error.ErrorCode);
  };
  D.OnEnd = [&Log](TZipCommon*, const std::string& Name, bool Ok) { Log.Ends.emplace_back(Name, Ok); };
}

// Extracts every item of Path into memory with D (made by the caller, events may be preset).
inline TRunLog ExtractAllToMemory(TUnBase& D, const std::string& Path) {
  TRunLog Log;
  Record(D, Log);
  D.SetArchiveFile(Path);
  D.FileSpec = {"*.*"};
  TDecompMemoryStream Out;
  Log.Result = D.ExtractToMemoryStream(&Out);
  for (const auto& R : Out.Records) {
    const uint8_t* P = Out.Memory() + R.Start;
    Log.Items.push_back({R.Name, Bytes(P, P + R.Size)});
  }
  return Log;
}

// A new folder below the temporary folder, removed with everything in it when the object goes.
struct TTempFolder {
  explicit TTempFolder(const std::string& Tag)
      : Path(std::filesystem::temp_directory_path() / (Tag + "_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TTempFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path, Ignored);
  }
  std::filesystem::path Path;
};

// Extracts every item of Path into Folder with D (made by the caller).
inline TRunLog ExtractAllToFolder(TUnBase& D, const std::string& Path, const std::filesystem::path& Folder) {
  TRunLog Log;
  Record(D, Log);
  D.SetArchiveFile(Path);
  D.FileSpec = {"*.*"};
  D.SetExtractDir(Folder.string());
  Log.Result = D.ExtractToFiles();
  return Log;
}

// The verdict on a damaged copy's run against the undamaged archive's: the damage was reported (an
// error, or an item failing its check), or the copy gave what the archive gives, the same contents item
// for item (damage to a name, a date or another field that no check covers changes nothing read).
// Anything else is damage that passed in silence.
inline bool ReportedOrUnchanged(const TRunLog& Damaged, const TRunLog& Good) {
  if (!Damaged.Errors.empty()) return true;
  for (const auto& E : Damaged.Ends)
    if (!E.second) return true;
  if (Damaged.Items.size() != Good.Items.size()) return false;
  for (size_t I = 0; I < Good.Items.size(); ++I)
    if (Damaged.Items[I].Data != Good.Items[I].Data) return false;
  return true;
}

// Whether the file at Path still begins with the first Count bytes of Good (its signature): a copy that
// does not is no archive of its kind, which the walk's detection settles before a decoder runs.
inline bool KeepsSignature(const std::string& Path, const Bytes& Good, size_t Count) {
  const Bytes Copy = ReadFile(Path);
  return Copy.size() >= Count && Good.size() >= Count &&
         std::equal(Good.begin(), Good.begin() + Count, Copy.begin());
}

// Writes each damaged copy (Damaged) of every named fixture of tests/archive/<Folder>/fixtures to a
// temporary file and calls Run with its path and the fixture's name.
inline void ForEachDamagedArchive(const std::string& Folder, const std::vector<std::string>& Names,
                                  const std::function<void(const std::string&, const std::string&)>& Run) {
  TTempFolder Temp(Folder + "_damage");
  const std::string Path = (Temp.Path / "damaged").string();
  unsigned Seed = 1;
  for (const auto& Name : Names) {
    for (const Bytes& Bad : Damaged(Fixture(Folder, Name), Seed++)) {
      {
        std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
        Out.write(reinterpret_cast<const char*>(Bad.data()), static_cast<std::streamsize>(Bad.size()));
      }
      Run(Path, Name);
    }
  }
}

}  // namespace archivetest
