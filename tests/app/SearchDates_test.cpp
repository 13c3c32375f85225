#include "app/SearchDates.h"

#include <gtest/gtest.h>

TEST(SearchDates, CalendarRoundTrip) {
  EXPECT_EQ(EncodeCalendarDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeCalendarDate(1970, 1, 1), 25569);
  int32_t Y, M, D;
  DecodeCalendarDate(EncodeCalendarDate(2024, 2, 29) + 0.75, Y, M, D);
  EXPECT_EQ(Y * 10000 + M * 100 + D, 20240229);
}

TEST(SearchDates, MonthsBack) {
  struct Case {
    int32_t Y, M, D, Back, Y2, M2, D2;
  } Cases[] = {
      {2026, 5, 15, 3, 2026, 2, 15}, {2026, 5, 31, 3, 2026, 2, 28},  // the day clamps to February's end
      {2024, 5, 31, 3, 2024, 2, 29}, {2026, 2, 10, 3, 2025, 11, 10},
      {2026, 1, 1, 25, 2023, 12, 1}, {2026, 1, 1, 0, 2026, 1, 1},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(MonthsBefore(EncodeCalendarDate(C.Y, C.M, C.D) + 0.5, C.Back),
              EncodeCalendarDate(C.Y2, C.M2, C.D2) + 0.5)
        << C.Y << "-" << C.M << "-" << C.D << " minus " << C.Back;
}

TEST(SearchDates, SpinsFromATypedDate) {
  const TDateTime Now = EncodeCalendarDate(2026, 5, 10) + 0.6;
  int32_t Months = -1, Days = -1;
  // 45 days ago: one month and 14 days, 1.5 months, rounded to the even 2.
  SpinsFromDate(Now - 45, Now, Months, Days);
  EXPECT_EQ(Days, 45);
  EXPECT_EQ(Months, 2);
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2026, 3, 26), EncodeCalendarDate(2026, 5, 10)), 1.5);
  // Remainders: 1 day none, 2 a quarter, 7 a half, 15 three quarters, 22 a whole month.
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2026, 4, 9), EncodeCalendarDate(2026, 4, 10)), 0);
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2026, 4, 8), EncodeCalendarDate(2026, 4, 10)), 0.25);
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2026, 4, 3), EncodeCalendarDate(2026, 4, 10)), 0.5);
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2026, 3, 26), EncodeCalendarDate(2026, 4, 10)), 0.75);
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2026, 3, 19), EncodeCalendarDate(2026, 4, 10)), 1);
  EXPECT_DOUBLE_EQ(MonthsBetween(EncodeCalendarDate(2025, 4, 10), EncodeCalendarDate(2026, 4, 10)), 12);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(1.75), 2);
  // No date, or one not before now: both zero.
  for (TDateTime Date : {0.0, Now, Now + 3}) {
    SpinsFromDate(Date, Now, Months, Days);
    EXPECT_EQ(Months, 0);
    EXPECT_EQ(Days, 0);
  }
}
