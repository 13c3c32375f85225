// The date filter of the search dialog: "for the last N months" and "for the last N days" turned into
// a first date, and a typed first date turned back into months and days. Dates are TDateTime values
// (days since 30 December 1899, the fraction the time of day).
#pragma once

#include <cstdint>

#include "core/WinUtils.h"

// The date N calendar months before Date, the day clamped to the target month's length; the time kept.
TDateTime MonthsBefore(TDateTime Date, int32_t Months);
// The months from From to To: twelve times the years plus the months of the calendar difference, plus a
// quarter for a remaining 2 to 6 days, a half for 7 to 14, three quarters for 15 to 20, one for more.
double MonthsBetween(TDateTime From, TDateTime To);
// Value rounded to the nearest whole number, halves to the even one.
int32_t RoundHalfEven(double Value);
// The two spin edits for a first date: 0 and 0 for no date or one not before Now; otherwise the rounded
// months between and the whole days between (both dates truncated to days), at least 0.
void SpinsFromDate(TDateTime Date, TDateTime Now, int32_t& Months, int32_t& Days);
// Date of a calendar day at midnight, and back.
TDateTime EncodeCalendarDate(int32_t Year, int32_t Month, int32_t Day);
void DecodeCalendarDate(TDateTime Date, int32_t& Year, int32_t& Month, int32_t& Day);
