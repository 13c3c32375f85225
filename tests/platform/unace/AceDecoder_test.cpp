// The ACE decoder's units on raw data: the CRC, the bit reader, the code tables, the key and cipher, the
// decompressor's methods and limits, and the block reader with its checks.
#include "platform/unace/AceDecoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/unace/AceBits.h"
#include "platform/unace/AceCrypt.h"
#include "platform/unace/AceHeaders.h"
#include "tests/TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Of(const std::string& S) { return Bytes(S.begin(), S.end()); }

Bytes Fixture(const std::string& Name) {
  return Of(ReadFileBytes(std::string(SCRYLINE_TEST_DATA) + "/../archive/ace/fixtures/" + Name));
}

class TMemoryVolume : public TAceVolumeReader {
 public:
  explicit TMemoryVolume(Bytes D) : Data(std::move(D)) {}
  size_t ReadAt(uint64_t Offset, uint8_t* Buf, size_t N) override {
    if (Offset >= Data.size()) return 0;
    const size_t Take = std::min<size_t>(N, Data.size() - Offset);
    std::memcpy(Buf, Data.data() + Offset, Take);
    return Take;
  }
  uint64_t Size() const override { return Data.size(); }
  Bytes Data;
};

TEST(AceCrc, IsTheCommonCrc32RegisterWithoutItsFinalInversion) {
  const Bytes D = Of("123456789");
  const uint32_t Crc = AceCrc32(kAceCrcStart, D.data(), D.size());
  EXPECT_EQ(Crc, 873187033u);
  EXPECT_EQ(Crc & 0xFFFF, 50905u);  // what a block header stores
}

TEST(AceBitReader, ReadsLittleEndianWordsMostSignificantBitFirst) {
  const Bytes D = Of("01234567");
  TAceMemorySource In(D.data(), D.size());
  TAceBitReader Bits(In);
  EXPECT_EQ(Bits.Peek(31), 429463704u);
  EXPECT_EQ(Bits.Read(31), 429463704u);
  Bits.Skip(3);
  EXPECT_EQ(Bits.Read(5), 27u);
  EXPECT_EQ(Bits.ReadGolombRice(3), 20u);
  EXPECT_EQ(Bits.ReadGolombRiceSigned(2), -2);
  EXPECT_EQ(Bits.ReadKnownWidth(10), 618u);
  EXPECT_EQ(Bits.Read(7), 52u);
  // Past the data come a few zero bits, then an error: never an endless supply.
  EXPECT_EQ(Bits.Peek(31), 0u);
  EXPECT_THROW(for (int i = 0; i < 10; ++i) Bits.Read(31), TAceDataError);
}

TEST(AceBitReader, ARunawayUnaryCodeFails) {
  const Bytes Ones((TAceBitReader::kMaxUnaryRun / 8) + 64, 0xFF);
  TAceMemorySource In(Ones.data(), Ones.size());
  TAceBitReader Bits(In);
  EXPECT_THROW(Bits.ReadGolombRice(0), TAceDataError);
}

TEST(AceHuffman, EqualWidthsTakeCodesInTheFormatsSortOrderAndLongCodesFail) {
  // Symbols 0 and 3 both have width 1: the format's sort hands the first code to 3, not to 0.
  std::vector<uint8_t> Widths = {1, 0, 0, 1, 2, 0, 0};
  std::vector<uint16_t> Codes(4, 0xFFFF);
  AceMakeCodes(2, static_cast<int>(Widths.size()), Widths, Codes);
  EXPECT_EQ(Codes, (std::vector<uint16_t>{3, 3, 0, 0}));

  std::vector<uint8_t> TooLong = {3, 1};
  EXPECT_THROW(AceMakeCodes(2, 2, TooLong, Codes), TAceDataError);
  // A single used symbol still gets a one-bit code.
  std::vector<uint8_t> One = {0, 2, 0};
  std::vector<uint16_t> Table(8, 0);
  AceMakeCodes(3, 3, One, Table);
  EXPECT_EQ(One[1], 1);
}

TEST(AceCrypt, KeyAndCipherMatchTheirKnownAnswers) {
  const auto Key = AceDeriveKey("123456789");
  EXPECT_EQ(Key, (std::array<uint32_t, 5>{3071200156u, 3325860325u, 4058316933u, 1308772094u, 896611998u}));
  // The format's published answer: two blocks of '7' decrypted with the password "123456789", the
  // second chained on the first. Plain Blowfish tables give other bytes, so this also checks the
  // S-box words the format changes.
  uint8_t Sevens[16];
  std::memset(Sevens, '7', sizeof(Sevens));
  TAceBlowfish Published("123456789");
  Published.DecryptCbc(Sevens, sizeof(Sevens));
  const uint8_t Expected[16] = {0x09, 0x5F, 0xD0, 0x61, 0x7D, 0x1D, 0x68, 0xDD,
                                0x3E, 0x68, 0xE7, 0x56, 0x4A, 0x2A, 0x5F, 0xEA};
  EXPECT_EQ(std::vector<uint8_t>(Sevens, Sevens + 16), std::vector<uint8_t>(Expected, Expected + 16));
  TAceBlowfish Keyed("secret");
  uint32_t A = 0x01234567, B = 0x89ABCDEF;
  Keyed.EncryptBlock(A, B);
  Keyed.DecryptBlock(A, B);
  EXPECT_EQ(A, 0x01234567u);
  EXPECT_EQ(B, 0x89ABCDEFu);
  // A password is cut at 50 bytes.
  EXPECT_EQ(AceDeriveKey(std::string(50, 'p')), AceDeriveKey(std::string(80, 'p')));
  EXPECT_NE(AceDeriveKey(std::string(49, 'p')), AceDeriveKey(std::string(50, 'p')));
}

