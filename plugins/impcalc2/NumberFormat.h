// Number, date and time texts of spreadsheet cells by the built-in number formats. The texts are those of
// C printf formats in the "C" locale: they never depend on the process locale or the user's settings.
#pragma once

#include <cstdint>
#include <string>

// A date of the 1900 date system: serial 1 is 1 January 1900, and the system counts a 29 February 1900
// (serial 60), so serial 61 is 1 March 1900.
struct CellDate {
  int32_t Year = 1899;
  int32_t Month = 12;
  int32_t Day = 30;

  // Serials below 1 give 30 December 1899.
  void SetSerial(int32_t Serial);
  std::string FormatMDY() const;    // "3/14/2002"
  std::string FormatDMonY() const;  // "14-Mar-2002"
  std::string FormatDMon() const;   // "14-Mar"
  std::string FormatMonY() const;   // "Mar-2002"
};

struct CellTime {
  int32_t Hours = 0;
  int32_t Minutes = 0;
  int32_t Seconds = 0;

  std::string FormatHM() const;       // "18:00"
  std::string FormatHMS() const;      // "18:00:00"
  std::string FormatHMAmPm() const;   // "6:00 PM"
  std::string FormatHMSAmPm() const;  // "6:00:00 PM"
  std::string FormatMS() const;       // "00:00" (minutes, seconds)
  std::string FormatMS0() const;      // "00:00.0"
};

// The time of day of Value (its fractional part), rounded to the nearest second when WithSeconds is set,
// else to the nearest minute (Seconds is then 0).
CellTime SplitDayFraction(double Value, bool WithSeconds);

// The text of Value under the built-in number format FormatIndex (0 and unknown indexes: general).
std::string FormatNumberByIndex(double Value, uint16_t FormatIndex);
