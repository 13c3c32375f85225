// Fuzz target of the reader of ARC and PAK archives: any bytes as an archive file, tested, extracted into
// memory and extracted into a folder (see ArchiveFuzz.h for what must hold).
#include <cstddef>
#include <cstdint>

#include "archive/arc/arlUnArc.h"
#include "tests/fuzz/ArchiveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TUnArc Reader;
  fuzztest::RunArchiveReader(Reader, fuzztest::Input(Data, Size), "archive.arc");
  return 0;
}
