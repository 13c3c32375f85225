#include "archive/arlHeaderCursor.h"

#include <algorithm>
#include <cstring>

#include "archive/arlStreams.h"

std::vector<uint8_t> ReadAt(TStream32& Stream, int64_t Position, int32_t Count) {
  std::vector<uint8_t> Out;
  if (Position < 0 || Count <= 0) return Out;
  Out.resize(static_cast<size_t>(Count));
  int32_t Got = 0;
  try {
    if (Stream.Seek(Position, soBeginning) != Position) return {};
    while (Got < Count) {
      const int32_t N = Stream.Read(Out.data() + Got, Count - Got);
      if (N <= 0) break;
      Got += N;
    }
  } catch (const EStreamError&) {
  }
  Out.resize(static_cast<size_t>(Got));
  return Out;
}

bool ReadExactAt(TStream32& Stream, int64_t Position, void* Buffer, int32_t Count) {
  if (Position < 0 || Count < 0) return false;
  try {
    if (Stream.Seek(Position, soBeginning) != Position) return false;
    auto* Out = static_cast<uint8_t*>(Buffer);
    int32_t Got = 0;
    while (Got < Count) {
      const int32_t N = Stream.Read(Out + Got, Count - Got);
      if (N <= 0) return false;
      Got += N;
    }
    return true;
  } catch (const EStreamError&) {
    return false;
  }
}

bool THeaderCursor::U8(uint8_t& V) {
  if (Left() < 1) return false;
  V = Data_[Pos_++];
  return true;
}

bool THeaderCursor::U16(uint16_t& V) {
  if (Left() < 2) return false;
  V = static_cast<uint16_t>(Data_[Pos_] | (Data_[Pos_ + 1] << 8));
  Pos_ += 2;
  return true;
}

bool THeaderCursor::U32(uint32_t& V) {
  if (Left() < 4) return false;
  V = static_cast<uint32_t>(Data_[Pos_]) | (static_cast<uint32_t>(Data_[Pos_ + 1]) << 8) |
      (static_cast<uint32_t>(Data_[Pos_ + 2]) << 16) | (static_cast<uint32_t>(Data_[Pos_ + 3]) << 24);
  Pos_ += 4;
  return true;
}

bool THeaderCursor::Bytes(size_t N, std::string& Out) {
  if (Left() < N) return false;
  Out.assign(reinterpret_cast<const char*>(Data_ + Pos_), N);
  Pos_ += N;
  return true;
}

bool THeaderCursor::ZString(size_t MaxLength, std::string& Out) {
  const auto* End = static_cast<const uint8_t*>(std::memchr(Data_ + Pos_, 0, Left()));
  if (!End) return false;
  const size_t N = static_cast<size_t>(End - (Data_ + Pos_));
  Out.assign(reinterpret_cast<const char*>(Data_ + Pos_), std::min(N, MaxLength));
  Pos_ += N + 1;
  return true;
}
