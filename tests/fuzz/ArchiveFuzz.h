// The run that the archive readers' fuzz targets share: the input is written as an archive file in the
// temporary folder, then the reader tests it, extracts every item into memory and extracts every item
// into an output folder. Reports are ignored (damaged input may report anything); what must hold:
//   - the memory stream's index lies inside the stream;
//   - nothing is written outside the output folder, whatever names the archive stores.
// A broken promise stops the process with a trap, so that the fuzzer keeps the input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/arlBase.h"
#include "tests/fuzz/FuzzSupport.h"

namespace fuzztest {

inline void RunArchiveReader(TUnBase& Reader, const std::string& Bytes, const std::string& FileName) {
  namespace fs = std::filesystem;
  const fs::path Root = TFuzzTempDir::Path();
  const fs::path Out = Root / "out";
  Reset(Out);
  const std::string Archive = WriteTempFile(FileName, Bytes);

  Reader.SetArchiveFile(Archive);
  Reader.FileSpec = {"*.*"};
  Reader.RestoreAttributes = false;
  Reader.PasswordAttempts = 2;
  Reader.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) {
    Query.Continue = true;
    Query.Password = "secret";
  };
  Reader.TestArchive();

  TDecompMemoryStream Memory;
  Reader.ExtractToMemoryStream(&Memory);
  for (const TDecompRecord& R : Memory.Records)
    if (static_cast<int64_t>(R.Start) + R.Size > Memory.GetSize()) __builtin_trap();

  Reader.SetExtractDir(Out.string());
  Reader.ExtractToFiles();
  for (const auto& E : fs::directory_iterator(Root))
    if (E.path() != Out && E.path() != fs::path(Archive)) __builtin_trap();  // an item left the output folder
  Remove(Out);
}

}  // namespace fuzztest
