// What the office converter tests share: the fixtures' paths, UTF-16LE bytes back to text, a test base
// that fixes the Windows code page to 1252 for the test's length, and the checks run on every fixture.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "plugins/common/AnsiText.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/FixtureDamage.h"

// A fixture of the test folder Folder ("impcalc2", "impshow2").
inline std::string OfficeFixture(const std::string& Folder, const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/" + Folder + "/fixtures/" + Name;
}

inline std::u16string FromUtf16Bytes(const void* Data, std::size_t Bytes) {
  const auto* P = static_cast<const uint8_t*>(Data);
  std::u16string S(Bytes / 2, u'\0');
  for (std::size_t I = 0; I < S.size(); ++I) S[I] = static_cast<char16_t>(P[2 * I] | P[2 * I + 1] << 8);
  return S;
}
inline std::u16string FromUtf16Bytes(const std::string& Bytes) {
  return FromUtf16Bytes(Bytes.data(), Bytes.size());
}

class TWesternCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

// A reader of a document file: the text as UTF-16LE bytes (Unicode) or 8-bit text; raises on failure.
using TDocumentReader = std::function<void(const std::string& Path, bool Unicode, std::string& Text)>;

// Reads Path in both forms and checks that each word is in the UTF-16 text, and in the 8-bit text when
// the code page can hold it.
inline void ExpectWords(const TDocumentReader& Read, const std::string& Path,
                        const std::vector<std::u16string>& Words) {
  std::string Bytes, Ansi;
  Read(Path, true, Bytes);
  Read(Path, false, Ansi);
  const std::u16string Text = FromUtf16Bytes(Bytes);
  for (const std::u16string& Word : Words) {
    EXPECT_NE(Text.find(Word), std::u16string::npos) << std::string(Word.begin(), Word.end());
    const std::string Word8 = WideToAnsi(Word);
    if (Word8.find('?') == std::string::npos) {
      EXPECT_NE(Ansi.find(Word8), std::string::npos) << Word8;
    }
  }
}

// Reads damaged copies of each file (FixtureDamage.h) in both forms and checks only that each ends, with
// a text or an error with a message; the sanitizers catch the rest. Both outcomes must occur: damage is
// found, and damage in parts the reader does not use is read past.
inline void ExpectDamagedCopiesEndCleanly(const TDocumentReader& Read,
                                          const std::vector<std::string>& Paths) {
  TTestFolder Folder;
  int Converted = 0, Failed = 0;
  for (const std::string& File : Paths) {
    ForEachDamagedCopy(ReadWholeFile(File), [&](const std::string& What, const std::string& Bad) {
      SCOPED_TRACE(File + ": " + What);
      const std::string Path = Folder.Write("damaged", Bad);
      for (bool Unicode : {true, false}) {
        std::string Text;
        try {
          Read(Path, Unicode, Text);
          ++Converted;
        } catch (const std::exception& E) {
          EXPECT_NE(std::string(E.what()), "");
          ++Failed;
        }
      }
    });
  }
  EXPECT_GT(Converted, 0);
  EXPECT_GT(Failed, 0);
}
