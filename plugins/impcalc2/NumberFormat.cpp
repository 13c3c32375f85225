#include "plugins/impcalc2/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Days of 400 Gregorian years, a whole cycle of the leap-year rule.
constexpr int64_t kDaysPer400Years = 146097;

bool IsLeapYear(int64_t Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

int64_t DaysInYear(int64_t Year) { return IsLeapYear(Year) ? 366 : 365; }

int32_t DaysInMonth(int64_t Year, int32_t Month) {
  static constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return Month == 2 && IsLeapYear(Year) ? 29 : kDays[Month - 1];
}

// printf's "%.<Precision>f", "%.<Precision>e" or "%.<Precision>g" of Value in the "C" locale.
std::string Printf(double Value, std::chars_format Form, int Precision) {
  // The longest fixed text of a double: 309 integer digits, the point, the decimals and the sign.
  char Text[400];
  const std::to_chars_result R = std::to_chars(Text, Text + sizeof Text, Value, Form, Precision);
  if (R.ec != std::errc()) return "#ERROR!";
  return std::string(Text, R.ptr);
}

std::string Fixed(double Value, int Decimals) { return Printf(Value, std::chars_format::fixed, Decimals); }

// Prefix, then Text (built in place: g++ 12 warns falsely on "literal" + temporary string).
std::string Prefixed(const char* Prefix, const std::string& Text) {
  std::string Out(Prefix);
  Out += Text;
  return Out;
}

std::string Formatted(const char* Format, int A, int B = 0, int C = 0) {
  char Text[64];
  std::snprintf(Text, sizeof Text, Format, A, B, C);
  return Text;
}

// The serial day number of Value: its integer part, saturated to the 32-bit range.
int32_t SerialOf(double Value) {
  if (std::isnan(Value)) return 0;
  const double T = std::trunc(Value);
  if (T >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (T <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(T);
}

CellDate DateOf(double Value) {
  CellDate D;
  D.SetSerial(SerialOf(Value));
  return D;
}

}  // namespace

void CellDate::SetSerial(int32_t Serial) {
  if (Serial < 1) {
    *this = CellDate();
    return;
  }
  // Day of the year counted from 1 (0 counts as the first day); whole 400-year cycles first, so that
  // a serial far in the future costs no more than a near one.
  int64_t DayNum = static_cast<int64_t>(Serial) - 1;
  int64_t YearNum = 1900;
  // 1900 itself is not a leap year, so the cycles start with 1901, after its 365 days.
  if (DayNum > 365 + kDaysPer400Years) {
    const int64_t Cycles = (DayNum - 365) / kDaysPer400Years;
    DayNum -= Cycles * kDaysPer400Years;
    YearNum += Cycles * 400;
  }
  while (DayNum > DaysInYear(YearNum)) {
    DayNum -= DaysInYear(YearNum);
    ++YearNum;
  }
  int32_t MonthNum = 1;
  while (MonthNum < 12 && DayNum > DaysInMonth(YearNum, MonthNum)) {
    DayNum -= DaysInMonth(YearNum, MonthNum);
    ++MonthNum;
  }
  Year = static_cast<int32_t>(YearNum);
  Month = MonthNum;
  Day = DayNum == 0 ? 1 : static_cast<int32_t>(DayNum);
}

std::string CellDate::FormatMDY() const { return Formatted("%d/%d/%02d", Month, Day, Year); }
std::string CellDate::FormatDMonY() const { return FormatDMon() + "-" + Formatted("%02d", Year); }
std::string CellDate::FormatDMon() const { return Formatted("%d-", Day) + kMonths[Month - 1]; }
std::string CellDate::FormatMonY() const { return Prefixed(kMonths[Month - 1], Formatted("-%02d", Year)); }

std::string CellTime::FormatHM() const { return Formatted("%d:%02d", Hours, Minutes); }
std::string CellTime::FormatHMS() const { return Formatted("%d:%02d:%02d", Hours, Minutes, Seconds); }

std::string CellTime::FormatHMAmPm() const {
  if (Hours == 0) return Formatted("12:%02d AM", Minutes);
  if (Hours < 12) return Formatted("%d:%02d AM", Hours, Minutes);
  if (Hours == 12) return Formatted("12:%02d PM", Minutes);
  return Formatted("%d:%02d PM", Hours - 12, Minutes);
}

std::string CellTime::FormatHMSAmPm() const {
  if (Hours == 0) return Formatted("12:%02d:%02d AM", Minutes, Seconds);
  if (Hours < 12) return Formatted("%d:%02d:%02d AM", Hours, Minutes, Seconds);
  if (Hours == 12) return Formatted("12:%02d:%02d PM", Minutes, Seconds);
  return Formatted("%d:%02d:%02d PM", Hours - 12, Minutes, Seconds);
}

std::string CellTime::FormatMS() const { return Formatted("%02d:%02d", Minutes, Seconds); }
std::string CellTime::FormatMS0() const { return Formatted("%02d:%02d.0", Minutes, Seconds); }

CellTime SplitDayFraction(double Value, bool WithSeconds) {
  CellTime T;
  if (!std::isfinite(Value)) return T;
  const double A = std::fabs(Value);
  // Half a second or half a minute, so that the parts below are rounded rather than cut.
  const double F = A - std::floor(A) + (WithSeconds ? 0.5 / 86400 : 0.5 / 1440);
  const double H = F * 24;
  T.Hours = static_cast<int32_t>(std::floor(H)) % 24;
  const double M = (H - std::floor(H)) * 60;
  T.Minutes = static_cast<int32_t>(std::floor(M));
  if (WithSeconds) T.Seconds = static_cast<int32_t>(std::floor((M - T.Minutes) * 60));
  return T;
}

std::string FormatNumberByIndex(double Value, uint16_t FormatIndex) {
  switch (FormatIndex) {
    case 1:
    case 3:
    case 37:
    case 38:
      return Fixed(Value, 0);
    case 2:
    case 4:
    case 39:
    case 40:
    case 41:
    case 43:
      return Fixed(Value, 2);
    case 5:
    case 6:
      return Prefixed("$", Fixed(Value, 0));
    case 7:
    case 8:
    case 42:
    case 44:
      return Prefixed("$", Fixed(Value, 2));
    case 9:
      return Fixed(Value * 100, 0) + "%";
    case 10:
      return Fixed(Value * 100, 2) + "%";
    case 11: {
      std::string Text = Printf(Value, std::chars_format::scientific, 2);
      for (char& C : Text) {
        if (C == 'e') C = 'E';
      }
      return Text;
    }
    case 14:
      return DateOf(Value).FormatMDY();
    case 15:
      return DateOf(Value).FormatDMonY();
    case 16:
      return DateOf(Value).FormatDMon();
    case 17:
      return DateOf(Value).FormatMonY();
    case 18:
      return SplitDayFraction(Value, false).FormatHMAmPm();
    case 19:
      return SplitDayFraction(Value, true).FormatHMSAmPm();
    case 20:
      return SplitDayFraction(Value, false).FormatHM();
    case 21:
    case 46:
      return SplitDayFraction(Value, true).FormatHMS();
    case 22:
      return DateOf(Value).FormatMDY() + " " + SplitDayFraction(Value, false).FormatHM();
    case 45:
      return SplitDayFraction(Value, true).FormatMS();
    case 47:
      return SplitDayFraction(Value, true).FormatMS0();
    default:
      if (std::isfinite(Value) && Value != std::trunc(Value))
        return Printf(Value, std::chars_format::general, 10);
      if (std::isnan(Value)) return Printf(Value, std::chars_format::general, 10);
      return Fixed(Value, 0);
  }
}
