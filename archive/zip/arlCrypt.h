// The traditional ZIP stream cipher (the original password encryption of ZIP entries): three 32-bit keys
// that each plain byte updates, and a key-stream byte that is XOR-ed with the data. The ZIP decoder uses it
// for encrypted entries and for their 12-byte encryption header; the decoder base uses it in its block
// reader for every ZIP-family archive.
//
// A TZipCrypt is a plain value: one per decoding run, owned by the component that decodes. Not shared
// between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The size of the encryption header in front of an encrypted entry's data.
constexpr int32_t kZipCryptHeaderSize = 12;

class TZipCrypt {
 public:
  // The keys every password starts from.
  static constexpr uint32_t kInitialKey0 = 0x12345678;
  static constexpr uint32_t kInitialKey1 = 0x23456789;
  static constexpr uint32_t kInitialKey2 = 0x34567890;

  TZipCrypt() { Reset(); }

  // Keys := the initial values (no password).
  void Reset();
  // Keys := the initial values, then updated with every byte of Password in order (any length).
  void InitKeys(const std::string& Password);
  // Updates the keys with one plain byte.
  void UpdateKeys(uint8_t C);
  // The next key-stream byte; the keys are not changed.
  uint8_t StreamByte() const;

  // Deciphers Count bytes in place (each: XOR with the stream byte, then update with the plain byte).
  void DecryptBuffer(uint8_t* Buf, size_t Count);
  // Enciphers Count bytes in place (each: update with the plain byte, then XOR with the stream byte).
  void EncryptBuffer(uint8_t* Buf, size_t Count);
  uint8_t EncryptByte(uint8_t P);
  uint8_t DecryptByte(uint8_t C);

  uint32_t Key0() const { return Keys_[0]; }
  uint32_t Key1() const { return Keys_[1]; }
  uint32_t Key2() const { return Keys_[2]; }

 private:
  uint32_t Keys_[3];
};

// The byte the last header byte must equal: the high byte of the DOS time (the low 16 bits of the packed
// DOS date-time) when the entry's sizes and CRC sit in a data descriptor (flag bit 3), else the high byte
// of the entry's CRC-32.
uint8_t ZipCryptCheckByte(uint16_t Flags, uint32_t DosDateTime, uint32_t Crc32);

// Whether Password opens an entry whose 12-byte encryption header is Header: an empty password fails at
// once; otherwise the keys are initialised from Password, the header is deciphered (in a copy) and its last
// byte compared with CheckByte. On success Keys (when given) holds the state right after the header, ready
// to decipher the entry's data.
bool CheckZipCryptHeader(const std::string& Password, const uint8_t* Header, uint8_t CheckByte,
                         TZipCrypt* Keys = nullptr);
