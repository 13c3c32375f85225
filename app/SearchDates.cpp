#include "app/SearchDates.h"

#include <algorithm>
#include <cmath>

#include "core/CivilDate.h"

namespace {

// TDateTime day 0 is 1899-12-30, 25569 days before 1970-01-01.
constexpr int64_t kUnixEpochDay = 25569;

}  // namespace

TDateTime EncodeCalendarDate(int32_t Year, int32_t Month, int32_t Day) {
  return static_cast<TDateTime>(DaysFromCivil(Year, Month, Day) + kUnixEpochDay);
}

void DecodeCalendarDate(TDateTime Date, int32_t& Year, int32_t& Month, int32_t& Day) {
  int64_t Y = 0;
  int M = 0, D = 0;
  CivilFromDays(static_cast<int64_t>(std::floor(Date)) - kUnixEpochDay, Y, M, D);
  Year = static_cast<int32_t>(Y);
  Month = M;
  Day = D;
}

TDateTime MonthsBefore(TDateTime Date, int32_t Months) {
  int32_t Y, M, D;
  DecodeCalendarDate(Date, Y, M, D);
  int64_t Index = static_cast<int64_t>(Y) * 12 + (M - 1) - Months;
  Y = static_cast<int32_t>(Index >= 0 ? Index / 12 : (Index - 11) / 12);
  M = static_cast<int32_t>(Index - static_cast<int64_t>(Y) * 12) + 1;
  D = std::min(D, DaysInMonth(Y, M));
  return EncodeCalendarDate(Y, M, D) + (Date - std::floor(Date));
}

double MonthsBetween(TDateTime From, TDateTime To) {
  if (To < From) std::swap(From, To);
  int32_t Y1, M1, D1, Y2, M2, D2;
  DecodeCalendarDate(From, Y1, M1, D1);
  DecodeCalendarDate(To, Y2, M2, D2);
  int32_t Months = (Y2 - Y1) * 12 + (M2 - M1);
  int32_t Days = D2 - D1;
  if (Days < 0) {
    // Borrow the month before To's.
    --Months;
    const int32_t PrevMonth = M2 == 1 ? 12 : M2 - 1;
    const int32_t PrevYear = M2 == 1 ? Y2 - 1 : Y2;
    Days += DaysInMonth(PrevYear, PrevMonth);
  }
  double Fraction = 0;
  if (Days > 20)
    Fraction = 1;
  else if (Days >= 15)
    Fraction = 0.75;
  else if (Days >= 7)
    Fraction = 0.5;
  else if (Days >= 2)
    Fraction = 0.25;
  return Months + Fraction;
}

int32_t RoundHalfEven(double Value) { return static_cast<int32_t>(std::nearbyint(Value)); }

void SpinsFromDate(TDateTime Date, TDateTime Now, int32_t& Months, int32_t& Days) {
  Months = Days = 0;
  if (Date == 0 || Date >= Now) return;
  Months = std::max(0, RoundHalfEven(MonthsBetween(std::floor(Date), std::floor(Now))));
  Days = std::max<int32_t>(0, static_cast<int32_t>(std::floor(Now) - std::floor(Date)));
}
