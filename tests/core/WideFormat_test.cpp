#include "core/WideFormat.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "core/StrUtils.h"

namespace {

std::string Narrow(const std::u16string& S) { return Format("%s", {S}); }

struct Case {
  const char16_t* Format;
  TFormatArgs Args;
  const char16_t* Expected;
};

void ExpectCases(const std::vector<Case>& Cases) {
  for (const Case& C : Cases) {
    SCOPED_TRACE(Narrow(C.Format));
    EXPECT_EQ(Narrow(WideFormat(C.Format, C.Args)), Narrow(C.Expected));
  }
}

// Restores the program-wide settings after a test that changes them.
class FormatSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFormatSettings(TFormatSettings()); }
};

TEST(WideFormatTest, IntegerPointerAndTextDirectives) {
  int Marker = 0;
  ExpectCases({
      {u"%d%%", {5}, u"5%"},
      {u"%.4d", {-42}, u"-0042"},
      {u"%5d", {42}, u"   42"},
      {u"%-5d|", {42}, u"42   |"},
      {u"%x", {255}, u"FF"},
      {u"%X", {255}, u"FF"},
      {u"%.4x", {255}, u"00FF"},
      {u"%x", {-1}, u"FFFFFFFF"},
      {u"%x", {int64_t{-1}}, u"FFFFFFFFFFFFFFFF"},
      {u"%u", {-1}, u"4294967295"},
      {u"%u", {int64_t{-1}}, u"18446744073709551615"},
      {u"%d", {int64_t{-9223372036854775807} - 1}, u"-9223372036854775808"},
      {u"%d", {uint64_t{18446744073709551615u}}, u"18446744073709551615"},
      {u"%d", {uint32_t{4000000000u}}, u"4000000000"},
      {u"%.17d", {7}, u"7"},  // a precision above 16 is ignored
      {u"%.0d", {0}, u"0"},
      {u"%p", {reinterpret_cast<const void*>(4096)}, u"00001000"},
      {u"%1:s %0:s", {"a", "b"}, u"b a"},
      {u"%1:s %s %0:s", {"a", "b", "c"}, u"b c a"},
      {u"%.2s", {"hello"}, u"he"},
      {u"%*d", {4, 7}, u"   7"},
      {u"%-*d|", {3, 7}, u"7  |"},
      {u"%*d|", {-3, 7}, u"7  |"},  // a negative width from "*" left-justifies
      {u"%.*s", {3, "abcdef"}, u"abc"},
      {u"%*:s", {1, "x", "y"}, u"x"},
      {u"%s", {'c'}, u"c"},
      {u"%s", {u'\u00E9'}, u"\u00E9"},
      {u"%s", {u"wide \u20AC"}, u"wide \u20AC"},
      {u"%s", {std::string("utf-8 \xC3\xA9")}, u"utf-8 \u00E9"},
      {u"%s", {static_cast<const char*>(nullptr)}, u""},
      {u"[%6s][%-6s]", {"ab", "cd"}, u"[    ab][cd    ]"},
      {u"%S %D", {"up", 3}, u"up 3"},
      {u"no directives", {}, u"no directives"},
      {u"", {}, u""},
  });
  // A 64-bit address keeps all its digits.
  EXPECT_EQ(WideFormat(u"%p", {&Marker}), WideFormat(u"%x", {reinterpret_cast<uintptr_t>(&Marker)}));
}

