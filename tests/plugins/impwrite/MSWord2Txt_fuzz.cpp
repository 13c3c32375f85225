// libFuzzer target: any bytes as a Word document. The first two bytes say how many of the rest form the
// "WordDocument" stream; the remainder, when there is any, is the table stream "1Table". Both forms of
// the compound file (with and without the table stream) are read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/VStream.h"
#include "platform/cfb/CompoundFile.h"
#include "plugins/impwrite/MSWord2Txt.h"
#include "tests/platform/cfb/CfbWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  if (Size < 2) return 0;
  const std::string input(reinterpret_cast<const char*>(Data) + 2, Size - 2);
  const std::size_t split = std::min<std::size_t>(input.size(), Data[0] | Data[1] << 8);
  const std::string document = input.substr(0, split);
  const std::string table = input.substr(split);
  for (bool with_table : {true, false}) {
    std::vector<TCfbWriterStream> streams{{u"WordDocument", document}};
    if (with_table) streams.push_back({u"1Table", table});
    std::unique_ptr<TCfbStorage> storage;
    if (CfbOpenStorage(MakeCfbMemorySource(BuildCompoundFile(streams).Bytes), STGM_READ, storage) != S_OK) {
      __builtin_trap();  // the writer's files always open
    }
    try {
      TVMemStream out;
      bool unicode = false;
      ReadWordStorage(*storage, out, unicode, nullptr);
    } catch (const std::exception&) {
    }
  }
  return 0;
}
