// TAR archives made in a test: ustar entries whose size field may claim other than the data they carry
// (in octal, or in the base-256 form for sizes of 8 GiB and more), and the end marker.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tarbytes {

// One regular-file entry: its header block, then Data padded to whole blocks. Claimed < 0 claims
// Data's size.
inline std::string Entry(const std::string& Name, const std::string& Data, int64_t Claimed = -1) {
  std::string H(512, '\0');
  auto Put = [&H](size_t At, const std::string& Text) { H.replace(At, Text.size(), Text); };
  auto Octal = [](int64_t V, int Digits) {
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%0*llo", Digits, static_cast<unsigned long long>(V));
    return std::string(Buf);
  };
  Put(0, Name.substr(0, 100));
  Put(100, Octal(0644, 7));
  Put(108, Octal(0, 7));
  Put(116, Octal(0, 7));
  const int64_t Size = Claimed < 0 ? static_cast<int64_t>(Data.size()) : Claimed;
  if (Size < (int64_t{1} << 33)) {
    Put(124, Octal(Size, 11));
  } else {  // base-256: a marker byte, then the size big-endian
    H[124] = static_cast<char>(0x80);
    for (int I = 0; I < 8; ++I) H[135 - I] = static_cast<char>((Size >> (8 * I)) & 0xFF);
  }
  Put(136, Octal(1600000000, 11));  // 2020-09-13
  H[156] = '0';
  Put(257, std::string("ustar\0"
                       "00",
                       8));
  Put(148, std::string(8, ' '));
  unsigned Sum = 0;
  for (unsigned char C : H) Sum += C;
  Put(148, Octal(Sum, 6) + std::string("\0 ", 2));
  return H + Data + std::string((512 - Data.size() % 512) % 512, '\0');
}

// The end marker: two zero blocks.
inline std::string End() { return std::string(1024, '\0'); }

}  // namespace tarbytes
