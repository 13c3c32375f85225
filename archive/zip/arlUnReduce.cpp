#include "archive/zip/arlUnReduce.h"

#include <array>

namespace {

constexpr int32_t kMaxFollowers = 32;
constexpr uint8_t kDle = 144;
// The bits of the second copy byte that belong to the length, by factor 1 to 4.
constexpr uint8_t kLengthMask[5] = {0, 0x7F, 0x3F, 0x1F, 0x0F};
// The shortest copy.
constexpr uint32_t kMinCopy = 3;

struct TFollowerSet {
  int32_t Count = 0;
  std::array<uint8_t, kMaxFollowers> Bytes{};
};

// The bits that index a set of N followers.
int IndexBits(int32_t N) {
  if (N <= 2) return 1;
  if (N <= 4) return 2;
  if (N <= 8) return 3;
  if (N <= 16) return 4;
  return 5;
}

}  // namespace

void UnReduce(int Factor, TZipBitReader& In, TZipOutput& Out) {
  if (Factor < 1 || Factor > 4) throw E_RAISE(errBadBlock);
  std::array<TFollowerSet, 256> Sets;
  for (int C = 255; C >= 0; --C) {
    const int32_t N = In.ReadBits(6);
    if (N < 0) return;
    if (N > kMaxFollowers) throw E_RAISE(errBadBlock);
    Sets[C].Count = N;
    for (int32_t I = 0; I < N; ++I) {
      const int32_t B = In.ReadBits(8);
      if (B < 0) return;
      Sets[C].Bytes[I] = static_cast<uint8_t>(B);
    }
  }

  const uint8_t Mask = kLengthMask[Factor];
  int State = 0;
  uint32_t Length = 0;
  uint8_t V = 0;
  uint8_t Prev = 0;
  while (!Out.Complete()) {
    // The next byte through the follower sets.
    const TFollowerSet& Set = Sets[Prev];
    int32_t Byte;
    int32_t Flag = 1;
    if (Set.Count > 0 && (Flag = In.ReadBits(1)) < 0) return;
    if (Flag == 0) {
      const int32_t Index = In.ReadBits(IndexBits(Set.Count));
      if (Index < 0) return;
      if (Index >= Set.Count) throw E_RAISE(errBadBlock);
      Byte = Set.Bytes[Index];
    } else {
      Byte = In.ReadBits(8);
      if (Byte < 0) return;
    }
    Prev = static_cast<uint8_t>(Byte);

    // The run/copy stage.
    switch (State) {
      case 0:
        if (Byte == kDle)
          State = 1;
        else
          Out.Put(static_cast<uint8_t>(Byte));
        break;
      case 1:
        if (Byte == 0) {
          Out.Put(kDle);
          State = 0;
        } else {
          V = static_cast<uint8_t>(Byte);
          Length = V & Mask;
          State = Length == Mask ? 2 : 3;
        }
        break;
      case 2:
        Length += static_cast<uint32_t>(Byte);
        State = 3;
        break;
      case 3: {
        const uint32_t Distance =
            ((static_cast<uint32_t>(V) >> (8 - Factor)) << 8) + static_cast<uint32_t>(Byte) + 1;
        Out.Copy(Distance, Length + kMinCopy);
        State = 0;
        break;
      }
    }
  }
}
