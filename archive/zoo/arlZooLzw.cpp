#include "archive/zoo/arlZooLzw.h"

#include <algorithm>
#include <vector>

#include "archive/gzip/arlByteStreams.h"

namespace {

// Bits taken least significant first from the source, at most PackedSize bytes of it.
class TLsbBits {
 public:
  TLsbBits(const TLzhSource& Source, int64_t PackedSize)
      : In_(Source, std::max<int64_t>(PackedSize, 0), TZooLzwDecoder::kInputChunk) {}
  // N bits (at most 16); false when the data ends before them.
  bool Get(int N, int32_t& Value) {
    while (Count_ < N) {
      uint8_t B = 0;
      if (!In_.Get(B)) return false;
      Bits_ |= static_cast<uint32_t>(B) << Count_;
      Count_ += 8;
    }
    Value = static_cast<int32_t>(Bits_ & ((1u << N) - 1));
    Bits_ >>= N;
    Count_ -= N;
    return true;
  }

 private:
  TByteInput In_;
  uint32_t Bits_ = 0;
  int Count_ = 0;
};

}  // namespace

TLzhResult TZooLzwDecoder::Decode(const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize,
                                  const TLzhSink& Sink) {
  Produced_ = 0;
  const int64_t Cap = std::max<int64_t>(UnpackedSize, 0);
  TLsbBits Bits(Source, PackedSize);
  std::vector<uint16_t> Prefix(kTableSize);
  std::vector<uint8_t> Suffix(kTableSize);
  std::vector<uint8_t> Stack(kTableSize + 1);
  TCappedOutput Out(Sink, Cap, kOutputChunk);

  int Width = kMinBits;
  int32_t Limit = 1 << kMinBits;
  int32_t FreeCode = kFirstFree;
  bool Fresh = true;  // the next code starts the table anew and must be a literal
  int32_t OldCode = 0;
  uint8_t FinChar = 0;
  TLzhResult Result = lrUnexpectedEnd;
  for (int32_t Code; !Out.Full();) {
    if (!Bits.Get(Width, Code)) break;
    if (Code == kEndCode) {
      Result = lrOk;
      break;
    }
    if (Code == kClearCode) {
      Width = kMinBits;
      Limit = 1 << kMinBits;
      FreeCode = kFirstFree;
      Fresh = true;
      continue;
    }
    if (Fresh) {
      if (Code > 0xFF) {
        Result = lrCorruptInput;
        break;
      }
      OldCode = Code;
      FinChar = static_cast<uint8_t>(Code);
      Out.Put(FinChar);
      Fresh = false;
      continue;
    }
    const int32_t InCode = Code;
    int32_t Depth = 0;
    if (Code >= FreeCode) {
      if (Code > FreeCode) {
        Result = lrCorruptInput;
        break;
      }
      Stack[Depth++] = FinChar;
      Code = OldCode;
    }
    while (Code > 0xFF && Depth < kTableSize) {
      Stack[Depth++] = Suffix[Code];
      Code = Prefix[Code];
    }
    if (Code > 0xFF) {
      Result = lrCorruptInput;
      break;
    }
    FinChar = static_cast<uint8_t>(Code);
    Stack[Depth++] = FinChar;
    while (Depth > 0 && Out.Put(Stack[--Depth])) {
    }
    if (FreeCode < kTableSize) {
      Prefix[FreeCode] = static_cast<uint16_t>(OldCode);
      Suffix[FreeCode] = FinChar;
      ++FreeCode;
      if (FreeCode >= Limit && Width < kMaxBits) {
        ++Width;
        Limit <<= 1;
      }
    }
    OldCode = InCode;
  }
  if (Out.Full() && Result == lrUnexpectedEnd) Result = lrOk;
  Out.Flush();
  Produced_ = Out.Count();
  return Result;
}
