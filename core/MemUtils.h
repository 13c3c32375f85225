// The lowest layer of the core library: integer minimum, maximum and clamping; comparison, exchange,
// search, fill and counting over raw memory in bytes, 16-bit units, 32-bit integers and doubles (the
// vectors and streams build their block operations on them); buffer-to-string helpers; the machine's
// physical memory size; the long-path prefix of UTF-16 file names; and scope guards.
//
// Counts are numbers of elements of the stated width, indexes are 0-based and "not found" is -1. A Count
// of 0 or less touches no memory. Data pointers need no alignment. Every routine is reentrant.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

int32_t Min(int32_t A, int32_t B);
int32_t Max(int32_t A, int32_t B);
// Value raised to Lo, then lowered to Hi (so Hi wins when Lo > Hi).
int32_t Clamp(int32_t Value, int32_t Lo, int32_t Hi);

// True when the Count bytes are equal; Count 0 gives true, a negative Count false.
bool MemEqual(const void* P1, const void* P2, int32_t Count);
// Exchanges two blocks of Count bytes.
void SwapMem(void* P1, void* P2, int32_t Count);
// Byte offset of the first occurrence of Pattern in Data; -1 when PatLen <= 0, PatLen > DataLen or absent.
int32_t FindMem(const void* Pattern, int32_t PatLen, const void* Data, int32_t DataLen);
// The same over 16-bit units: lengths and the result count units.
int32_t FindMemWords(const void* Pattern, int32_t PatLen, const void* Data, int32_t DataLen);
// Writes Value into Count consecutive 32-bit units.
void FillDWord(void* Dest, uint32_t Value, int32_t Count);
// Copies the 8 bytes at Value into Count consecutive 8-byte units.
void FillQWord(void* Dest, const void* Value, int32_t Count);

// How many elements equal Value.
int32_t CountByte(const void* Data, uint8_t Value, int32_t Count);
int32_t CountInt32(const void* Data, int32_t Value, int32_t Count);
int32_t CountDouble(const void* Data, double Value, int32_t Count);
// Index of the first / last equal element, -1 when none.
int32_t IndexOfByte(const void* Data, uint8_t Value, int32_t Count);
int32_t IndexOfWord(const void* Data, uint16_t Value, int32_t Count);
int32_t IndexOfInt32(const void* Data, int32_t Value, int32_t Count);
int32_t IndexOfDouble(const void* Data, double Value, int32_t Count);
int32_t LastIndexOfByte(const void* Data, uint8_t Value, int32_t Count);
int32_t LastIndexOfInt32(const void* Data, int32_t Value, int32_t Count);
int32_t LastIndexOfDouble(const void* Data, double Value, int32_t Count);
// The double routines compare with IEEE equality: +0 equals -0 and a NaN equals nothing.

// Address of the first byte of 128 or more in Buf, nullptr when none.
const uint8_t* FindNonAscii(const void* Buf, int32_t Len);
// Replaces every OldByte by NewByte in place; returns how many were replaced.
int32_t ReplaceByte(void* Buf, uint8_t OldByte, uint8_t NewByte, int32_t Len);
// Exchanges the two bytes of every complete pair in place; an odd last byte stays. Nothing for nullptr.
void SwapBytePairs(void* Buf, int32_t Len);

// The bytes of Buf up to the first NUL, at most MaxLen of them; empty for nullptr.
std::string BufToStr(const void* Buf, int32_t MaxLen);
// The bytes of S taken as UTF-16 code units, low byte first; an odd last byte is dropped.
std::u16string RawToWideStr(const std::string& S);
// Cuts S at its first NUL character, if any.
void TruncateAtNul(std::string& S);
void TruncateAtNul(std::u16string& S);

// The total physical memory in bytes, asked once and then cached.
int64_t GetPhysicalMemorySize();
// A file name ready to be opened. Linux has no path-length prefix, so the path is returned unchanged.
std::u16string AddLongPathPrefix(const std::u16string& Path);

// Scope guards: the guarded item is freed when the last ISafeGuard reference to its guard goes away.
// TSafeGuard guards a block from std::malloc; TObjSafeGuard<T> guards an object made with new.
class TSafeGuard {
 public:
  explicit TSafeGuard(void* Item) : Item_(Item) {}
  TSafeGuard(const TSafeGuard&) = delete;
  TSafeGuard& operator=(const TSafeGuard&) = delete;
  virtual ~TSafeGuard() { TSafeGuard::FreeItem(); }
  // Releases the item; Item becomes nullptr.
  virtual void FreeItem();

 protected:
  void* Item_;
};

using ISafeGuard = std::shared_ptr<TSafeGuard>;

template <typename T>
class TObjSafeGuard : public TSafeGuard {
 public:
  explicit TObjSafeGuard(T* Obj) : TSafeGuard(Obj) {}
  ~TObjSafeGuard() override { TObjSafeGuard::FreeItem(); }
  void FreeItem() override {
    delete static_cast<T*>(Item_);
    Item_ = nullptr;
  }
};

// Wraps Obj in a new TObjSafeGuard stored in Guard (an earlier guard in Guard is released first) and
// returns Obj, which is deleted when the last reference to Guard goes away.
template <typename T>
T* GuardObject(T* Obj, ISafeGuard& Guard) {
  Guard.reset();
  Guard = std::make_shared<TObjSafeGuard<T>>(Obj);
  return Obj;
}
