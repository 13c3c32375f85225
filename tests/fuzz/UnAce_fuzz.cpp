// Fuzz target of the ACE decoder of UnAceV2.so: any bytes as an archive, its main header found, its
// blocks walked, and every item decoded by its method (encrypted ones with a fixed password), then the
// same bytes decoded raw by each method. Promises: the walk moves forward at every block; no item yields
// more than its declared size; damage ends as TAceDataError, never as a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/unace/AceCrypt.h"
#include "platform/unace/AceDecoder.h"
#include "platform/unace/AceHeaders.h"

namespace {

class TMemoryVolume : public TAceVolumeReader {
 public:
  TMemoryVolume(const uint8_t* Data, size_t Size) : Data_(Data), Length_(Size) {}
  size_t ReadAt(uint64_t Offset, uint8_t* Buf, size_t N) override {
    if (Offset >= Length_) return 0;
    const size_t Take = static_cast<size_t>(std::min<uint64_t>(N, Length_ - Offset));
    std::memcpy(Buf, Data_ + Offset, Take);
    return Take;
  }
  uint64_t Size() const override { return Length_; }

 private:
  const uint8_t* Data_;
  size_t Length_;
};

// Decodes, trapping when the output outgrows the declared size.
void Decode(TAceDecoder& D, TAceSource& In, uint8_t Method, uint64_t Size) {
  uint64_t Done = 0;
  try {
    D.Decode(In, Method, Size, [&](const uint8_t*, size_t N) {
      Done += N;
      if (Done > Size) __builtin_trap();
      return true;
    });
  } catch (const TAceDataError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  // Items larger than this are cut to it, so that a run stays short.
  constexpr uint64_t kMaxItem = 1u << 22;
  TMemoryVolume Volume(Data, Size);
  TAceDecoder Decoder;
  TAceBlock Main;
  if (AceFindMainHeader(Volume, 0x1FFFF, Main)) {
    uint64_t Pos = Main.Next();
    for (size_t Steps = 0;; ++Steps) {
      if (Steps > Size / 4 + 1) __builtin_trap();  // more blocks than the bytes can hold
      TAceBlock B;
      if (AceReadBlock(Volume, Pos, B) != TAceBlockResult::Ok) break;
      if (B.Next() <= Pos) __builtin_trap();
      if (B.Type == kAceBlockFile && B.DataOffset < Size) {
        TAceMemorySource Packed(Data + B.DataOffset,
                                static_cast<size_t>(std::min<uint64_t>(B.DataSize, Size - B.DataOffset)));
        const uint64_t ItemSize = std::min(B.File.Size, kMaxItem);
        if (B.File.Flags & kAceFileEncrypted) {
          TAceDecryptingSource Plain(Packed, "1234");
          Decode(Decoder, Plain, B.File.Method, ItemSize);
        } else {
          Decode(Decoder, Packed, B.File.Method, ItemSize);
        }
      }
      Pos = B.Next();
    }
  }
  // The bytes as raw compressed data of each method.
  for (uint8_t Method : {amLz77, amBlocked}) {
    TAceMemorySource Raw(Data, Size);
    Decode(Decoder, Raw, Method, kMaxItem);
  }
  return 0;
}
