// The RTF reader on documents written in the tests, and the "rtf" back-end on files.
#include "server/RTFConv.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/qvnls/Qvnls.h"
#include "server/RtfReader.h"
#include "tests/server/ServerTestSupport.h"

namespace {

class RtfTest : public ::testing::Test {
 protected:
  void SetUp() override { qvnls::SetSystemCodePages(1252, 850); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
  TServerStateGuard Guard_;
  TTestDir Dir_;
};

std::u16string Read(const std::string& Rtf) {
  std::u16string Text;
  EXPECT_TRUE(RtfToUtf16(Rtf, Text));
  return Text;
}

TEST_F(RtfTest, TextOfDocuments) {
  struct TCase {
    const char* Rtf;
    std::u16string Text;
  };
  const TCase Cases[] = {
      {R"({\rtf1\ansi Hello\par World})", u"Hello\r\nWorld"},
      {R"({\rtf1 a\line b\tab c\cell d\row})", u"a\r\nb\tc\td\r\n"},
      {"{\\rtf1 split\r\nword\\par\r\n}", u"splitword\r\n"},  // the file's own line ends are no text
      {R"({\rtf1\ansi\ansicpg1252 caf\'e9 \'80})", u"caf\u00E9 \u20AC"},
      {R"({\rtf1\ansicpg1251 \'cf\'f0\'e8})", u"\u041F\u0440\u0438"},
      {R"({\rtf1 \u8364?x})", u"\u20ACx"},
      {R"({\rtf1 \u-3913?})", u"\uF0B7"},
      {R"({\rtf1 \uc0\u8364 x})", u"\u20ACx"},
      {R"({\rtf1 \uc2\u8364\'80\'80x})", u"\u20ACx"},
      {R"({\rtf1 {\uc3\u8364 ab}c})", u"\u20ACc"},  // the skip ends with its group
      {R"({\rtf1 a\~b\_c\-d\{\}\\})", u"a\u00A0b-cd{}\\"},
      {R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
       u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D"},
      {R"({\rtf1{\fonttbl{\f0\fswiss Arial;}{\f1 Symbol;}}{\colortbl;\red255\green0\blue0;}{\stylesheet{\s0 Normal;}})"
       R"({\info{\title T}{\author A}}Body})",
       u"Body"},
      {R"({\rtf1 a{\*\unknown hidden}b{\*\fldinst x}c})", u"abc"},
      {R"({\rtf1 {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt link text}}})", u"link text"},
      {R"({\rtf1 {\pict\pngblip 89504e47}after})", u"after"},
      {"{\\rtf1 a\\bin5 {}\\}xb}", u"ab"},  // raw bytes with braces inside are skipped
      {R"({\rtf1 a\bin999 zz})", u"a"},     // a length past the end stops at the end
      {R"({\rtf1 {\header head}{\footer foot}text})", u"text"},
      {R"({\rtf1 {\listtext 1.\tab}item})", u"1.\titem"},
      {R"({\rtf1 a}} b})", u"a b"},  // a stray brace
      {R"({\rtf1 \b bold\b0  \i\fs24 x\par})", u"bold x\r\n"},
      {"{\\rtf1 a\\'zzb\\'4}", u"azzb4"},                       // an escape without two hex digits is dropped
      {"plain\ntext\r\nhere\r", u"plain\r\ntext\r\nhere\r\n"},  // not RTF: plain text
  };
  for (const TCase& C : Cases) EXPECT_EQ(Read(C.Rtf), C.Text) << C.Rtf;
  EXPECT_EQ(Read(std::string("{\\rtf1 nul\0byte}", 16)), u"nul byte");
}

TEST_F(RtfTest, FontCodePages) {
  // Font 1 is Shift-JIS (charset 128), font 2 Greek (161); the document's default stays 1252.
  const std::string Rtf =
      R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset128 MS Mincho;}{\f2\fcharset161 Greek;}})"
      R"(\f0 \'e9 {\f1 \'82\'a0\'82\'a2} \'e9 {\f2 \'e1}\f1 \'82\'a0})";
  EXPECT_EQ(Read(Rtf), u"\u00E9 \u3042\u3044 \u00E9 \u03B1\u3042");
}

TEST_F(RtfTest, LineEndsOfTheFileDoNotMatter) {
  EXPECT_EQ(Read("{\\rtf1 one\\par\ntwo\\par\n}\n"), Read("{\\rtf1 one\\par\r\ntwo\\par\r\n}\r"));
}