TEST(WideFormatTest, FloatingAndCurrencyDirectives) {
  ExpectCases({
      {u"%f", {1.5}, u"1.50"},
      {u"%.3f", {-2.0}, u"-2.000"},
      {u"%.0f", {2.75}, u"3"},
      {u"%f", {1e20}, u"100000000000000000000.00"},
      {u"%.20f", {0.5}, u"0.50"},  // above 18 decimals: the default 2
      {u"%.18f", {1.5}, u"1.500000000000000000"},
      {u"%.5f", {123456789012345.678}, u"123456789012345.67200"},  // 18 significant digits, then zeros
      {u"%f", {-0.001}, u"0.00"},                                  // no sign on a value that rounds to zero
      {u"%e", {1234.5}, u"1.23450000000000E+003"},
      {u"%.3e", {-0.00012345}, u"-1.23E-004"},
      {u"%e", {0.0}, u"0.00000000000000E+000"},
      {u"%g", {1234.5}, u"1234.5"},
      {u"%g", {0.0001}, u"0.0001"},
      {u"%g", {1e20}, u"1E20"},
      {u"%g", {1.5e-7}, u"1.5E-7"},
      {u"%g", {0.0}, u"0"},
      {u"%.3g", {1234.5}, u"1.23E3"},
      {u"%n", {1234567.891}, u"1,234,567.89"},
      {u"%.0n", {-1234.0}, u"-1,234"},
      {u"%m", {1234.5}, u"$1,234.50"},
      {u"%m", {-5.0}, u"($5.00)"},
      {u"%m", {TCurrency{15000}}, u"$1.50"},
      {u"%f", {TCurrency{-25}}, u"0.00"},
      {u"%.4f", {TCurrency{-25}}, u"-0.0025"},
      {u"%f", {std::numeric_limits<long double>::infinity()}, u"INF"},
      {u"%g", {std::numeric_limits<double>::quiet_NaN()}, u"NAN"},
      {u"%e", {-std::numeric_limits<double>::infinity()}, u"-INF"},
      {u"%10.1f|", {3.26}, u"       3.3|"},
  });
}

TEST_F(FormatSettingsTest, SeparatorsAndCurrencyComeFromTheSettings) {
  TFormatSettings S;
  S.ThousandSeparator = u'.';
  S.DecimalSeparator = u',';
  S.CurrencyString = u"\u20AC";
  S.CurrencyFormat = 3;
  S.NegCurrFormat = 8;
  S.CurrencyDecimals = 1;
  SetFormatSettings(S);
  ExpectCases({
      {u"%n", {1234567.5}, u"1.234.567,50"},
      {u"%f", {0.25}, u"0,25"},
      {u"%m", {1234.75}, u"1.234,8 \u20AC"},
      {u"%m", {-3.0}, u"-3,0 \u20AC"},
      {u"%e", {1.5}, u"1,50000000000000E+000"},
  });
  EXPECT_EQ(IntToStrGrouped(1234567), "1.234.567");
  EXPECT_EQ(Format("%n", {1234.5}), "1.234,50");
}

