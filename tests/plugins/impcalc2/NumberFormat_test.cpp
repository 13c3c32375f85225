#include "plugins/impcalc2/NumberFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "core/WideFormat.h"

namespace {

TEST(NumberFormat, BuiltInFormats) {
  struct TCase {
    double Value;
    uint16_t Format;
    const char* Text;
  };
  const TCase Cases[] = {
      {1234.5, 0, "1234.5"},
      {1234, 0, "1234"},
      {0.1, 0, "0.1"},
      {1.0 / 3, 0, "0.3333333333"},
      {-2.5e-7, 0, "-2.5e-07"},
      {12345678901.5, 0, "1.23456789e+10"},
      {1e20, 0, "100000000000000000000"},
      {2.5, 1, "2"},
      {3.5, 3, "4"},
      {1234.567, 2, "1234.57"},
      {-1234.5, 4, "-1234.50"},
      {1234.4, 5, "$1234"},
      {1234.5, 7, "$1234.50"},
      {-3, 8, "$-3.00"},
      {0.5, 9, "50%"},
      {0.1234, 10, "12.34%"},
      {12345.678, 11, "1.23E+04"},
      {0.000123, 11, "1.23E-04"},
      {37329, 14, "3/14/2002"},
      {37329.75, 15, "14-Mar-2002"},
      {37329, 16, "14-Mar"},
      {37329, 17, "Mar-2002"},
      {0.75, 18, "6:00 PM"},
      {0.75, 19, "6:00:00 PM"},
      {0.0, 18, "12:00 AM"},
      {0.5, 19, "12:00:00 PM"},
      {0.25, 18, "6:00 AM"},
      {0.75, 20, "18:00"},
      {1.5 / 24 + 30.0 / 86400, 21, "1:30:30"},
      {0.999999, 46, "0:00:00"},
      {37329.5, 22, "3/14/2002 12:00"},
      {65.0 / 86400, 45, "01:05"},
      {65.0 / 86400, 47, "01:05.0"},
      // Dates of the 1900 system, which counts a 29 February 1900.
      {366, 14, "12/31/1900"},
      {2, 14, "1/1/1900"},
      {60, 14, "2/28/1900"},
      {61, 14, "3/1/1900"},
      {0, 14, "12/30/1899"},
      {-5, 14, "12/30/1899"},
      {2958465, 14, "12/31/9999"},
      {73051, 14, "1/1/2100"},
      // A custom format index is general.
      {7.25, 164, "7.25"},
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(FormatNumberByIndex(C.Value, C.Format), C.Text) << C.Value << " with format " << C.Format;
  }
}

// The texts are those of the "C" locale, whatever the process locale and the program's number settings.
TEST(NumberFormat, NeitherLocaleNorSettingsChangeTheTexts) {
  const TFormatSettings Saved = GetFormatSettings();
  TFormatSettings Comma = Saved;
  Comma.DecimalSeparator = u',';
  Comma.ThousandSeparator = u'.';
  SetFormatSettings(Comma);
  const std::string OldLocale = std::setlocale(LC_ALL, nullptr);
  // A locale with a decimal comma where the machine has one.
  for (const char* Locale : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, Locale) != nullptr) break;
  }
  EXPECT_EQ(FormatNumberByIndex(1234.5, 2), "1234.50");
  EXPECT_EQ(FormatNumberByIndex(0.25, 0), "0.25");
  EXPECT_EQ(FormatNumberByIndex(12345.678, 11), "1.23E+04");
  std::setlocale(LC_ALL, OldLocale.c_str());
  SetFormatSettings(Saved);
}

// Values that no real cell holds still give a text, at once.
TEST(NumberFormat, ValuesOutsideTheRangeOfDates) {
  const double Big = std::numeric_limits<double>::max();
  const double Nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(FormatNumberByIndex(Big, 14), "7/10/5881510");  // the last 32-bit serial
  EXPECT_EQ(FormatNumberByIndex(-Big, 14), "12/30/1899");
  EXPECT_EQ(FormatNumberByIndex(Nan, 14), "12/30/1899");
  EXPECT_EQ(FormatNumberByIndex(Nan, 19), "12:00:00 AM");
  EXPECT_EQ(FormatNumberByIndex(Nan, 0), "nan");
  EXPECT_EQ(FormatNumberByIndex(INFINITY, 0), "inf");
  EXPECT_EQ(FormatNumberByIndex(Big, 1).size(), 309u);
}

TEST(NumberFormat, SerialsAcrossLeapYears) {
  // The first serials count the day of 1900 from 0, so 1 and 2 are both 1 January, and 60 (the 29
  // February 1900 that the system counts) is 28 February; from 61 on every serial is the next day.
  CellDate Before;
  Before.SetSerial(1);
  EXPECT_EQ(Before.FormatMDY(), "1/1/1900");
  Before.SetSerial(61);
  EXPECT_EQ(Before.FormatMDY(), "3/1/1900");
  for (int32_t Serial = 62; Serial < 183000; ++Serial) {
    CellDate D;
    D.SetSerial(Serial);
    const bool NextDay = D.Year == Before.Year && D.Month == Before.Month && D.Day == Before.Day + 1;
    const bool NextMonth = D.Year == Before.Year && D.Month == Before.Month + 1 && D.Day == 1;
    const bool NextYear = D.Year == Before.Year + 1 && D.Month == 1 && D.Day == 1 && Before.Month == 12;
    ASSERT_TRUE(NextDay || NextMonth || NextYear) << Serial;
    Before = D;
  }
  EXPECT_EQ(Before.FormatMDY(), "1/11/2401");
}

}  // namespace
