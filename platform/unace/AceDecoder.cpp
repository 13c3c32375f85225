#include "platform/unace/AceDecoder.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint8_t kCall = 0xE8;  // x86 CALL with a relative target
constexpr uint8_t kJump = 0xE9;  // x86 JMP with a relative target
// Bytes that must follow an opcode before its target is turned back into a relative one.
constexpr size_t kExeLookahead = 4;

// Undoes the exe mode's rewriting of x86 call and jump targets (stored absolute, for better
// compression) over a run of exe-mode output. Bytes are held back until four follow them, or the run
// ends; positions count from the item's first byte.
class TExeFilter {
 public:
  // Filters In (which continues the run) into Out; Position is the item offset of the run's next byte.
  void Add(const std::vector<uint8_t>& In, bool Transform, uint8_t ExeMode, uint64_t& Position,
           std::vector<uint8_t>& Out) {
    Work_.insert(Work_.end(), In.begin(), In.end());
    size_t I = 0;
    if (Transform) {
      while (I + kExeLookahead < Work_.size()) {
        const uint8_t Op = Work_[I];
        if (Op == kCall && ExeMode != 0) {
          Rebase(I, 4, Position + I);
          I += 5;
        } else if (Op == kCall || Op == kJump) {
          Rebase(I, 2, Position + I);
          I += 3;
        } else {
          ++I;
        }
      }
    } else {
      I = Work_.size();
    }
    Out.insert(Out.end(), Work_.begin(), Work_.begin() + static_cast<std::ptrdiff_t>(I));
    Work_.erase(Work_.begin(), Work_.begin() + static_cast<std::ptrdiff_t>(I));
    Position += I;
  }
  // The run ends: the held bytes go out as they are, except that an opcode after the first of them is
  // carried into the next LZ77 run when CarryOn is set (its operand may still come).
  void End(bool CarryOn, uint64_t& Position, std::vector<uint8_t>& Out) {
    size_t Keep = Work_.size();
    if (CarryOn)
      for (size_t J = 1; J < Work_.size(); ++J)
        if (Work_[J] == kCall || Work_[J] == kJump) {
          Keep = J;
          break;
        }
    Out.insert(Out.end(), Work_.begin(), Work_.begin() + static_cast<std::ptrdiff_t>(Keep));
    Work_.erase(Work_.begin(), Work_.begin() + static_cast<std::ptrdiff_t>(Keep));
    Position += Keep;
  }
  void Clear() { Work_.clear(); }
  size_t Held() const { return Work_.size(); }

 private:
  void Rebase(size_t At, int Width, uint64_t Pos) {
    uint32_t V = 0;
    for (int K = 0; K < Width; ++K)
      V |= static_cast<uint32_t>(Work_[At + 1 + static_cast<size_t>(K)]) << (8 * K);
    V -= static_cast<uint32_t>(Pos);
    for (int K = 0; K < Width; ++K)
      Work_[At + 1 + static_cast<size_t>(K)] = static_cast<uint8_t>(V >> (8 * K));
  }
  std::vector<uint8_t> Work_;
};

}  // namespace

TAceDecoder::TAceDecoder()
    : Lz77_(std::make_unique<TAceLz77>()),
      Sound_(std::make_unique<TAceSound>()),
      Pic_(std::make_unique<TAcePic>()) {}

bool TAceDecoder::Decode(TAceSource& In, uint8_t Method, uint64_t Size, const TSink& Sink) {
  switch (Method) {
    case amStored:
      return DecodeStored(In, Size, Sink);
    case amLz77:
      return DecodeLz77(In, Size, Sink);
    case amBlocked:
      return DecodeBlocked(In, Size, Sink);
    default:
      throw TAceDataError("unknown compression method");
  }
}

bool TAceDecoder::DecodeStored(TAceSource& In, uint64_t Size, const TSink& Sink) {
  std::vector<uint8_t> Buf(kChunk);
  for (uint64_t Done = 0; Done < Size;) {
    const size_t Want = static_cast<size_t>(std::min<uint64_t>(kChunk, Size - Done));
    const size_t Got = In.Read(Buf.data(), Want);
    if (Got == 0) throw TAceDataError("stored data ends early");
    Lz77_->AddToWindow(Buf.data(), Got);
    if (!Sink(Buf.data(), Got)) return false;
    Done += Got;
  }
  return true;
}

bool TAceDecoder::DecodeLz77(TAceSource& In, uint64_t Size, const TSink& Sink) {
  if (Size == 0) return true;
  Lz77_->Reinit();
  TAceBitReader Bits(In);
  std::vector<uint8_t> Out;
  Out.reserve(kChunk);
  for (uint64_t Done = 0; Done < Size;) {
    Out.clear();
    const size_t Want = static_cast<size_t>(std::min<uint64_t>(kChunk, Size - Done));
    if (Lz77_->Read(Bits, Want, Out)) throw TAceDataError("mode switch in an ACE 1.0 item");
    if (Out.empty()) throw TAceDataError("LZ77 data makes no progress");
    if (!Sink(Out.data(), Out.size())) return false;
    Done += Out.size();
  }
  return true;
}

