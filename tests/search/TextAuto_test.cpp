#include "search/TextAuto.h"

#include <gtest/gtest.h>

#include <string>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"

namespace {

class TextAutoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

std::string Utf16Bytes(const std::u16string& W) {
  return std::string(reinterpret_cast<const char*>(W.data()), W.size() * 2);
}

std::string Utf16BeBytes(const std::u16string& W) {
  std::string B;
  for (char16_t C : W) {
    B += static_cast<char>(C >> 8);
    B += static_cast<char>(C & 0xFF);
  }
  return B;
}

std::string Utf8(const std::u16string& W) { return WideToCharset(W, qvnls::kCharsetUtf8); }

void Fill(TVMemStream& S, const std::string& Bytes) {
  S.SetSize(0);
  S.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  S.Seek(0);
}

std::string Contents(TVMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

TEST_F(TextAutoTest, IsTextStreamTable) {
  std::string ZeroAt5000(6000, 'a');
  ZeroAt5000[5000] = '\0';
  std::string ControlAt5000(6000, 'a');
  ControlAt5000[5000] = '\x01';

  struct TCase {
    const char* Name;
    std::string Bytes;
    int32_t MaxBytes;
    bool Text;
  } Cases[] = {
      {"utf-8 mark alone", "\xEF\xBB\xBF", 4096, true},
      {"utf-16le mark before binary", "\xFF\xFE\x01\x02", 4096, true},
      {"utf-16be mark", "\xFE\xFF", 4096, true},
      {"one letter", "A", 4096, true},
      {"empty", "", 4096, false},
      {"zero byte beyond the limit", ZeroAt5000, 4096, true},
      {"zero byte, whole stream", ZeroAt5000, 0, false},
      {"zero byte, negative limit", ZeroAt5000, -1, false},
      {"control beyond a limit below one block", ControlAt5000, 100, true},
      {"control in the second block", ControlAt5000, 0, false},
      {"blanks and breaks only", " \t \r\n  \r\n\f", 4096, false},
      {"high bytes are text", "\xE4\xF6 \xFC", 4096, true},
      {"allowed controls 20 21 26 27 127", "x\x14\x15\x1A\x1B\x7F", 4096, true},
      {"escape-free binary", "ab\x03", 4096, false},
      {"zero unit", std::string("ab\0\0cd", 6), 4096, false},
      {"utf-16le without mark", Utf16Bytes(u"Hello, world\r\nsecond line\r\n"), 4096, true},
      {"utf-16be without mark", Utf16BeBytes(u"Hello, world\r\nsecond line\r\n"), 4096, true},
      {"utf-16 with a control unit", Utf16Bytes(u"Hello, world\u0001 again and again"), 4096, false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream S;
    Fill(S, C.Bytes);
    EXPECT_EQ(IsTextStream(S, C.MaxBytes), C.Text);
    EXPECT_EQ(S.GetPosition(), 0);
  }
}

TEST_F(TextAutoTest, IsTextStreamStartsAtThePositionAndKeepsIt) {
  TVMemStream S;
  Fill(S, std::string("\x01\x02\x03", 3) + "plain text");
  S.Seek(3);
  EXPECT_TRUE(IsTextStream(S, 4096));
  EXPECT_EQ(S.GetPosition(), 3);
  S.Seek(0);
  EXPECT_FALSE(IsTextStream(S, 4096));
}

TEST_F(TextAutoTest, DetectionAtAnOddPositionSamplesFromTheNextByte) {
  // Two bytes, then UTF-16LE. Sampled from byte 1 the zero bytes would sit at even offsets and read as
  // big-endian UTF-16; from byte 2 they read as little-endian.
  TVMemStream S;
  Fill(S, "ZQ" + Utf16Bytes(u"hello world, hello world"));
  S.Seek(1);
  uint32_t Details = 0;
  EXPECT_EQ(DetectStreamCharset(S, kDetectFlagUtf16, Details, 4096), qvnls::kCharsetUtf16LE);
  EXPECT_EQ(Details & qvnls::kDetectBigEndian, 0u);
  EXPECT_EQ(S.GetPosition(), 1);
}

TEST_F(TextAutoTest, DetectionOptionWord) {
  struct TCase {
    uint8_t Options;
    int32_t Position;
    uint32_t Word;
  } Cases[] = {
      {0, 0, 0x10000},
      {0, 2, 0},
      {kDetectFlagUtf16 | kDetectFlagUtf8, 0, 0x70000},
      {kDetectFlagEightBit, 2, 0x100},
      {kDetectFlagCyrillic, 2, 0xF},
      {kDetectFlagCyrillic | kDetectFlagNarrow, 2, 0x1},
      {kDetectFlagNarrow, 2, 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << int(C.Options) << " at " << C.Position);
    TVMemStream S;
    Fill(S, "plain ascii text");
    S.Seek(C.Position);
    uint32_t Details = 0;
    GetStreamCharset(S, C.Options, 4096);
    DetectStreamCharset(S, C.Options, Details, 4096);
    EXPECT_EQ(Details & ~qvnls::kDetectBigEndian, C.Word);
    EXPECT_EQ(S.GetPosition(), C.Position);
  }
}

TEST_F(TextAutoTest, DetectionWithoutByteLimitSamplesTheWholeStream) {
  TVMemStream S;
  Fill(S, std::string(5000, 'a') +
              "gr\xC3\xBC\xC3\x9F"
              "e");
  uint32_t Details = 0;
  EXPECT_NE(DetectStreamCharset(S, kDetectFlagUtf8, Details, 4096), qvnls::kCharsetUtf8);
  EXPECT_EQ(DetectStreamCharset(S, kDetectFlagUtf8, Details, 0), qvnls::kCharsetUtf8);
  EXPECT_EQ(DetectStreamCharset(S, kDetectFlagUtf8, Details, -1), qvnls::kCharsetUtf8);
  EXPECT_EQ(S.GetPosition(), 0);
}

// Flags of the document plug-ins: Cyrillic target choice, 8-bit detection, narrow Cyrillic family.
constexpr uint8_t kPluginFlags = 28;

TEST_F(TextAutoTest, ConvertTextCharsetPicksTheEightBitTarget) {
  const std::u16string Russian = u"Привет, мир!\nВторая строка";
  const std::u16string German = u"Grüße aus Köln\nZweite Zeile";
  struct TCase {
    const char* Name;
    std::string Source;
    uint8_t From;
    uint8_t Flags;
    uint8_t Target;
    std::u16string Text;
  } Cases[] = {
      {"cyrillic utf-8", Utf8(Russian), 42, kPluginFlags, 17, Russian},
      {"western utf-8", Utf8(German), 42, kPluginFlags, 18, German},
      {"cyrillic utf-16", Utf16Bytes(Russian), 43, kPluginFlags, 17, Russian},
      {"cyrillic utf-16 with mark, detected", "\xFF\xFE" + Utf16Bytes(Russian), 0, kPluginFlags, 17, Russian},
      {"western utf-16 with mark, detected", "\xFF\xFE" + Utf16Bytes(German), 0, kPluginFlags, 18, German},
      {"cyrillic 8-bit, detected", WideToCharset(Russian, 17), 0, kPluginFlags, 17, Russian},
      {"cyrillic without the choice flag", Utf8(Russian), 42, 4, 18, u""},
      {"dos cyrillic", WideToCharset(Russian, 36), 36, kPluginFlags, 17, Russian},
      {"koi8-r", WideToCharset(Russian, 14), 14, kPluginFlags, 17, Russian},
      {"western 8-bit stays", WideToCharset(German, 18), 18, kPluginFlags, 18, German},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream Source, Dest;
    Fill(Source, C.Source);
    EXPECT_EQ(ConvertTextCharset(Source, Dest, C.From, false, C.Flags), C.Target);
    if (C.Text.empty()) continue;
    std::u16string Expected = C.Text;
    size_t At = 0;
    while ((At = Expected.find(u'\n', At)) != std::u16string::npos) {
      Expected.insert(At, u"\r");
      At += 2;
    }
    EXPECT_EQ(CharsetToWide(Contents(Dest), C.Target), Expected + u"\r\n");
  }
}

// The trial conversions that choose the target read the start of the source; the conversion itself
// must still see every byte, also beyond the sample.
TEST_F(TextAutoTest, ConvertTextCharsetKeepsTextBeyondTheSample) {
  std::u16string Text;
  for (int I = 0; I < 400; ++I) Text += u"Строка номер " + std::u16string(1, u'0' + I % 10) + u"\r\n";
  TVMemStream Source, Dest;
  Fill(Source, Utf8(Text));
  ASSERT_GT(Source.GetSize(), 2 * 4096);
  EXPECT_EQ(ConvertTextCharset(Source, Dest, 42, false, kPluginFlags), 17);
  EXPECT_EQ(CharsetToWide(Contents(Dest), 17), Text);
}

// A UTF-8 line longer than the reader's limit is joined before it is decoded: no character is split.
TEST_F(TextAutoTest, LongUtf8LineIsNotSplitInsideACharacter) {
  std::u16string Line;
  for (int I = 0; I < 750; ++I) Line += (I % 3 == 0) ? u'ж' : (I % 3 == 1 ? u'€' : u'a');
  const std::string Bytes = Utf8(Line);
  ASSERT_GE(Bytes.size(), 1500u);
  for (bool ToUnicode : {true, false}) {
    SCOPED_TRACE(ToUnicode ? "to utf-16" : "to 8-bit");
    TVMemStream Source, Dest;
    Fill(Source, Bytes);
    const uint8_t Target = ConvertTextCharset(Source, Dest, 42, ToUnicode, 0);
    const std::u16string Out =
        Target == 43
            ? std::u16string(reinterpret_cast<const char16_t*>(Contents(Dest).data()), Dest.GetSize() / 2)
            : CharsetToWide(Contents(Dest), Target);
    if (ToUnicode) {
      EXPECT_EQ(Out, Line + u"\r\n");
    } else {
      EXPECT_EQ(Out.find(u'\uFFFD'), std::u16string::npos);
      EXPECT_EQ(Out.size(), Line.size() + 2);
    }
  }
}

TEST_F(TextAutoTest, ConvertTextLinesDropsByteOrderMarksAndEndsEveryLine) {
  struct TCase {
    const char* Name;
    std::string Source;
    uint8_t From;
    bool BigEndian;
    uint8_t To;
    std::string Expected;
  } Cases[] = {
      {"utf-16le mark", "\xFF\xFE" + Utf16Bytes(u"a\r\nb"), 43, false, 43, Utf16Bytes(u"a\r\nb\r\n")},
      {"utf-16be mark", "\xFE\xFF" + Utf16BeBytes(u"a\rb\n"), 43, true, 43, Utf16Bytes(u"a\r\nb\r\n")},
      {"utf-8 mark to 8-bit",
       "\xEF\xBB\xBF"
       "caf\xC3\xA9",
       42, false, 18, "caf\xE9\r\n"},
      {"no final break", "x\ny", 18, false, 18, "x\r\ny\r\n"},
      {"empty", "", 42, false, 18, ""},
      {"unmappable becomes ?", Utf8(u"a€ж"), 42, false, 18, "a\x80?\r\n"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream Source, Dest;
    Fill(Source, C.Source);
    ConvertTextLines(Source, Dest, C.From, '?', C.BigEndian, C.To);
    EXPECT_EQ(Contents(Dest), C.Expected);
    EXPECT_EQ(Source.Filter, nullptr);
  }
}

TEST_F(TextAutoTest, DetectedBigEndianSourceConvertsAndRestoresTheFilter) {
  TUpperCaseFilter Upper;
  TVMemStream Source, Dest;
  Fill(Source, "\xFE\xFF" + Utf16BeBytes(u"big endian text\n"));
  Source.Filter = &Upper;
  EXPECT_EQ(ConvertTextCharset(Source, Dest, 0, true, kDetectFlagUtf16), 43);
  EXPECT_EQ(Source.Filter, &Upper);
  // The filter that was there is applied first, then the byte swap.
  EXPECT_EQ(Contents(Dest), Utf16Bytes(u"BIG ENDIAN TEXT\r\n"));
}

}  // namespace

namespace {

// Random bytes of every kind: the detection keeps the position, and the conversion ends every line it
// writes, without crashing or hanging.
TEST_F(TextAutoTest, RandomBytesAreHandledCleanly) {
  uint32_t Seed = 777;
  auto Next = [&Seed](uint32_t N) {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 16) % N;
  };
  const uint8_t Charsets[] = {0, 42, 43, 44, 17, 18, 36};
  for (int Round = 0; Round < 200; ++Round) {
    SCOPED_TRACE(testing::Message() << "round " << Round);
    std::string Bytes(Next(3000), '\0');
    for (char& B : Bytes) B = static_cast<char>(Next(4) == 0 ? "\r\n\0\xFE"[Next(4)] : Next(256));
    TVMemStream Source;
    Fill(Source, Bytes);
    const int32_t Position = static_cast<int32_t>(Next(static_cast<uint32_t>(Bytes.size()) + 1));
    Source.Seek(Position);
    IsTextStream(Source, static_cast<int32_t>(Next(5000)) - 1);
    EXPECT_EQ(Source.GetPosition(), Position);
    uint32_t Details = 0;
    DetectStreamCharset(Source, static_cast<uint8_t>(Next(32)), Details,
                        static_cast<int32_t>(Next(5000)) - 1);
    EXPECT_EQ(Source.GetPosition(), Position);

    TVMemStream Dest;
    const bool ToUnicode = Next(2) == 0;
    const uint8_t Target = ConvertTextCharset(Source, Dest, Charsets[Next(7)], ToUnicode, kPluginFlags);
    EXPECT_EQ(Source.Filter, nullptr);
    if (Dest.GetSize() > 0) {
      const std::string Out = Contents(Dest);
      EXPECT_EQ(Out.substr(Out.size() - (Target == 43 ? 4 : 2)),
                Target == 43 ? std::string("\r\0\n\0", 4) : std::string("\r\n"));
    }
  }
}

}  // namespace
