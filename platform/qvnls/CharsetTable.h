// Inside the qvnls layer: the one table of charset codes (written down in Qvnls.h) and the per-charset
// byte maps of the single-byte charsets, built once from ICU converters.
#pragma once

#include <cstdint>

namespace qvnls::detail {

struct CharsetInfo {
  uint8_t Code;
  const char* IcuName;  // the ICU converter that decodes and encodes it
  const char* Name;     // its MIME or IANA name
  int32_t CodePage;     // the Windows or DOS code page number
  uint8_t Windows;      // the Windows charset of the same script
  uint8_t MaxBytes;     // bytes per UTF-16 unit at most: 1 for the single-byte charsets
};

// The row of a charset code, null for an unassigned one.
const CharsetInfo* FindCharset(uint8_t Code);
// The row of a code page number, null when none has it.
const CharsetInfo* FindCodePage(int32_t CodePage);
// The row of a charset name or alias through ICU's alias table (case ignored), null when unknown.
const CharsetInfo* FindCharsetName(const char* Name);

// Byte maps of one single-byte charset. Every byte decodes to one UTF-16 unit: its character, or, for
// a byte the code page leaves undefined, U+0080-U+009F for bytes below 0xA0 (as the system converter
// does) and the private-use unit U+F700 + byte above, so no real character is claimed.
struct SingleByteMaps {
  char16_t ToWide[256];
  bool Defined[256];  // the code page assigns a character to the byte
  // FromWide[unit] is the byte of the unit when ToWide[that byte] == unit (see Encode).
  uint8_t FromWide[65536];
  // Upper[byte]: the byte of the upper-case character, 0 when it is not in the charset.
  uint8_t Upper[256];

  bool Encode(char16_t Unit, uint8_t& Byte) const {
    Byte = FromWide[Unit];
    return ToWide[Byte] == Unit;
  }
};

// The maps of a single-byte charset (0 meaning the system Windows charset), null for any other code.
// Built on first use and kept until the process ends.
const SingleByteMaps* GetSingleByteMaps(uint8_t Code);

// Charset 0 taken as the system Windows charset.
uint8_t ResolveCharset(uint8_t Code);

// The units of a UTF-16 unit sequence read from any byte address.
inline char16_t LoadUnit(const void* P, int32_t Index) {
  const auto* B = static_cast<const unsigned char*>(P) + 2 * Index;
  return static_cast<char16_t>(B[0] | (B[1] << 8));
}
inline void StoreUnit(void* P, int32_t Index, char16_t Unit) {
  auto* B = static_cast<unsigned char*>(P) + 2 * Index;
  B[0] = static_cast<unsigned char>(Unit & 0xFF);
  B[1] = static_cast<unsigned char>(Unit >> 8);
}

}  // namespace qvnls::detail
