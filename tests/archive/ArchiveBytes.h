// Archives made in a test, so that a test can build any nesting: a ZIP of stored entries and a GZIP of a
// buffer.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/WinUtils.h"

namespace arcbytes {

inline void Le16(std::string& S, uint32_t V) {
  S += static_cast<char>(V & 0xFF);
  S += static_cast<char>((V >> 8) & 0xFF);
}

inline void Le32(std::string& S, uint32_t V) {
  Le16(S, V & 0xFFFF);
  Le16(S, V >> 16);
}

// A ZIP archive of stored entries (name, bytes). With Prefix the archive has data in front; Shifted says
// whether its offsets count that data (as "zip -A" leaves them) or not (a padded download).
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& Entries,
                             const std::string& Prefix = std::string(), bool Shifted = false) {
  const uint32_t Base = Shifted ? static_cast<uint32_t>(Prefix.size()) : 0;
  constexpr uint32_t kDosDate = (40 << 9) | (5 << 5) | 6;  // 2020-05-06
  std::string Out, Central;
  for (const auto& [Name, Data] : Entries) {
    const uint32_t Crc = ~UpdateCrc32(0xFFFFFFFF, Data.data(), static_cast<int32_t>(Data.size()));
    const uint32_t Offset = Base + static_cast<uint32_t>(Out.size());
    std::string Fields;  // version needed .. extra length, shared by both headers
    Le16(Fields, 10);
    Le16(Fields, 0);  // flags
    Le16(Fields, 0);  // stored
    Le16(Fields, 0);  // time
    Le16(Fields, kDosDate);
    Le32(Fields, Crc);
    Le32(Fields, static_cast<uint32_t>(Data.size()));
    Le32(Fields, static_cast<uint32_t>(Data.size()));
    Le16(Fields, static_cast<uint32_t>(Name.size()));
    Le16(Fields, 0);  // extra
    Out += "PK\x03\x04" + Fields + Name + Data;
    Central += "PK\x01\x02";
    Le16(Central, 10);  // made by
    Central += Fields;
    Le16(Central, 0);  // comment
    Le16(Central, 0);  // disk
    Le16(Central, 0);  // internal attributes
    Le32(Central, 0);  // external attributes
    Le32(Central, Offset);
    Central += Name;
  }
  const uint32_t CentralOffset = Base + static_cast<uint32_t>(Out.size());
  Out += Central + "PK\x05\x06";
  Le16(Out, 0);
  Le16(Out, 0);
  Le16(Out, static_cast<uint32_t>(Entries.size()));
  Le16(Out, static_cast<uint32_t>(Entries.size()));
  Le32(Out, static_cast<uint32_t>(Central.size()));
  Le32(Out, CentralOffset);
  Le16(Out, 0);
  return Prefix + Out;
}

// One GZIP member of Data.
inline std::string Gzip(const std::string& Data) {
  z_stream Z{};
  deflateInit2(&Z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string Out(deflateBound(&Z, static_cast<uLong>(Data.size())) + 64, '\0');
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  Z.avail_in = static_cast<uInt>(Data.size());
  Z.next_out = reinterpret_cast<Bytef*>(Out.data());
  Z.avail_out = static_cast<uInt>(Out.size());
  deflate(&Z, Z_FINISH);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

}  // namespace arcbytes
