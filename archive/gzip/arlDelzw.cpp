#include "archive/gzip/arlDelzw.h"

#include <algorithm>
#include <cstring>

#include "archive/gzip/arlByteStreams.h"

namespace {

constexpr int32_t kInputChunk = 32768;   // bytes asked of the source at a time
constexpr int32_t kOutputChunk = 16384;  // bytes gathered before each hand-over to the sink
constexpr int32_t kTableSize = 1 << TDelzwDecoder::kMaxBits;

}  // namespace

TDelzwDecoder::TDelzwDecoder(int MaxBits, bool BlockMode)
    : MaxBits_(std::clamp(MaxBits, kMinBits, kMaxBits)),
      BlockMode_(BlockMode),
      Prefix_(new uint16_t[kTableSize]()),
      Suffix_(new uint8_t[kTableSize]()),
      Stack_(new uint8_t[kTableSize + 1]) {}

TDelzwDecoder::~TDelzwDecoder() = default;

TLzhResult TDelzwDecoder::Decode(const TLzhSource& Source, int64_t MaxOutput, const TLzhSink& Sink) {
  Produced_ = 0;
  TByteInput In(Source, -1, kInputChunk);
  TCappedOutput Out(Sink, MaxOutput, kOutputChunk);
  const int32_t MaxMaxCode = 1 << MaxBits_;
  const int32_t FirstFree = BlockMode_ ? kClearCode + 1 : kClearCode;

  int Bits = kMinBits;
  int32_t MaxCode = (1 << Bits) - 1;
  int32_t FreeEnt = FirstFree;
  bool Cleared = false;
  // The current group of eight codes: Bits bytes, two spare zero bytes so that a code may be taken
  // with a 3-byte read at any bit offset.
  uint8_t Group[kMaxBits + 2] = {};
  int32_t Offset = 0;  // bit offset of the next code in Group
  int32_t Limit = 0;   // a code may start below this offset

  auto NextCode = [&]() -> int32_t {
    if (Cleared || Offset >= Limit || FreeEnt > MaxCode) {
      if (FreeEnt > MaxCode) {
        ++Bits;
        MaxCode = Bits == MaxBits_ ? MaxMaxCode : (1 << Bits) - 1;
      }
      if (Cleared) {
        Bits = kMinBits;
        MaxCode = (1 << Bits) - 1;
        Cleared = false;
      }
      std::memset(Group, 0, sizeof(Group));
      const int32_t Got = In.Take(Group, Bits);
      if (Got <= 0) return -1;
      Offset = 0;
      Limit = Got * 8 - (Bits - 1);
      if (Limit <= 0) return -1;
    }
    const int32_t Byte = Offset >> 3;
    const uint32_t Window = Group[Byte] | (Group[Byte + 1] << 8) | (Group[Byte + 2] << 16);
    const int Shift = Offset & 7;
    Offset += Bits;
    return static_cast<int32_t>((Window >> Shift) & ((1u << Bits) - 1));
  };

  TLzhResult Result = lrOk;
  int32_t OldCode = NextCode();
  if (OldCode >= 0) {
    uint8_t FinChar = static_cast<uint8_t>(OldCode);
    if (OldCode > 0xFF) {
      Result = lrCorruptInput;
    } else {
      Out.Put(FinChar);
      for (int32_t Code; !Out.Full() && (Code = NextCode()) >= 0;) {
        if (Code == kClearCode && BlockMode_) {
          FreeEnt = kClearCode;  // the next code adds an entry that is never used
          Cleared = true;
          if ((Code = NextCode()) < 0) break;
        }
        const int32_t InCode = Code;
        int32_t Depth = 0;
        if (Code >= FreeEnt) {
          if (Code > FreeEnt) {
            Result = lrCorruptInput;
            break;
          }
          Stack_[Depth++] = FinChar;
          Code = OldCode;
        }
        while (Code > 0xFF && Depth < kTableSize) {
          Stack_[Depth++] = Suffix_[Code];
          Code = Prefix_[Code];
        }
        if (Code > 0xFF) {  // a chain of prefixes longer than the table: no encoder makes one
          Result = lrCorruptInput;
          break;
        }
        FinChar = static_cast<uint8_t>(Code);
        Stack_[Depth++] = FinChar;
        while (Depth > 0 && Out.Put(Stack_[--Depth])) {
        }
        if (FreeEnt < MaxMaxCode) {
          Prefix_[FreeEnt] = static_cast<uint16_t>(OldCode);
          Suffix_[FreeEnt] = FinChar;
          ++FreeEnt;
        }
        OldCode = InCode;
      }
    }
  }
  Out.Flush();
  Produced_ = Out.Count();
  return Result;
}

TCompressHeader ReadCompressHeader(const uint8_t* Header, int32_t Length, int& MaxBits, bool& BlockMode) {
  if (Length < TDelzwDecoder::kHeaderSize || Header[0] != 0x1F || Header[1] != 0x9D) return chNotCompress;
  const uint8_t Flags = Header[2];
  if (Flags & TDelzwDecoder::kReservedFlags) return chReservedBits;
  MaxBits = Flags & TDelzwDecoder::kBitsMask;
  BlockMode = (Flags & TDelzwDecoder::kBlockModeFlag) != 0;
  if (MaxBits < TDelzwDecoder::kMinBits || MaxBits > TDelzwDecoder::kMaxBits) return chBadWidth;
  return chOk;
}
