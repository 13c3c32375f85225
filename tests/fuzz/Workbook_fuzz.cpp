// libFuzzer target: any bytes as the workbook stream of a compound file, read and written in both forms.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/cfb/CompoundFile.h"
#include "plugins/common/OleStorage.h"
#include "plugins/impcalc2/Workbook.h"
#include "tests/platform/cfb/CfbWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string stream(reinterpret_cast<const char*>(Data), Size);
  std::unique_ptr<TCfbStorage> opened;
  if (CfbOpenStorage(MakeCfbMemorySource(BuildCompoundFile({{u"Workbook", stream}}).Bytes), STGM_READ, opened) !=
      S_OK) {
    __builtin_trap();  // the writer's files always open
  }
  Storage storage(std::move(opened));
  for (bool unicode : {true, false}) {
    try {
      std::unique_ptr<Stream> s = storage.OpenStream(u"workbook");
      Workbook book;
      if (!book.Read(*s, nullptr)) continue;
      if (unicode) {
        std::u16string text;
        book.WriteTextWide(text, nullptr);
      } else {
        std::string text;
        book.WriteTextAnsi(text, nullptr);
      }
    } catch (const std::exception&) {
      // A clean failure is a good answer to damaged input.
    }
  }
  return 0;
}
