// Decryption of encrypted ACE items: the key is a SHA-1-like digest of the password (160 bits), the
// cipher Blowfish in CBC mode with a zero starting vector for each item, on little-endian words. The
// cipher's initial S-boxes are not quite Blowfish's: three words of the first one differ (see
// make_blowfish_tables.py), which changes every key schedule. Knows nothing of archives.
//
// What is checked: the password is cut to kMaxPassword bytes (the digest takes one 64-byte block); a
// final partial cipher block is padded with zeros.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/unace/AceBits.h"

class TAceBlowfish {
 public:
  static constexpr size_t kMaxPassword = 50;  // longer passwords are cut, as the format's writers do

  explicit TAceBlowfish(const std::string& Password);
  // From the five key words themselves.
  explicit TAceBlowfish(const uint32_t Key[5]);
  // Decrypts N bytes (a multiple of 8) in place, carrying the chain on from the previous call.
  void DecryptCbc(uint8_t* Data, size_t N);
  // For tests: one block.
  void EncryptBlock(uint32_t& L, uint32_t& R) const;
  void DecryptBlock(uint32_t& L, uint32_t& R) const;

 private:
  uint32_t F(uint32_t X) const {
    return ((S_[0][X >> 24] + S_[1][(X >> 16) & 0xFF]) ^ S_[2][(X >> 8) & 0xFF]) + S_[3][X & 0xFF];
  }
  uint32_t P_[18];
  uint32_t S_[4][256];
  uint32_t ChainL_ = 0, ChainR_ = 0;
};

// The key words derived from a password.
std::array<uint32_t, 5> AceDeriveKey(const std::string& Password);

// Reads and decrypts another source.
class TAceDecryptingSource : public TAceSource {
 public:
  TAceDecryptingSource(TAceSource& In, const std::string& Password) : In_(In), Cipher_(Password) {}
  size_t Read(uint8_t* Buf, size_t N) override;

 private:
  TAceSource& In_;
  TAceBlowfish Cipher_;
  uint8_t Block_[8] = {};
  size_t BlockPos_ = 8;  // bytes of Block already given out
  bool Ended_ = false;
};
