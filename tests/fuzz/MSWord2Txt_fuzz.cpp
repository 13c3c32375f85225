// Fuzz target of the Word document reader. An input that starts with the compound-file signature is a
// whole document; any other input is stored as the "WordDocument" stream and as both table streams of a
// compound file. The text is bounded by the document: at most two output units per stored byte (a
// paragraph mark gains a line feed).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "core/VStream.h"
#include "platform/cfb/CompoundFile.h"
#include "plugins/impwrite/MSWord2Txt.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/platform/cfb/CfbWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Bytes = fuzztest::Input(Data, Size);
  const std::string File =
      fuzztest::IsCompoundFile(Bytes)
          ? Bytes
          : BuildCompoundFile({{u"WordDocument", Bytes}, {u"0Table", Bytes}, {u"1Table", Bytes}}).Bytes;
  std::unique_ptr<TCfbStorage> Storage;
  if (CfbOpenStorage(MakeCfbMemorySource(File), STGM_READ, Storage) != S_OK) return 0;
  TVMemStream Dest;
  bool IsUnicode = false;
  try {
    ReadWordStorage(*Storage, Dest, IsUnicode, nullptr);
  } catch (const Exception&) {
    return 0;
  }
  // Two bytes a UTF-16 unit, each stored character at most two units.
  if (Dest.GetSize() > 4 * static_cast<int64_t>(File.size())) __builtin_trap();
  return 0;
}
