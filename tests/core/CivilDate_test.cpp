#include "core/CivilDate.h"

#include <gtest/gtest.h>

namespace {

struct TDateCase {
  int64_t Year;
  int Month;
  int Day;
  int64_t Days;
};

// Fixed points of the calendar: the Unix epoch, the TDateTime epoch, the file-time epoch, leap days of
// centuries with and without one, and dates before year 1.
constexpr TDateCase kDates[] = {
    {1970, 1, 1, 0},      {1969, 12, 31, -1},    {1899, 12, 30, -25569},  {1601, 1, 1, -134774},
    {2000, 2, 29, 11016}, {2000, 3, 1, 11017},   {1900, 3, 1, -25508},    {2038, 1, 19, 24855},
    {0, 3, 1, -719468},   {-1, 12, 31, -719529}, {9999, 12, 31, 2932896},
};

TEST(CivilDate, DaysFromCivilAndBackAtFixedPoints) {
  for (const TDateCase& C : kDates) {
    SCOPED_TRACE(std::to_string(C.Year) + "-" + std::to_string(C.Month) + "-" + std::to_string(C.Day));
    EXPECT_EQ(DaysFromCivil(C.Year, C.Month, C.Day), C.Days);
    int64_t Y = 0;
    int M = 0, D = 0;
    CivilFromDays(C.Days, Y, M, D);
    EXPECT_EQ(Y, C.Year);
    EXPECT_EQ(M, C.Month);
    EXPECT_EQ(D, C.Day);
  }
}

// Every day of four centuries around the epochs: consecutive counts give consecutive dates, each a
// valid day of its month, and each converts back to its count.
TEST(CivilDate, ConsecutiveDaysWalkTheCalendar) {
  int64_t PrevYear = 1599;
  int PrevMonth = 12, PrevDay = 31;
  for (int64_t N = DaysFromCivil(1600, 1, 1); N <= DaysFromCivil(2400, 12, 31); ++N) {
    int64_t Y = 0;
    int M = 0, D = 0;
    CivilFromDays(N, Y, M, D);
    ASSERT_GE(M, 1);
    ASSERT_LE(M, 12);
    ASSERT_GE(D, 1);
    ASSERT_LE(D, DaysInMonth(Y, M)) << Y << "-" << M;
    const bool NextDay = Y == PrevYear && M == PrevMonth && D == PrevDay + 1;
    const bool NextMonth =
        Y == PrevYear && M == PrevMonth + 1 && D == 1 && PrevDay == DaysInMonth(Y, PrevMonth);
    const bool NextYear = Y == PrevYear + 1 && M == 1 && D == 1 && PrevMonth == 12 && PrevDay == 31;
    ASSERT_TRUE(NextDay || NextMonth || NextYear) << N << ": " << Y << "-" << M << "-" << D;
    ASSERT_EQ(DaysFromCivil(Y, M, D), N);
    PrevYear = Y;
    PrevMonth = M;
    PrevDay = D;
  }
}

TEST(CivilDate, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_TRUE(IsLeapYear(0));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
}

// A day past the month's end runs on into the next month, as month arithmetic relies on.
TEST(CivilDate, DayPastMonthEndRunsOn) {
  EXPECT_EQ(DaysFromCivil(2023, 2, 29), DaysFromCivil(2023, 3, 1));
  EXPECT_EQ(DaysFromCivil(2023, 3, 0), DaysFromCivil(2023, 2, 28));
}

}  // namespace
