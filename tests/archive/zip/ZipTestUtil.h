// Helpers shared by the ZIP decoder tests: fixture paths and files, little-endian fields, and a reference
// CRC-32 computed bit by bit (independent of the table-driven one under test).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/TestFiles.h"

namespace ziptest {

using Bytes = std::vector<uint8_t>;

inline std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/zip/fixtures/" + Name;
}

inline Bytes ReadFile(const std::string& Path) {
  const std::string Data = ReadFileBytes(Path);
  return Bytes(Data.begin(), Data.end());
}

inline Bytes ReadFixture(const std::string& Name) { return ReadFile(FixturePath(Name)); }

inline void WriteFile(const std::string& Path, const Bytes& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

inline uint16_t Le16(const Bytes& B, size_t At) { return static_cast<uint16_t>(B[At] | (B[At + 1] << 8)); }
inline uint32_t Le32(const Bytes& B, size_t At) {
  return static_cast<uint32_t>(B[At]) | (static_cast<uint32_t>(B[At + 1]) << 8) |
         (static_cast<uint32_t>(B[At + 2]) << 16) | (static_cast<uint32_t>(B[At + 3]) << 24);
}

// The usual CRC-32 (initial and final complement), one bit at a time.
inline uint32_t RefCrc32(const uint8_t* P, size_t N, uint32_t Crc = 0) {
  Crc = ~Crc;
  for (size_t I = 0; I < N; ++I) {
    Crc ^= P[I];
    for (int K = 0; K < 8; ++K) Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1)));
  }
  return ~Crc;
}
inline uint32_t RefCrc32(const Bytes& B) { return RefCrc32(B.data(), B.size()); }
inline uint32_t RefCrc32(const std::string& S) {
  return RefCrc32(reinterpret_cast<const uint8_t*>(S.data()), S.size());
}

inline Bytes ToBytes(const std::string& S) { return Bytes(S.begin(), S.end()); }
inline std::string ToString(const Bytes& B) { return std::string(B.begin(), B.end()); }

// A local header found by its name in a ZIP file: where the header and the entry's data start.
struct LocalEntry {
  size_t Header = 0;
  size_t Data = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t DosDateTime = 0;
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
};

inline bool FindLocal(const Bytes& Zip, const std::string& Name, LocalEntry& E) {
  for (size_t At = 0; At + 30 <= Zip.size(); ++At) {
    if (Le32(Zip, At) != 0x04034B50) continue;
    const uint16_t NameLen = Le16(Zip, At + 26);
    if (At + 30 + NameLen > Zip.size()) continue;
    if (std::string(Zip.begin() + At + 30, Zip.begin() + At + 30 + NameLen) != Name) continue;
    E.Header = At;
    E.Flags = Le16(Zip, At + 6);
    E.Method = Le16(Zip, At + 8);
    E.DosDateTime = Le32(Zip, At + 10);
    E.Crc = Le32(Zip, At + 14);
    E.CompressedSize = Le32(Zip, At + 18);
    E.Data = At + 30 + NameLen + Le16(Zip, At + 28);
    return true;
  }
  return false;
}

// Bits least significant first, as the older ZIP methods store them.
class BitWriter {
 public:
  BitWriter& Bits(uint32_t Value, int Count) {
    for (int I = 0; I < Count; ++I) Bit((Value >> I) & 1);
    return *this;
  }
  // A code from its most significant bit, as the imploded trees are walked.
  BitWriter& CodeMsbFirst(uint32_t Code, int Length) {
    for (int I = Length - 1; I >= 0; --I) Bit((Code >> I) & 1);
    return *this;
  }
  BitWriter& Byte(uint8_t B) { return Bits(B, 8); }
  // The bytes so far, the last one padded with zero bits.
  Bytes Data() const {
    Bytes Out = Out_;
    if (N_) Out.push_back(Acc_);
    return Out;
  }

 private:
  void Bit(uint32_t B) {
    Acc_ = static_cast<uint8_t>(Acc_ | (B << N_));
    if (++N_ == 8) {
      Out_.push_back(Acc_);
      Acc_ = 0;
      N_ = 0;
    }
  }
  Bytes Out_;
  uint8_t Acc_ = 0;
  int N_ = 0;
};

}  // namespace ziptest
