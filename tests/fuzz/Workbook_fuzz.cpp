// Fuzz target of the workbook reader. An input that starts with the compound-file signature is a whole
// workbook file and goes through the converter's file entry; any other input is the workbook stream of
// a compound file, read and written in both text forms. A clean error is a good answer to damaged input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "platform/cfb/CompoundFile.h"
#include "plugins/common/OleStorage.h"
#include "plugins/impcalc2/Workbook.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/platform/cfb/CfbWriter.h"

namespace {

void ConvertFile(const std::string& Bytes) {
  const std::string Path = fuzztest::WriteTempFile("workbook.xls", Bytes);
  for (bool Unicode : {true, false}) {
    try {
      std::string Text;
      ConvertWorkbookFile(Path, Unicode, nullptr, Text);
    } catch (const Exception&) {
    }
  }
}

void ReadStream(const std::string& Bytes) {
  std::unique_ptr<TCfbStorage> Opened;
  if (CfbOpenStorage(MakeCfbMemorySource(BuildCompoundFile({{u"Workbook", Bytes}}).Bytes), STGM_READ,
                     Opened) != S_OK) {
    __builtin_trap();  // the writer's files always open
  }
  Storage Store(std::move(Opened));
  for (bool Unicode : {true, false}) {
    try {
      std::unique_ptr<Stream> S = Store.OpenStream(u"workbook");
      Workbook Book;
      if (!Book.Read(*S, nullptr)) continue;
      if (Unicode) {
        std::u16string Text;
        Book.WriteTextWide(Text, nullptr);
      } else {
        std::string Text;
        Book.WriteTextAnsi(Text, nullptr);
      }
    } catch (const Exception&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Bytes = fuzztest::Input(Data, Size);
  if (fuzztest::IsCompoundFile(Bytes)) {
    ConvertFile(Bytes);
  } else {
    ReadStream(Bytes);
  }
  return 0;
}
