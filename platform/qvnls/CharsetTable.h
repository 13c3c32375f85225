// Inside the qvnls layer: the one table of charset codes (written down in Qvnls.h) and the per-charset
// byte maps of the single-byte charsets, built once from ICU converters.
#pragma once

#include <cstdint>

namespace qvnls::detail {

struct CharsetInfo {
  uint8_t code;
  const char* icuName;  // the ICU converter that decodes and encodes it
  const char* name;     // its MIME or IANA name
  int32_t codePage;     // the Windows or DOS code page number
  uint8_t windows;      // the Windows charset of the same script
  uint8_t maxBytes;     // bytes per UTF-16 unit at most: 1 for the single-byte charsets
};

// The row of a charset code, null for an unassigned one.
const CharsetInfo* FindCharset(uint8_t code);
// The row of a code page number, null when none has it.
const CharsetInfo* FindCodePage(int32_t codePage);
// The row of a charset name or alias through ICU's alias table (case ignored), null when unknown.
const CharsetInfo* FindCharsetName(const char* name);

// Byte maps of one single-byte charset. Every byte decodes to one UTF-16 unit: its character, or, for
// a byte the code page leaves undefined, U+0080-U+009F for bytes below 0xA0 (as the system converter
// does) and the private-use unit U+F700 + byte above, so no real character is claimed.
struct SingleByteMaps {
  char16_t toWide[256];
  bool defined[256];  // the code page assigns a character to the byte
  // fromWide[unit] is the byte of the unit when toWide[that byte] == unit (see Encode).
  uint8_t fromWide[65536];
  // upper[byte]: the byte of the upper-case character, 0 when it is not in the charset.
  uint8_t upper[256];

  bool Encode(char16_t unit, uint8_t& byte) const {
    byte = fromWide[unit];
    return toWide[byte] == unit;
  }
};

// The maps of a single-byte charset (0 meaning the system Windows charset), null for any other code.
// Built on first use and kept until the process ends.
const SingleByteMaps* GetSingleByteMaps(uint8_t code);

// Charset 0 taken as the system Windows charset.
uint8_t ResolveCharset(uint8_t code);

// The units of a UTF-16 unit sequence read from any byte address.
inline char16_t LoadUnit(const void* p, int32_t index) {
  const auto* b = static_cast<const unsigned char*>(p) + 2 * index;
  return static_cast<char16_t>(b[0] | (b[1] << 8));
}
inline void StoreUnit(void* p, int32_t index, char16_t unit) {
  auto* b = static_cast<unsigned char*>(p) + 2 * index;
  b[0] = static_cast<unsigned char>(unit & 0xFF);
  b[1] = static_cast<unsigned char>(unit >> 8);
}

}  // namespace qvnls::detail
