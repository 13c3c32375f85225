// libFuzzer target: any bytes as the "PowerPoint Document" stream of a compound file, scanned in both
// forms.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/cfb/CompoundFile.h"
#include "plugins/common/OleStorage.h"
#include "plugins/impshow2/PptTextScanner.h"
#include "tests/platform/cfb/CfbWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string stream(reinterpret_cast<const char*>(Data), Size);
  std::unique_ptr<TCfbStorage> opened;
  if (CfbOpenStorage(MakeCfbMemorySource(BuildCompoundFile({{u"PowerPoint Document", stream}}).Bytes), STGM_READ,
                     opened) != S_OK) {
    __builtin_trap();  // the writer's files always open
  }
  Storage storage(std::move(opened));
  for (bool unicode : {true, false}) {
    try {
      std::unique_ptr<Stream> s = storage.OpenStream(u"PowerPoint Document");
      PptTextScanner scanner(*s);
      std::string text;
      if (unicode) {
        scanner.ScanWide(text);
      } else {
        scanner.ScanAnsi(text);
      }
    } catch (const std::exception&) {
    }
  }
  return 0;
}
