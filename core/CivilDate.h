// Gregorian calendar arithmetic on day counts from 1970-01-01, proleptic (any year; days before 1970
// count negative). Shared by the conversions between file times, archive date stamps and TDateTime values.
// Pure functions: any thread may call them.
#pragma once

#include <cstdint>

bool IsLeapYear(int64_t Year);
// The days of Month (1 to 12) in Year.
int DaysInMonth(int64_t Year, int Month);
// Days from 1970-01-01 to the date. Month is 1 to 12; a Day past the month's end runs on into the next.
int64_t DaysFromCivil(int64_t Year, int Month, int Day);
// The date of a day count from 1970-01-01.
void CivilFromDays(int64_t Days, int64_t& Year, int& Month, int& Day);
