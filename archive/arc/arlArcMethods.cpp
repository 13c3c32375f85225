#include "archive/arc/arlArcMethods.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/gzip/arlByteStreams.h"
#include "archive/gzip/arlDelzw.h"

namespace {

constexpr uint16_t kNoPredecessor = 0xFFFF;
constexpr int32_t kCrunchAdditions = kCrunchTable - 256;  // entries added after the literals
constexpr uint16_t kCrunchProbeStep = 101;                // where the search for a free slot starts
constexpr uint16_t kCrunchMask = kCrunchTable - 1;
constexpr int kSqueezeEnd = 256;  // the value that ends squeezed data

// Decoded bytes, through the run-length stage when it is on, up to the declared size.
class TArcOutput {
 public:
  TArcOutput(const TLzhSink& Sink, int64_t Size, bool RunLength)
      : Out_(Sink, Size, kArcBuffer), RunLength_(RunLength) {}
  // False once the declared size is reached.
  bool Put(uint8_t C) {
    if (!RunLength_) return Out_.Put(C);
    if (InRun_) {
      InRun_ = false;
      if (C == 0) return Out_.Put(kRunMarker);
      for (int N = C; --N > 0;)
        if (!Out_.Put(Last_)) return false;
      return !Out_.Full();
    }
    if (C == kRunMarker) {
      InRun_ = true;
      return !Out_.Full();
    }
    Last_ = C;
    return Out_.Put(C);
  }
  int64_t Count() const { return Out_.Count(); }
  void Flush() { Out_.Flush(); }

 private:
  TCappedOutput Out_;
  bool RunLength_;
  bool InRun_ = false;
  uint8_t Last_ = 0;
};

TArcResult Unpack(TByteInput& In, TArcOutput& Out) {
  for (uint8_t B; In.Get(B);)
    if (!Out.Put(B)) break;
  return arOk;
}

TArcResult Unsqueeze(TByteInput& In, TArcOutput& Out) {
  uint8_t Lo = 0, Hi = 0;
  if (!In.Get(Lo) || !In.Get(Hi)) return arUnexpectedEnd;
  const auto Nodes = static_cast<int16_t>(Lo | (Hi << 8));
  if (Nodes < 0 || Nodes > kSqueezeMaxNodes) return arInvalidTree;
  if (Nodes == 0) return arOk;  // no tree: the data is empty
  std::vector<int16_t> Child(static_cast<size_t>(Nodes) * 2);
  for (int16_t& C : Child) {
    if (!In.Get(Lo) || !In.Get(Hi)) return arUnexpectedEnd;
    C = static_cast<int16_t>(Lo | (Hi << 8));
    // A child is a node of the tree, or a leaf holding a byte value or the end mark.
    if (C >= Nodes || C < -(kSqueezeEnd + 1)) return arInvalidTree;
  }
  uint8_t Byte = 0;
  int Bit = 8;
  for (;;) {
    int I = 0;
    while (I >= 0) {
      if (Bit == 8) {
        if (!In.Get(Byte)) return arOk;  // the data ended without its end mark
        Bit = 0;
      }
      I = Child[static_cast<size_t>(I) * 2 + ((Byte >> Bit++) & 1)];
    }
    const int Value = -(I + 1);
    if (Value == kSqueezeEnd || !Out.Put(static_cast<uint8_t>(Value))) return arOk;
  }
}

// The string table of the crunched methods: strings are placed at a hash of their predecessor and
// follower, collisions chained and moved to the next free slot.
class TCrunchTable {
 public:
  explicit TCrunchTable(bool NewHash) : NewHash_(NewHash) {
    for (int C = 0; C < 256; ++C) Add(kNoPredecessor, static_cast<uint8_t>(C));
  }
  bool Used(uint16_t Code) const { return Slot_[Code].Used; }
  uint16_t Predecessor(uint16_t Code) const { return Slot_[Code].Pred; }
  uint8_t Follower(uint16_t Code) const { return Slot_[Code].Follower; }

  void Add(uint16_t Pred, uint8_t Follower) {
    uint16_t Slot = Hash(Pred, Follower);
    if (Slot_[Slot].Used) {
      uint16_t End = Slot;
      for (int32_t Hops = 0; Slot_[End].Next != 0 && Hops < kCrunchTable; ++Hops) End = Slot_[End].Next;
      uint16_t Free = (End + kCrunchProbeStep) & kCrunchMask;
      int32_t Probes = 0;
      while (Slot_[Free].Used && ++Probes < kCrunchTable) Free = (Free + 1) & kCrunchMask;
      if (Slot_[Free].Used) return;  // the table is full
      Slot_[End].Next = Free;
      Slot = Free;
    }
    Slot_[Slot] = TSlot{true, 0, Pred, Follower};
  }

