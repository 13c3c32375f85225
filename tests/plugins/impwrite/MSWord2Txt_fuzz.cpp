// libFuzzer target: any bytes as a Word document file (the seeds are real documents). Bytes that do not
// open as a compound file are read once more as the "WordDocument" stream of a file built around them,
// so that mutations of the FIB and the text reach the reader too.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "core/VStream.h"
#include "platform/cfb/CompoundFile.h"
#include "plugins/impwrite/MSWord2Txt.h"
#include "tests/platform/cfb/CfbWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  std::unique_ptr<TCfbStorage> storage;
  if (CfbOpenStorage(MakeCfbMemorySource(input), STGM_READ, storage) != S_OK &&
      CfbOpenStorage(MakeCfbMemorySource(BuildCompoundFile({{u"WordDocument", input}}).Bytes), STGM_READ,
                     storage) != S_OK) {
    __builtin_trap();  // the writer's files always open
  }
  try {
    TVMemStream out;
    bool unicode = false;
    ReadWordStorage(*storage, out, unicode, nullptr);
  } catch (const std::exception&) {
  }
  return 0;
}
