#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"
#include "search/ScanFold.h"

namespace {

// Text that takes every path of the folders: long ASCII runs, runs of other values, and mixtures.
std::vector<uint8_t> MixedBytes(std::mt19937& Random, size_t Size) {
  std::vector<uint8_t> Bytes;
  while (Bytes.size() < Size) {
    const int Kind = static_cast<int>(Random() % 3);
    const size_t Run = 1 + Random() % 40;
    for (size_t I = 0; I < Run; ++I) {
      Bytes.push_back(Kind == 0   ? static_cast<uint8_t>(0x20 + Random() % 0x5F)
                      : Kind == 1 ? static_cast<uint8_t>(Random())
                                  : static_cast<uint8_t>(0x80 + Random() % 0x80));
    }
  }
  Bytes.resize(Size);
  return Bytes;
}

TEST(StrmScanFoldTest, ByteFolderAppliesItsTableToEveryByte) {
  std::mt19937 Random(3);
  for (auto [Ansi, Oem] : {std::pair{1252, 850}, std::pair{1251, 866}, std::pair{1253, 737}}) {
    ASSERT_TRUE(qvnls::SetSystemCodePages(Ansi, Oem));
    for (const uint8_t* Table :
         {AnsiUpperTable(), OemToAnsiTable(), OemToAnsiUpperTable(), static_cast<const uint8_t*>(nullptr)}) {
      TByteFolder Folder;
      Folder.SetTable(Table);
      const std::vector<uint8_t> Source = MixedBytes(Random, 5000);
      for (int32_t Offset : {0, 1, 7}) {
        const int32_t Count = static_cast<int32_t>(Source.size()) - Offset - 3;
        std::vector<uint8_t> Dest(Source.size(), 0xEE);
        Folder.Fold(Source.data() + Offset, Dest.data(), Count);
        for (int32_t I = 0; I < Count; ++I) {
          const uint8_t B = Source[static_cast<size_t>(Offset + I)];
          ASSERT_EQ(Dest[static_cast<size_t>(I)], Table ? Table[B] : B) << Ansi << " byte " << I;
        }
        EXPECT_EQ(Dest[static_cast<size_t>(Count)], 0xEE);  // nothing written past Count
      }
    }
  }
  qvnls::ResetSystemCodePages();
}

TEST(StrmScanFoldTest, UnitFolderAppliesItsTableToEveryUnit) {
  const char16_t* Table = qvnls::WideUpperTable();
  // Every unit value once, then random units and 8-bit text read as units, at odd byte addresses too.
  std::vector<uint8_t> Source;
  for (uint32_t U = 0; U < 0x10000; ++U) {
    Source.push_back(static_cast<uint8_t>(U));
    Source.push_back(static_cast<uint8_t>(U >> 8));
  }
  std::mt19937 Random(5);
  const std::vector<uint8_t> Mixed = MixedBytes(Random, 40000);
  Source.insert(Source.end(), Mixed.begin(), Mixed.end());
  for (const char16_t* T : {Table, static_cast<const char16_t*>(nullptr)}) {
    TUnitFolder Folder;
    Folder.SetTable(T);
    for (int32_t ByteOffset : {0, 1, 6}) {
      const int32_t Units = static_cast<int32_t>((Source.size() - static_cast<size_t>(ByteOffset)) / 2) - 1;
      std::vector<char16_t> Dest(static_cast<size_t>(Units) + 1, u'\xEEEE');
      Folder.Fold(Source.data() + ByteOffset, Dest.data(), Units);
      for (int32_t I = 0; I < Units; ++I) {
        const size_t At = static_cast<size_t>(ByteOffset + 2 * I);
        const char16_t U = static_cast<char16_t>(Source[At] | Source[At + 1] << 8);
        ASSERT_EQ(Dest[static_cast<size_t>(I)], T ? T[U] : U) << "unit " << I << " offset " << ByteOffset;
      }
      EXPECT_EQ(Dest[static_cast<size_t>(Units)], u'\xEEEE');
    }
  }
}

}  // namespace
