#include "archive/zip/arlCrypt.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/archive/zip/ZipTestUtil.h"

namespace {

using namespace ziptest;

// The key schedule written out from its definition, with a bitwise CRC step, to check the table-driven
// cipher against.
struct RefKeys {
  uint32_t K0 = 0x12345678, K1 = 0x23456789, K2 = 0x34567890;
  static uint32_t CrcStep(uint32_t Crc, uint8_t C) {
    Crc ^= C;
    for (int I = 0; I < 8; ++I) Crc = (Crc & 1) ? (Crc >> 1) ^ 0xEDB88320u : Crc >> 1;
    return Crc;
  }
  void Update(uint8_t C) {
    K0 = CrcStep(K0, C);
    K1 = (K1 + (K0 & 0xFF)) * 134775813u + 1;
    K2 = CrcStep(K2, static_cast<uint8_t>(K1 >> 24));
  }
};

TEST(ZipCrypt, KeysFollowThePasswordBytesOfAnyLength) {
  for (size_t Length : {0u, 1u, 6u, 255u, 256u, 300u}) {
    std::string Password;
    for (size_t I = 0; I < Length; ++I) Password += static_cast<char>('!' + (I * 7) % 90);
    RefKeys Ref;
    for (char C : Password) Ref.Update(static_cast<uint8_t>(C));
    TZipCrypt Crypt;
    Crypt.InitKeys(Password);
    EXPECT_EQ(Crypt.Key0(), Ref.K0) << Length;
    EXPECT_EQ(Crypt.Key1(), Ref.K1) << Length;
    EXPECT_EQ(Crypt.Key2(), Ref.K2) << Length;
  }
}

TEST(ZipCrypt, EncipherThenDecipherGivesThePlainBytes) {
  std::mt19937 Rng(7);
  Bytes Plain(5000);
  for (auto& B : Plain) B = static_cast<uint8_t>(Rng());
  Bytes Data = Plain;
  TZipCrypt Enc;
  Enc.InitKeys("pass word");
  Enc.EncryptBuffer(Data.data(), 1234);  // in two pieces: the state carries over between calls
  for (size_t I = 1234; I < Data.size(); ++I) Data[I] = Enc.EncryptByte(Data[I]);
  EXPECT_NE(Data, Plain);
  TZipCrypt Dec;
  Dec.InitKeys("pass word");
  Dec.DecryptBuffer(Data.data(), Data.size());
  EXPECT_EQ(Data, Plain);
}

// zip -P secret (zip 3.0) writes entries with a data descriptor (flag bit 3), so their header's last byte
// is the high byte of the DOS time.
TEST(ZipCrypt, HeaderOfARealArchiveChecksAndDeciphers) {
  const Bytes Zip = ReadFixture("mixed.zip");
  LocalEntry E;
  ASSERT_TRUE(FindLocal(Zip, "enc1.txt", E));
  ASSERT_EQ(E.Flags & 9, 9);
  ASSERT_EQ(E.Method, 0);
  const uint8_t* Header = Zip.data() + E.Data;
  const uint8_t Check = ZipCryptCheckByte(E.Flags, E.DosDateTime, 0);
  EXPECT_EQ(Check, static_cast<uint8_t>(E.DosDateTime >> 8));

  EXPECT_FALSE(CheckZipCryptHeader("", Header, Check));
  EXPECT_FALSE(CheckZipCryptHeader("Secret", Header, Check));
  TZipCrypt Keys;
  ASSERT_TRUE(CheckZipCryptHeader("secret", Header, Check, &Keys));
  Bytes Body(Zip.begin() + E.Data + kZipCryptHeaderSize, Zip.begin() + E.Data + E.CompressedSize);
  Keys.DecryptBuffer(Body.data(), Body.size());
  EXPECT_EQ(ToString(Body), "first secret entry\n");
}

TEST(ZipCrypt, CheckByteComesFromTheCrcWithoutADataDescriptor) {
  EXPECT_EQ(ZipCryptCheckByte(0x0001, 0x12345678, 0xAABBCCDD), 0xAA);
  EXPECT_EQ(ZipCryptCheckByte(0x0009, 0x12345678, 0xAABBCCDD), 0x56);
}

}  // namespace
