// Fuzz target of archive type detection: any bytes as a file, detected under a plain name and under a
// volume name. Detection never raises; what it leaves behind must describe the file it read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/arlRegister.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Bytes = fuzztest::Input(Data, Size);
  for (const char* Name : {"archive.bin", "archive.a02"}) {
    TRegisterArcLib Lib;
    Lib.SetArchiveFile(fuzztest::WriteTempFile(Name, Bytes));
    if (Lib.ArcType > kLastArlType || Lib.StartOffset < 1) __builtin_trap();
    if ((Lib.ZipFlags & zfEndRecord) &&
        (Lib.ZipEndRecordPos < 0 || Lib.ZipEndRecordPos + kZipEndRecordSize > static_cast<int64_t>(Size)))
      __builtin_trap();  // the end record must lie inside the file
  }
  return 0;
}