TEST(AceDecoder, StoredDataPassesThroughAndEndsAtTheDeclaredSize) {
  const Bytes D = Of("stored bytes and more");
  TAceDecoder Decoder;
  TAceMemorySource In(D.data(), D.size());
  std::string Out;
  EXPECT_TRUE(Decoder.Decode(In, amStored, 6, [&](const uint8_t* P, size_t N) {
    Out.append(reinterpret_cast<const char*>(P), N);
    return true;
  }));
  EXPECT_EQ(Out, "stored");
  TAceMemorySource Short(D.data(), 3);
  EXPECT_THROW(Decoder.Decode(Short, amStored, 6, [](const uint8_t*, size_t) { return true; }),
               TAceDataError);
  TAceMemorySource Any(D.data(), D.size());
  EXPECT_THROW(Decoder.Decode(Any, 9, 6, [](const uint8_t*, size_t) { return true; }), TAceDataError);
}

TEST(AceDecoder, RandomDataNeverYieldsMoreThanDeclaredAndEndsCleanly) {
  std::mt19937 Random(7);
  TAceDecoder Decoder;  // one decoder serves every input, as it serves every item of a run
  for (int Round = 0; Round < 60; ++Round) {
    Bytes D(static_cast<size_t>(Random() % 3000));
    for (auto& B : D) B = static_cast<uint8_t>(Random());
    for (uint8_t Method : {amLz77, amBlocked}) {
      TAceMemorySource In(D.data(), D.size());
      const uint64_t Declared = Random() % 100000;
      uint64_t Got = 0;
      try {
        Decoder.Decode(In, Method, Declared, [&](const uint8_t*, size_t N) {
          Got += N;
          return true;
        });
        EXPECT_EQ(Got, Declared);
      } catch (const TAceDataError&) {
      }
      EXPECT_LE(Got, Declared);
    }
  }
}

TEST(AceHeaders, TheBlockWalkChecksCrcsBoundsAndFindsTheArchiveBehindAPrefix) {
  Bytes Archive = Fixture("onefile.ace");
  ASSERT_FALSE(Archive.empty());
  // Behind a self-extractor's code the main header is looked for.
  Bytes Prefixed(300, 'x');
  Prefixed.insert(Prefixed.end(), Archive.begin(), Archive.end());
  TMemoryVolume V(Prefixed);
  TAceBlock Main, File;
  ASSERT_TRUE(AceFindMainHeader(V, 0x1FFFF, Main));
  EXPECT_EQ(Main.HeaderOffset, 300u);
  ASSERT_EQ(AceReadBlock(V, Main.Next(), File), TAceBlockResult::Ok);
  EXPECT_EQ(File.Type, kAceBlockFile);
  EXPECT_EQ(File.File.Name, "CHANGES.LOG");
  EXPECT_EQ(AceReadBlock(V, File.Next(), File), TAceBlockResult::End);
  // Not within the search limit: not found.
  EXPECT_FALSE(AceFindMainHeader(V, 100, Main));

  TMemoryVolume Good(Archive);
  ASSERT_TRUE(AceFindMainHeader(Good, 0, Main));
  // A changed header byte fails its CRC; a header cut by the end of the file is a torn tail.
  TMemoryVolume Bad(Archive);
  Bad.Data[Main.Next() + 10] ^= 0x40;
  EXPECT_EQ(AceReadBlock(Bad, Main.Next(), File), TAceBlockResult::BadCrc);
  TMemoryVolume Cut(Bytes(Archive.begin(), Archive.begin() + static_cast<std::ptrdiff_t>(Main.Next() + 20)));
  EXPECT_EQ(AceReadBlock(Cut, Main.Next(), File), TAceBlockResult::Truncated);

  // A header whose fields run past its own size is malformed, even with a right CRC.
  Bytes Short = {0, 0, 5, 0, kAceBlockFile, 1, 0, 0, 0};
  const uint32_t Crc = AceCrc32(kAceCrcStart, Short.data() + 4, 5);
  Short[0] = static_cast<uint8_t>(Crc);
  Short[1] = static_cast<uint8_t>(Crc >> 8);
  TMemoryVolume M(Short);
  EXPECT_EQ(AceReadBlock(M, 0, File), TAceBlockResult::Malformed);
  TAceCursor C(Short.data(), 3);
  uint32_t V32;
  uint16_t V16;
  EXPECT_FALSE(C.U32(V32));
  EXPECT_TRUE(C.U16(V16));
  EXPECT_FALSE(C.U16(V16));
}

}  // namespace
