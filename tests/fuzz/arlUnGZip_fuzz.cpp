// Fuzz target of the reader of GZIP and compress (.Z) files: any bytes as an archive file, tested, extracted
// into memory and extracted into a folder (see ArchiveFuzz.h for what must hold).
#include <cstddef>
#include <cstdint>

#include "archive/gzip/arlUnGZip.h"
#include "tests/fuzz/ArchiveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TUnGZip Reader;
  fuzztest::RunArchiveReader(Reader, fuzztest::Input(Data, Size), "archive.gz");
  return 0;
}
