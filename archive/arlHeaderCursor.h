// Bounds-checked reading of archive headers, shared by the type detection and the readers (ARC, ARJ, GZIP,
// LHA, TAR, ZIP, ZOO): ReadAt and ReadExactAt fetch a header's bytes from the archive stream without ever
// failing by exception, and THeaderCursor takes little-endian fields from those bytes, each getter failing
// (false) instead of reading past the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream32;

// Up to Count bytes of Stream from Position (fewer at the end of the stream or on a read error, none
// for a negative Position or Count).
std::vector<uint8_t> ReadAt(TStream32& Stream, int64_t Position, int32_t Count);

// Exactly Count bytes of Stream from Position into Buffer; false on a short read, a stream error or a
// negative Position or Count.
bool ReadExactAt(TStream32& Stream, int64_t Position, void* Buffer, int32_t Count);

class THeaderCursor {
 public:
  THeaderCursor(const uint8_t* Data, size_t Size) : Data_(Data), Size_(Size) {}
  explicit THeaderCursor(const std::vector<uint8_t>& Data) : THeaderCursor(Data.data(), Data.size()) {}

  size_t Pos() const { return Pos_; }
  size_t Left() const { return Size_ - Pos_; }
  bool Seek(size_t Pos) {
    if (Pos > Size_) return false;
    Pos_ = Pos;
    return true;
  }
  bool Skip(size_t N) { return N <= Left() && Seek(Pos_ + N); }
  bool U8(uint8_t& V);
  bool U16(uint16_t& V);
  bool U32(uint32_t& V);
  // N bytes as a string.
  bool Bytes(size_t N, std::string& Out);
  // The bytes up to the next NUL (consumed with it), at most MaxLength of them kept; false when no NUL
  // is left.
  bool ZString(size_t MaxLength, std::string& Out);

 private:
  const uint8_t* Data_;
  size_t Size_;
  size_t Pos_ = 0;
};
