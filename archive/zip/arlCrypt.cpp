#include "archive/zip/arlCrypt.h"

#include "archive/arlStreams.h"

namespace {

// The multiplier of key 1's linear congruential step.
constexpr uint32_t kKey1Multiplier = 134775813;

}  // namespace

void TZipCrypt::Reset() {
  Keys_[0] = kInitialKey0;
  Keys_[1] = kInitialKey1;
  Keys_[2] = kInitialKey2;
}

void TZipCrypt::InitKeys(const std::string& Password) {
  Reset();
  for (char C : Password) UpdateKeys(static_cast<uint8_t>(C));
}

void TZipCrypt::UpdateKeys(uint8_t C) {
  Keys_[0] = Crc32Byte(C, Keys_[0]);
  Keys_[1] = (Keys_[1] + (Keys_[0] & 0xFF)) * kKey1Multiplier + 1;
  Keys_[2] = Crc32Byte(static_cast<uint8_t>(Keys_[1] >> 24), Keys_[2]);
}

uint8_t TZipCrypt::StreamByte() const {
  const uint32_t T = (Keys_[2] & 0xFFFF) | 2;
  return static_cast<uint8_t>((T * (T ^ 1)) >> 8);
}

uint8_t TZipCrypt::DecryptByte(uint8_t C) {
  const uint8_t P = C ^ StreamByte();
  UpdateKeys(P);
  return P;
}

uint8_t TZipCrypt::EncryptByte(uint8_t P) {
  const uint8_t C = P ^ StreamByte();
  UpdateKeys(P);
  return C;
}

void TZipCrypt::DecryptBuffer(uint8_t* Buf, size_t Count) {
  for (size_t I = 0; I < Count; ++I) Buf[I] = DecryptByte(Buf[I]);
}

void TZipCrypt::EncryptBuffer(uint8_t* Buf, size_t Count) {
  for (size_t I = 0; I < Count; ++I) Buf[I] = EncryptByte(Buf[I]);
}

uint8_t ZipCryptCheckByte(uint16_t Flags, uint32_t DosDateTime, uint32_t Crc32) {
  constexpr uint16_t kDataDescriptorFlag = 0x0008;
  if (Flags & kDataDescriptorFlag) return static_cast<uint8_t>(DosDateTime >> 8);
  return static_cast<uint8_t>(Crc32 >> 24);
}

bool CheckZipCryptHeader(const std::string& Password, const uint8_t* Header, uint8_t CheckByte,
                         TZipCrypt* Keys) {
  if (Password.empty()) return false;
  TZipCrypt Crypt;
  Crypt.InitKeys(Password);
  uint8_t Plain[kZipCryptHeaderSize];
  for (int32_t I = 0; I < kZipCryptHeaderSize; ++I) Plain[I] = Header[I];
  Crypt.DecryptBuffer(Plain, kZipCryptHeaderSize);
  if (Plain[kZipCryptHeaderSize - 1] != CheckByte) return false;
  if (Keys) *Keys = Crypt;
  return true;
}