TEST_F(RtfTest, HostileNestingAndWordsAreReadWithoutHarm) {
  std::string Deep = "{\\rtf1 a";
  Deep += std::string(100000, '{') + "b" + std::string(100000, '}') + "c}";
  EXPECT_EQ(Read(Deep), u"abc");
  std::string SkippedDeep =
      "{\\rtf1 {\\*\\x" + std::string(5000, '{') + "hidden" + std::string(5000, '}') + "}shown}";
  EXPECT_EQ(Read(SkippedDeep), u"shown");
  const std::string LongWord = "{\\rtf1 \\" + std::string(1000, 'a') + "123456789012345678901234567890 x}";
  EXPECT_NO_THROW(Read(LongWord));
  // A character number out of range gives nothing (its fallback is still skipped); a huge \uc counts 1.
  EXPECT_EQ(Read("{\\rtf1 \\u99999999999999999999?\\uc99999999999 \\u8364 ?x}"), u"\u20ACx");
  for (const char* Cut :
       {"{\\rtf1 \\", "{\\rtf1 \\'", "{\\rtf1 \\'4", "{\\rtf1 \\u", "{\\rtf1 \\bin", "{\\rtf"})
    EXPECT_NO_THROW(Read(Cut)) << Cut;
}

// Every damaged copy of a document is read without harm, and what it yields stays within bounds.
TEST_F(RtfTest, DamagedCopiesAreReadWithoutHarm) {
  const std::string Good =
      R"({\rtf1\ansi\ansicpg1252\uc1{\fonttbl{\f0\fcharset0 Arial;}{\f1\fcharset128 Mincho;}})"
      R"({\*\generator x;}{\info{\title t}}\pard caf\'e9 {\f1 \'82\'a0}\u8364?\tab)"
      R"({\field{\*\fldinst HYPERLINK "u"}{\fldrslt link}}\bin3 {}\par{\pict 0102}\cell\row})";
  std::mt19937 Rng(11);
  for (int I = 0; I < 2000; ++I) {
    std::string Bad = Good;
    if (I % 4 == 0) {
      Bad.resize(Rng() % Bad.size());
    } else {
      for (int K = 1 + static_cast<int>(Rng() % 4); K > 0; --K)
        Bad[Rng() % Bad.size()] = static_cast<char>(Rng());
    }
    std::u16string Text;
    ASSERT_TRUE(RtfToUtf16(Bad, Text)) << I;
    ASSERT_LE(Text.size(), 2 * Bad.size()) << I;
  }
}

TEST_F(RtfTest, ProgressCanStopTheReader) {
  const std::string Rtf = "{\\rtf1 " + std::string(3 * kRtfPollBytes, 'x') + "}";
  int Polls = 0;
  std::u16string Text;
  EXPECT_FALSE(RtfToUtf16(Rtf, Text, [&Polls] { return ++Polls < 2; }));
  EXPECT_EQ(Polls, 2);
  Polls = 0;
  EXPECT_TRUE(RtfToUtf16(Rtf, Text, [&Polls] { return ++Polls > 0; }));
  EXPECT_EQ(Polls, 4);  // at the start and after every kRtfPollBytes
  EXPECT_EQ(Text.size(), 3 * kRtfPollBytes);
}

TEST_F(RtfTest, ConvertsFilesToAnsiText) {
  WriteAll(Dir_ / "in.rtf", R"({\rtf1\ansi caf\'e9\par \u8364? \u12354?\par})");
  ASSERT_TRUE(ConvertRTFFile(Dir_ / "in.rtf", Dir_ / "out.txt", false)) << GetLastErrorText();
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "caf\xE9\r\n\x80 ?\r\n");
  EXPECT_FALSE(ConvertRTFFile(Dir_ / "in.rtf", Dir_ / "out.txt", true));
  EXPECT_EQ(GetLastErrorText(), "Unicode not supported");
  EXPECT_FALSE(ConvertRTFFile(Dir_ / "missing.rtf", Dir_ / "out.txt", false));
  EXPECT_NE(GetLastErrorText().find("missing.rtf"), std::string::npos) << GetLastErrorText();
}

int32_t Cancel(int32_t, int32_t Current, int32_t Total, void*) {
  return Current == -1 && Total == -1 ? 0 : 1;
}

TEST_F(RtfTest, ACancelStopsTheConversion) {
  WriteAll(Dir_ / "in.rtf", "{\\rtf1 text}");
  PluginCallback = Cancel;
  EXPECT_FALSE(ConvertRTFFile(Dir_ / "in.rtf", Dir_ / "out.txt", false));
  EXPECT_EQ(GetLastErrorText(), "User canceled");
}

}  // namespace
