// Fuzz target of the reader of ZIP and JAR archives (also behind a self-extracting stub): any bytes as an
// archive file, tested, extracted into memory and extracted into a folder (see ArchiveFuzz.h for what
// must hold).
#include <cstddef>
#include <cstdint>

#include "archive/zip/arlUnZip.h"
#include "tests/fuzz/ArchiveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TUnZip Reader;
  fuzztest::RunArchiveReader(Reader, fuzztest::Input(Data, Size), "archive.zip");
  return 0;
}