bool TAceDecoder::DecodeBlocked(TAceSource& In, uint64_t Size, const TSink& Sink) {
  if (Size == 0) return true;
  Lz77_->Reinit();
  TAceBitReader Bits(In);
  TAceMode Mode;
  std::optional<TAceMode> Next;
  TExeFilter Exe;
  uint64_t ExePosition = 0;  // item offset of the next byte the exe filter gives out
  uint8_t LastDelta = 0;
  std::vector<uint8_t> Raw, Out, Delta;
  uint64_t Done = 0;
  int Idle = 0;  // steps in a row that produced nothing
  auto Emit = [&]() -> bool {
    if (Out.empty()) return true;
    // The declared size bounds the output; the modes never make more, this guards the sum.
    if (Out.size() > Size - Done) throw TAceDataError("data longer than declared");
    Done += Out.size();
    return Sink(Out.data(), Out.size());
  };
  while (Done < Size) {
    Out.clear();
    if (Next) {
      const bool Lz77Run = Mode.Mode == TAceMode::Lz77 || Mode.Mode == TAceMode::Exe;
      const bool NextLz77Run = Next->Mode == TAceMode::Lz77 || Next->Mode == TAceMode::Exe;
      if (Lz77Run) {
        Exe.End(NextLz77Run, ExePosition, Out);
        if (!Emit()) return false;
        Out.clear();
      }
      if (Next->Mode != Mode.Mode) {
        if (Next->Mode >= TAceMode::Sound8 && Next->Mode <= TAceMode::Sound32B)
          Sound_->Reinit(Next->Mode);
        else if (Next->Mode == TAceMode::Pic)
          Pic_->Reinit(Bits);
      }
      Mode = *Next;
      Next.reset();
    }
    const size_t Want = static_cast<size_t>(std::min<uint64_t>(TAceDecoder::kChunk, Size - Done));
    switch (Mode.Mode) {
      case TAceMode::Delta: {
        if (Mode.DeltaDistance == 0 || Mode.DeltaLength == 0 || Mode.DeltaLength % Mode.DeltaDistance != 0)
          throw TAceDataError("delta block sizes do not agree");
        if (Mode.DeltaLength > Size - Done) throw TAceDataError("delta block longer than the item");
        Delta.clear();
        while (Delta.size() < Mode.DeltaLength) {
          const size_t Before = Delta.size();
          if (auto M = Lz77_->Read(Bits, Mode.DeltaLength - Delta.size(), Delta)) Next = M;
          if (Delta.size() == Before && !Next) throw TAceDataError("delta data makes no progress");
          if (Delta.size() == Before) break;
        }
        if (Delta.size() != Mode.DeltaLength) throw TAceDataError("delta block ends early");
        for (uint8_t& B : Delta) {
          B = static_cast<uint8_t>(B + LastDelta);
          LastDelta = B;
        }
        // The block holds DeltaDistance planes one after another; records interleave them.
        const size_t PlaneSize = Mode.DeltaLength / Mode.DeltaDistance;
        for (size_t Pos = 0; Pos < PlaneSize; ++Pos)
          for (size_t Plane = 0; Plane < Mode.DeltaLength; Plane += PlaneSize)
            Out.push_back(Delta[Plane + Pos]);
        break;
      }
      case TAceMode::Lz77:
      case TAceMode::Exe: {
        if (Done + Exe.Held() >= Size) {
          // The item's last bytes were held for an operand that never came: they go out as they are.
          Exe.End(false, ExePosition, Out);
          break;
        }
        Raw.clear();
        Next = Lz77_->Read(Bits, Want - Exe.Held(), Raw);
        if (Raw.empty() && !Next) throw TAceDataError("LZ77 data makes no progress");
        Exe.Add(Raw, Mode.Mode == TAceMode::Exe, Mode.ExeMode, ExePosition, Out);
        if (Done + Out.size() + Exe.Held() >= Size) Exe.End(false, ExePosition, Out);
        break;
      }
      case TAceMode::Sound8:
      case TAceMode::Sound16:
      case TAceMode::Sound32A:
      case TAceMode::Sound32B:
        Next = Sound_->Read(Bits, Want, Out);
        Lz77_->AddToWindow(Out.data(), Out.size());
        break;
      case TAceMode::Pic:
        Next = Pic_->Read(Bits, Want, Out);
        Lz77_->AddToWindow(Out.data(), Out.size());
        break;
      default:
        throw TAceDataError("unknown compression mode");
    }
    if (Out.empty() && !Next) {
      // Held exe bytes wait for more input; anything else that yields nothing would loop forever.
      if (++Idle > 2) throw TAceDataError("compressed data makes no progress");
    } else {
      Idle = 0;
    }
    if (Mode.Mode != TAceMode::Lz77 && Mode.Mode != TAceMode::Exe) ExePosition = Done + Out.size();
    if (!Emit()) return false;
  }
  return true;
}