 private:
  uint16_t Hash(uint16_t Pred, uint8_t Follower) const {
    const uint32_t Sum = (Pred + Follower) & 0xFFFFu;
    if (NewHash_) return static_cast<uint16_t>((Sum * 15073u) & kCrunchMask);
    const uint32_t K = (Sum | 0x800u) & 0xFFFFu;  // mid-square of the old hash
    return static_cast<uint16_t>(((K * K) >> 6) & kCrunchMask);
  }
  struct TSlot {
    bool Used = false;
    uint16_t Next = 0;
    uint16_t Pred = 0;
    uint8_t Follower = 0;
  };
  bool NewHash_;
  TSlot Slot_[kCrunchTable];
};

TArcResult Uncrunch(TByteInput& In, TArcOutput& Out, bool NewHash) {
  auto Table = std::make_unique<TCrunchTable>(NewHash);
  // Two 12-bit codes in every three bytes.
  bool Half = false;
  uint8_t Saved = 0;
  auto NextCode = [&](uint16_t& Code) {
    uint8_t A = 0, B = 0;
    if (!Half) {
      if (!In.Get(A) || !In.Get(B)) return false;
      Code = static_cast<uint16_t>((A << 4) | (B >> 4));
      Saved = B;
    } else {
      if (!In.Get(A)) return false;
      Code = static_cast<uint16_t>(((Saved & 0x0F) << 8) | A);
    }
    Half = !Half;
    return true;
  };
  uint16_t OldCode = 0;
  if (!NextCode(OldCode)) return arOk;
  uint8_t FinChar = Table->Follower(OldCode);
  if (!Out.Put(FinChar)) return arOk;
  std::vector<uint8_t> Stack(kCrunchStack);
  int32_t Added = 0;
  for (uint16_t Code; NextCode(Code);) {
    int32_t Depth = 0;
    uint16_t Cur = Code;
    if (!Table->Used(Code)) {  // the string being defined: the previous one and its first byte
      Stack[Depth++] = FinChar;
      Cur = OldCode;
    }
    while (Table->Predecessor(Cur) != kNoPredecessor) {
      if (Depth == kCrunchStack) return arStackOverflow;
      Stack[Depth++] = Table->Follower(Cur);
      Cur = Table->Predecessor(Cur) & kCrunchMask;
    }
    FinChar = Table->Follower(Cur);
    if (!Out.Put(FinChar)) return arOk;
    while (Depth > 0)
      if (!Out.Put(Stack[--Depth])) return arOk;
    if (Added < kCrunchAdditions) {
      Table->Add(OldCode, FinChar);
      ++Added;
    }
    OldCode = Code;
  }
  return arOk;
}

// Thrown by the LZW sink when the declared size is reached, to end decoding early.
struct TOutputFull {};

TArcResult DynamicLzw(TByteInput& In, TArcOutput& Out, int Bits) {
  TDelzwDecoder D(Bits, true);
  TLzhResult R = lrOk;
  try {
    R = D.Decode([&In](uint8_t* Buffer, int32_t Count) { return In.Take(Buffer, Count); }, INT64_MAX,
                 [&Out](const uint8_t* Buffer, int32_t Count) {
                   for (int32_t I = 0; I < Count; ++I)
                     if (!Out.Put(Buffer[I])) throw TOutputFull();
                 });
  } catch (const TOutputFull&) {
    return arOk;
  }
  return R == lrOk ? arOk : arCorruptInput;
}

}  // namespace

TArcResult DecodeArcMethod(int Method, const TLzhSource& Source, int64_t PackedSize, int64_t UnpackedSize,
                           const TLzhSink& Sink) {
  if (Method < 3 || Method > 9) return arUnsupported;
  TByteInput In(Source, std::max<int64_t>(PackedSize, 0), kArcBuffer);
  // Methods 5 and 9 write the decoded bytes as they are; the others through the run-length stage.
  TArcOutput Out(Sink, UnpackedSize, Method != 5 && Method != 9);
  TArcResult R = arOk;
  switch (Method) {
    case 3:
      R = Unpack(In, Out);
      break;
    case 4:
      R = Unsqueeze(In, Out);
      break;
    case 5:
    case 6:
    case 7:
      R = Uncrunch(In, Out, Method == 7);
      break;
    case 8: {
      uint8_t Width = 0;
      if (!In.Get(Width)) {
        R = arUnexpectedEnd;
      } else if (Width != kArcLzwBits) {
        R = arIncorrectBits;
      } else {
        R = DynamicLzw(In, Out, kArcLzwBits);
      }
      break;
    }
    default:
      R = DynamicLzw(In, Out, kSquashBits);
      break;
  }
  Out.Flush();
  if (R == arOk && Out.Count() < UnpackedSize) R = arUnexpectedEnd;
  return R;
}
