// Fuzz target of the presentation reader. An input that starts with the compound-file signature is a
// whole presentation file and goes through the converter's file entry; any other input is the
// "PowerPoint Document" stream of a compound file, scanned in both text forms (the 8-bit one limited to
// the records its edit history names, when it has one). A clean error is a good
// answer to damaged input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "platform/cfb/CompoundFile.h"
#include "plugins/common/OleStorage.h"
#include "plugins/impshow2/PptTextScanner.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/platform/cfb/CfbWriter.h"

namespace {

void ConvertFile(const std::string& Bytes) {
  const std::string Path = fuzztest::WriteTempFile("presentation.ppt", Bytes);
  for (bool Unicode : {true, false}) {
    try {
      std::string Text;
      ConvertPresentationFile(Path, Unicode, Text);
    } catch (const Exception&) {
    }
  }
}

// The stream is scanned whole, and limited to the records of an edit history whose "Current User" stream
// is the input's first bytes.
void ScanStream(const std::string& Bytes) {
  std::unique_ptr<TCfbStorage> Opened;
  if (CfbOpenStorage(MakeCfbMemorySource(BuildCompoundFile({{u"PowerPoint Document", Bytes},
                                                            {u"Current User", Bytes.substr(0, 64)}})
                                             .Bytes),
                     STGM_READ, Opened) != S_OK) {
    __builtin_trap();  // the writer's files always open
  }
  Storage Store(std::move(Opened));
  for (bool Unicode : {true, false}) {
    try {
      std::unique_ptr<Stream> S = Store.OpenStream(u"PowerPoint Document");
      PptTextScanner Scanner(*S);
      if (!Unicode) {
        std::unique_ptr<Stream> User = Store.OpenStream(u"Current User");
        Scanner.LimitToRecords(ReadLiveRecordOffsets(*S, *User));
      }
      std::string Text;
      if (Unicode) {
        Scanner.ScanWide(Text);
      } else {
        Scanner.ScanAnsi(Text);
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
    ScanStream(Bytes);
  }
  return 0;
}
