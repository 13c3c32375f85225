#include "search/NLSProcsDyn.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

namespace {

class NLSProcsDynTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

// Output is sized for the widest form of the target, so multi-byte targets are never cut.
TEST_F(NLSProcsDynTest, WideToCharsetRoundTripsInEveryWidth) {
  struct TCase {
    const char* Name;
    std::u16string Text;
    uint8_t Charset;
    size_t Bytes;
  } Cases[] = {
      {"utf-8, 3 bytes a character", u"€€", qvnls::kCharsetUtf8, 6},
      {"utf-8, surrogate pair", u"a\U0001F600", qvnls::kCharsetUtf8, 5},
      {"utf-16", u"äb", qvnls::kCharsetUtf16LE, 4},
      {"utf-7", u"Ωé", qvnls::kCharsetUtf7, 0},
      {"shift_jis", u"日本", qvnls::kCharsetShiftJis, 4},
      {"windows-1251", u"жар", qvnls::kCharsetWin1251, 3},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string Bytes = WideToCharset(C.Text, C.Charset);
    if (C.Bytes != 0) {
      EXPECT_EQ(Bytes.size(), C.Bytes);
    }
    EXPECT_EQ(CharsetToWide(Bytes, C.Charset), C.Text);
  }
}

TEST_F(NLSProcsDynTest, UnmappableCharactersBecomeZeroBytes) {
  EXPECT_EQ(WideToCharset(u"aжb", qvnls::kCharsetWin1252), std::string("a\0b", 3));
  EXPECT_EQ(ConvertCharsetStr("a\xE6"
                              "b",
                              qvnls::kCharsetWin1251, qvnls::kCharsetWin1252),
            std::string("a\0b", 3));
}

TEST_F(NLSProcsDynTest, ConvertCharsetStr) {
  const std::string Same = "\x80\xFF any bytes";
  EXPECT_EQ(ConvertCharsetStr(Same, 42, 42), Same);
  EXPECT_EQ(ConvertCharsetStr("caf\xC3\xA9", qvnls::kCharsetUtf8, qvnls::kCharsetWin1252), "caf\xE9");
  EXPECT_EQ(ConvertCharsetStr("caf\xE9", qvnls::kCharsetWin1252, qvnls::kCharsetUtf8), "caf\xC3\xA9");
  // Every source byte may become several target bytes.
  const std::string Japanese = WideToCharset(u"日本語", qvnls::kCharsetUtf8);
  EXPECT_EQ(CharsetToWide(ConvertCharsetStr(Japanese, qvnls::kCharsetUtf8, qvnls::kCharsetShiftJis),
                          qvnls::kCharsetShiftJis),
            u"日本語");
  const std::string Greek = WideToCharset(u"Ωμέγα", qvnls::kCharsetWin1253);
  EXPECT_EQ(CharsetToWide(ConvertCharsetStr(Greek, qvnls::kCharsetWin1253, qvnls::kCharsetUtf7),
                          qvnls::kCharsetUtf7),
            u"Ωμέγα");
  EXPECT_EQ(ConvertCharsetStr("", 18, 42), "");
}

TEST_F(NLSProcsDynTest, CaseAndLineBreaks) {
  EXPECT_EQ(WideUpperStr(u"straße ǆ ж"), u"STRAßE Ǆ Ж");
  EXPECT_EQ(CharsetUpperCase("\xE0pfel", qvnls::kCharsetWin1252), "\xC0PFEL");
  EXPECT_EQ(AdjustLineBreaksWide(u"a\rb\nc\r\nd"), u"a\r\nb\r\nc\r\nd");
  EXPECT_EQ(AdjustLineBreaksWide(u"\n\n"), u"\r\n\r\n");
  EXPECT_EQ(AdjustLineBreaksWide(u""), u"");
}

TEST_F(NLSProcsDynTest, CharsetNames) {
  EXPECT_EQ(GetHTMLCharsetName(qvnls::kCharsetUtf8), "UTF-8");
  EXPECT_EQ(GetHTMLCharsetName(200), "");
  EXPECT_EQ(GetHTMLCharset("utf-8"), qvnls::kCharsetUtf8);
  EXPECT_EQ(GetHTMLCharset("no-such-charset"), 0);
}

TEST_F(NLSProcsDynTest, ProgramWideComparisonsIgnoreCase) {
  InitWideCompareFuncs();
  EXPECT_EQ(WideCompareTextFunc(u"Äpfel", u"äPFEL"), 0);
  EXPECT_LT(WideCompareTextFunc(u"apple", u"Banana"), 0);
  EXPECT_EQ(WideCompareStringFunc(1024, NORM_IGNORECASE, u"ABC", 3, u"abc", -1), CSTR_EQUAL);
  EXPECT_EQ(WideCompareStringFunc(1024, 0, u"ABC", 3, u"abc", 3) == CSTR_EQUAL, false);
}

}  // namespace
