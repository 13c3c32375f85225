#include "app/SearchDates.h"

#include <algorithm>
#include <cmath>

namespace {

// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t Y, int64_t M, int64_t D) {
  Y -= M <= 2;
  const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  const int64_t Yoe = Y - Era * 400;
  const int64_t Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
  const int64_t Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + Doe - 719468;
}

void CivilFromDays(int64_t Z, int32_t& Y, int32_t& M, int32_t& D) {
  Z += 719468;
  const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const int64_t Doe = Z - Era * 146097;
  const int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  const int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const int64_t Mp = (5 * Doy + 2) / 153;
  D = static_cast<int32_t>(Doy - (153 * Mp + 2) / 5 + 1);
  M = static_cast<int32_t>(Mp < 10 ? Mp + 3 : Mp - 9);
  Y = static_cast<int32_t>(Yoe + Era * 400 + (M <= 2));
}

// TDateTime day 0 is 1899-12-30, 25569 days before 1970-01-01.
constexpr int64_t kUnixEpochDay = 25569;

int32_t DaysInMonth(int32_t Y, int32_t M) {
  static const int32_t Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool Leap = (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0;
  return M == 2 && Leap ? 29 : Days[M - 1];
}

}  // namespace

TDateTime EncodeCalendarDate(int32_t Year, int32_t Month, int32_t Day) {
  return static_cast<TDateTime>(DaysFromCivil(Year, Month, Day) + kUnixEpochDay);
}

void DecodeCalendarDate(TDateTime Date, int32_t& Year, int32_t& Month, int32_t& Day) {
  CivilFromDays(static_cast<int64_t>(std::floor(Date)) - kUnixEpochDay, Year, Month, Day);
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
