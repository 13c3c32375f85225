#include "core/MemUtils.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Loads and stores through memcpy, so that no routine needs aligned data.
template <typename T>
T Load(const void* Data, int32_t Index) {
  T V;
  std::memcpy(&V, static_cast<const uint8_t*>(Data) + static_cast<size_t>(Index) * sizeof(T), sizeof(T));
  return V;
}

template <typename T>
int32_t CountOf(const void* Data, T Value, int32_t Count) {
  int32_t N = 0;
  for (int32_t I = 0; I < Count; ++I) N += Load<T>(Data, I) == Value;
  return N;
}

template <typename T>
int32_t IndexOf(const void* Data, T Value, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I)
    if (Load<T>(Data, I) == Value) return I;
  return -1;
}

template <typename T>
int32_t LastIndexOf(const void* Data, T Value, int32_t Count) {
  for (int32_t I = Count - 1; I >= 0; --I)
    if (Load<T>(Data, I) == Value) return I;
  return -1;
}

}  // namespace

int32_t Min(int32_t A, int32_t B) { return A < B ? A : B; }
int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }

int32_t Clamp(int32_t Value, int32_t Lo, int32_t Hi) {
  if (Value < Lo) Value = Lo;
  if (Value > Hi) Value = Hi;
  return Value;
}

bool MemEqual(const void* P1, const void* P2, int32_t Count) {
  if (Count < 0) return false;
  return Count == 0 || std::memcmp(P1, P2, static_cast<size_t>(Count)) == 0;
}

void SwapMem(void* P1, void* P2, int32_t Count) {
  if (Count <= 0 || P1 == P2) return;
  auto* A = static_cast<uint8_t*>(P1);
  auto* B = static_cast<uint8_t*>(P2);
  uint8_t Tmp[256];
  while (Count > 0) {
    size_t N = std::min<size_t>(static_cast<size_t>(Count), sizeof(Tmp));
    std::memcpy(Tmp, A, N);
    std::memmove(A, B, N);
    std::memcpy(B, Tmp, N);
    A += N;
    B += N;
    Count -= static_cast<int32_t>(N);
  }
}

int32_t FindMem(const void* Pattern, int32_t PatLen, const void* Data, int32_t DataLen) {
  if (PatLen <= 0 || PatLen > DataLen) return -1;
  const auto* D = static_cast<const uint8_t*>(Data);
  const auto* P = static_cast<const uint8_t*>(Pattern);
  const void* Hit = memmem(D, static_cast<size_t>(DataLen), P, static_cast<size_t>(PatLen));
  return Hit ? static_cast<int32_t>(static_cast<const uint8_t*>(Hit) - D) : -1;
}

int32_t FindMemWords(const void* Pattern, int32_t PatLen, const void* Data, int32_t DataLen) {
  if (PatLen <= 0 || PatLen > DataLen) return -1;
  const auto* D = static_cast<const uint8_t*>(Data);
  const auto* P = static_cast<const uint8_t*>(Pattern);
  const size_t PatBytes = static_cast<size_t>(PatLen) * 2;
  const size_t DataBytes = static_cast<size_t>(DataLen) * 2;
  size_t Start = 0;
  // A byte-wise hit must also start on a unit boundary; after an odd one the search goes on from the next
  // unit.
  while (DataBytes - Start >= PatBytes) {
    const void* Hit = memmem(D + Start, DataBytes - Start, P, PatBytes);
    if (!Hit) return -1;
    const size_t Off = static_cast<size_t>(static_cast<const uint8_t*>(Hit) - D);
    if (Off % 2 == 0) return static_cast<int32_t>(Off / 2);
    Start = Off + 1;
  }
  return -1;
}

void FillDWord(void* Dest, uint32_t Value, int32_t Count) {
  auto* D = static_cast<uint8_t*>(Dest);
  for (int32_t I = 0; I < Count; ++I) std::memcpy(D + static_cast<size_t>(I) * 4, &Value, 4);
}

void FillQWord(void* Dest, const void* Value, int32_t Count) {
  auto* D = static_cast<uint8_t*>(Dest);
  uint8_t V[8];
  if (Count > 0) std::memcpy(V, Value, 8);
  for (int32_t I = 0; I < Count; ++I) std::memcpy(D + static_cast<size_t>(I) * 8, V, 8);
}

