// Runs an archive-library decoder over an archive file into memory and records what it reported: the
// items written (name and bytes, from the memory stream's index), every OnError report and every OnEnd
// verdict. Shared by the ARJ and LHA reader tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/arlBase.h"
#include "tests/archive/lzh/LzhTestUtil.h"

namespace lzhtest {

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
  D.OnError = [&Log](TZipCommon*, const std::string& Name, int32_t Code, const std::string&,
                     const std::string&) { Log.Errors.emplace_back(Name, Code); };
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

}  // namespace lzhtest