// Builds a locale with "," as decimal point and "." as thousands separator in a temporary folder and
// makes it the process's LC_NUMERIC; false when the system has no localedef.
bool UseCommaLocale(const std::string& Dir) {
  const char* Installed[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  for (const char* Name : Installed)
    if (std::setlocale(LC_NUMERIC, Name)) return true;
  std::ofstream(Dir + "/comma.src") << "comment_char %\nescape_char /\nLC_NUMERIC\ndecimal_point \",\"\n"
                                       "thousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n"
                                       "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n";
  const std::string Command =
      "localedef -c -i " + Dir + "/comma.src -f UTF-8 " + Dir + "/xx_XX.UTF-8 >/dev/null 2>&1";
  if (std::system(Command.c_str()) < 0) return false;
  setenv("LOCPATH", Dir.c_str(), 1);
  return std::setlocale(LC_NUMERIC, "xx_XX.UTF-8") != nullptr;
}

TEST(WideFormatTest, OutputDoesNotDependOnTheProcessLocale) {
  const std::string Dir = ::testing::TempDir() + "/fmtlocale" + std::to_string(getpid());
  std::filesystem::create_directories(Dir);
  const bool Changed = UseCommaLocale(Dir);
  std::filesystem::remove_all(Dir);
  if (!Changed) GTEST_SKIP() << "no locale with a decimal comma can be made here";
  char Probe[16];
  snprintf(Probe, sizeof(Probe), "%.1f", 1.5);
  EXPECT_STREQ(Probe, "1,5");  // the process locale is in effect
  ExpectCases({
      {u"%f", {1.5}, u"1.50"},
      {u"%n", {1234567.891}, u"1,234,567.89"},
      {u"%e", {1234.5}, u"1.23450000000000E+003"},
      {u"%g", {0.25}, u"0.25"},
      {u"%d", {-1234567}, u"-1234567"},
  });
  EXPECT_EQ(FormatIfPercent("%.2f", {2.5}), "2.50");
  EXPECT_EQ(IntToStrGrouped(1234567), "1,234,567");
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
}

TEST(WideFormatTest, MismatchesAndMissingArgumentsRaiseWithTheDirective) {
  struct ErrorCase {
    const char* Format;
    TFormatArgs Args;
    const char* Message;
  };
  const std::vector<ErrorCase> Cases = {
      {"%d", {"text"}, "Format '%d' invalid or incompatible with argument"},
      {"%d %d", {1}, "No argument for format '%d'"},
      {"%s", {}, "No argument for format '%s'"},
      {"%s", {42}, "Format '%s' invalid or incompatible with argument"},
      {"%-10.3f", {7}, "Format '%-10.3f' invalid or incompatible with argument"},
      {"%x", {1.5}, "Format '%x' invalid or incompatible with argument"},
      {"%p", {7}, "Format '%p' invalid or incompatible with argument"},
      {"%d", {true}, "Format '%d' invalid or incompatible with argument"},
      {"%s", {false}, "Format '%s' invalid or incompatible with argument"},
      {"%k", {1}, "Format '%k' invalid or incompatible with argument"},
      {"50% off", {}, "Format '% ' invalid or incompatible with argument"},
      {"%*d", {"w", 1}, "Format '%*' invalid or incompatible with argument"},
      {"%*d", {}, "No argument for format '%*'"},
      {"%5", {1}, "Format '%5' invalid or incompatible with argument"},
      {"ends with %", {}, "Format '%' invalid or incompatible with argument"},
      {"%3:s", {"a"}, "No argument for format '%3:s'"},
      {"%:s", {"a"}, "Format '%:' invalid or incompatible with argument"},
      // A width beyond the limit would build a huge string; the quoted directive is cut at 31 bytes.
      {"%99999d", {1}, "Format '%99999d' invalid or incompatible with argument"},
      {"%1234567890123456789012345678901234567890d",
       {1},
       "Format '%123456789012345678901234567890' invalid or incompatible with argument"},
      {"%.3\xC3\xA9", {1}, "Format '%.3\xC3\xA9' invalid or incompatible with argument"},
      // 32 bytes up to the failing character: the cut does not split it, so it leaves 30.
      {"%12345678901234567890123456789\xC3\xA9",
       {1},
       "Format '%12345678901234567890123456789' invalid or incompatible with argument"},
  };
  for (const ErrorCase& C : Cases) {
    SCOPED_TRACE(C.Format);
    try {
      Format(C.Format, C.Args);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), C.Message);
    }
    // The UTF-16 engine raises the same text.
    try {
      WideFormat(WideFormat(u"%s", {std::string(C.Format)}), C.Args);
      ADD_FAILURE() << "no error from the UTF-16 engine";
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), C.Message);
    }
  }
}

TEST(WideFormatTest, LongResultsComeBackWholeAndBufferFormattingCuts) {
  const std::u16string Big = WideFormat(u"%s|%4995d", {std::u16string(4, u'x'), 1});
  ASSERT_EQ(Big.size(), 5000u);
  EXPECT_EQ(Big.substr(0, 5), u"xxxx|");
  EXPECT_EQ(Big.back(), u'1');
  const std::u16string LongFormat(7000, u'y');
  EXPECT_EQ(WideFormat(LongFormat, {}), LongFormat);

  char16_t Buffer[8];
  const std::u16string Format = u"%d-%s";
  EXPECT_EQ(WideFormatBuf(Buffer, 8, Format.data(), static_cast<int32_t>(Format.size()), {12345, "abcdef"}),
            8);
  EXPECT_EQ(std::u16string(Buffer, 8), u"12345-ab");
  EXPECT_EQ(WideFormatBuf(Buffer, 8, Format.data(), 2, {7}), 1);
  EXPECT_EQ(Buffer[0], u'7');
  EXPECT_EQ(WideFormatBuf(Buffer, 0, Format.data(), 2, {7}), 0);
}

TEST(WideFormatTest, EightBitFormatKeepsItsBytesAndEncodesWideTextAsUtf8) {
  EXPECT_EQ(Format("caf\xE9 %s", {u"\u20AC"}), "caf\xE9 \xE2\x82\xAC");  // the format's own bytes stay
  EXPECT_EQ(Format("%s", {std::u16string(u"\xD83D\xDE00")}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Format("%.1s|", {"\xC3\xA9z"}), "|");  // a precision never splits a character
  EXPECT_EQ(WideFormat(u"%.1s|", {u"\xD83D\xDE00"}), u"|");
  EXPECT_EQ(FormatIfPercent("100 percent", {}), "100 percent");
  EXPECT_EQ(FormatIfPercent("no args, %d%%", {3}), "no args, 3%");
}

}  // namespace
