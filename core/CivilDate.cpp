#include "core/CivilDate.h"

namespace {

// A 400-year cycle of the leap-year rule, and the day of 0000-03-01 counted from 1970-01-01. The year is
// counted from March, so that the leap day falls at its end.
constexpr int64_t kDaysPer400Years = 146097;
constexpr int64_t kDaysFromMarch0To1970 = 719468;

}  // namespace

bool IsLeapYear(int64_t Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

int DaysInMonth(int64_t Year, int Month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (Month == 2 && IsLeapYear(Year)) ? 29 : kDays[Month - 1];
}

int64_t DaysFromCivil(int64_t Year, int Month, int Day) {
  Year -= Month <= 2;
  const int64_t Era = (Year >= 0 ? Year : Year - 399) / 400;
  const int64_t YearOfEra = Year - Era * 400;
  const int64_t DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int64_t DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
  return Era * kDaysPer400Years + DayOfEra - kDaysFromMarch0To1970;
}

void CivilFromDays(int64_t Days, int64_t& Year, int& Month, int& Day) {
  Days += kDaysFromMarch0To1970;
  const int64_t Era = (Days >= 0 ? Days : Days - (kDaysPer400Years - 1)) / kDaysPer400Years;
  const int64_t DayOfEra = Days - Era * kDaysPer400Years;
  const int64_t YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  const int64_t DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  const int64_t MonthFromMarch = (5 * DayOfYear + 2) / 153;
  Day = static_cast<int>(DayOfYear - (153 * MonthFromMarch + 2) / 5 + 1);
  Month = static_cast<int>(MonthFromMarch < 10 ? MonthFromMarch + 3 : MonthFromMarch - 9);
  Year = YearOfEra + Era * 400 + (Month <= 2);
}