int32_t CountByte(const void* Data, uint8_t Value, int32_t Count) { return CountOf(Data, Value, Count); }
int32_t CountInt32(const void* Data, int32_t Value, int32_t Count) { return CountOf(Data, Value, Count); }
int32_t CountDouble(const void* Data, double Value, int32_t Count) { return CountOf(Data, Value, Count); }

int32_t IndexOfByte(const void* Data, uint8_t Value, int32_t Count) {
  if (Count <= 0) return -1;
  const void* Hit = std::memchr(Data, Value, static_cast<size_t>(Count));
  return Hit ? static_cast<int32_t>(static_cast<const uint8_t*>(Hit) - static_cast<const uint8_t*>(Data))
             : -1;
}
int32_t IndexOfWord(const void* Data, uint16_t Value, int32_t Count) { return IndexOf(Data, Value, Count); }
int32_t IndexOfInt32(const void* Data, int32_t Value, int32_t Count) { return IndexOf(Data, Value, Count); }
int32_t IndexOfDouble(const void* Data, double Value, int32_t Count) { return IndexOf(Data, Value, Count); }
int32_t LastIndexOfByte(const void* Data, uint8_t Value, int32_t Count) {
  return LastIndexOf(Data, Value, Count);
}
int32_t LastIndexOfInt32(const void* Data, int32_t Value, int32_t Count) {
  return LastIndexOf(Data, Value, Count);
}
int32_t LastIndexOfDouble(const void* Data, double Value, int32_t Count) {
  return LastIndexOf(Data, Value, Count);
}

const uint8_t* FindNonAscii(const void* Buf, int32_t Len) {
  const auto* B = static_cast<const uint8_t*>(Buf);
  for (int32_t I = 0; I < Len; ++I)
    if (B[I] >= 128) return B + I;
  return nullptr;
}

int32_t ReplaceByte(void* Buf, uint8_t OldByte, uint8_t NewByte, int32_t Len) {
  auto* B = static_cast<uint8_t*>(Buf);
  int32_t N = 0;
  for (int32_t I = 0; I < Len; ++I) {
    if (B[I] == OldByte) {
      B[I] = NewByte;
      ++N;
    }
  }
  return N;
}

void SwapBytePairs(void* Buf, int32_t Len) {
  if (!Buf) return;
  auto* B = static_cast<uint8_t*>(Buf);
  for (int32_t I = 0; I + 1 < Len; I += 2) std::swap(B[I], B[I + 1]);
}

std::string BufToStr(const void* Buf, int32_t MaxLen) {
  if (!Buf || MaxLen <= 0) return {};
  const auto* B = static_cast<const char*>(Buf);
  return std::string(B, strnlen(B, static_cast<size_t>(MaxLen)));
}

std::u16string RawToWideStr(const std::string& S) {
  std::u16string R(S.size() / 2, u'\0');
  for (size_t I = 0; I < R.size(); ++I)
    R[I] = static_cast<char16_t>(static_cast<uint8_t>(S[2 * I]) | static_cast<uint8_t>(S[2 * I + 1]) << 8);
  return R;
}

void TruncateAtNul(std::string& S) {
  size_t P = S.find('\0');
  if (P != std::string::npos) S.resize(P);
}

void TruncateAtNul(std::u16string& S) {
  size_t P = S.find(u'\0');
  if (P != std::u16string::npos) S.resize(P);
}

int64_t GetPhysicalMemorySize() {
  static std::atomic<int64_t> Cached{0};
  int64_t Size = Cached.load(std::memory_order_relaxed);
  if (Size == 0) {
    long Pages = sysconf(_SC_PHYS_PAGES);
    long PageSize = sysconf(_SC_PAGESIZE);
    Size = Pages > 0 && PageSize > 0 ? static_cast<int64_t>(Pages) * PageSize : 0;
    Cached.store(Size, std::memory_order_relaxed);
  }
  return Size;
}

std::u16string AddLongPathPrefix(const std::u16string& Path) { return Path; }

void TSafeGuard::FreeItem() {
  std::free(Item_);
  Item_ = nullptr;
}
