// Routines that the archive library's components and decoders share: item paths and names,
// percentages, DOS and Unix time stamps with the local time zone, octal header fields, and
// TInternalMask, the wildcard matcher that selects items by name.
//
// Separators: item names and folder paths use "/" (the system's separator). A "\" in a name read from
// an archive, written by a system that separates with it, is turned into "/" by BackslashesToSlashes and
// NormalizeNameSlashes.
//
// Time zone: the tz database of the C library (TZ, /etc/localtime), read once at the first conversion
// (tzset); tests that set TZ call tzset themselves.
//
// All routines are plain functions over strings and numbers, safe on any thread, except the folder
// routines, which touch the file system.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

// Days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// The item separator, and the foreign one that names from archives may carry.
constexpr char kItemSeparator = '/';
constexpr char kForeignSeparator = '\\';

// --- Paths and names ----------------------------------------------------------------------------------

// "" for an empty Dir; otherwise Dir, "/" and Name, without doubling a trailing "/" of Dir.
std::string AppendPath(const std::string& Dir, const std::string& Name);
// S with a trailing "/" added unless it ends with one; an empty S stays empty.
std::string IncludeItemSeparator(const std::string& S);
// Every "\" becomes "/".
std::string BackslashesToSlashes(const std::string& S);
// Every "\" and every byte FF (a separator some archivers write) becomes "/", except the second byte of
// a double-byte character (a byte 80-9F or E0-FD starts one); then blanks are trimmed at both ends.
std::string NormalizeNameSlashes(const std::string& S);
// For a non-empty name: from the OEM code page to UTF-8 when FromOem, then BackslashesToSlashes.
// The decoders share one rule for FromOem: a name is converted when the archive says it was written on a
// DOS, OS/2 or Windows host and does not mark it as UTF-8 (ZIP: the host of "version made by" and flag bit
// 11; ARJ: the host OS; LHA: the OS id, level-0 headers counting as DOS; formats that only DOS archivers
// wrote, such as ARC and PAK, always); names from other hosts, or whose host the archive does not record,
// are kept as stored (UTF-8 on today's systems).
std::string ConvertItemName(const std::string& Name, bool FromOem);
// The number of characters before the first "." of the whole string, or its length.
int32_t FirstDotPos(const std::string& Name);
// The name before its first "." plus ".~" and the extension (after the last ".") without its last
// character when it has three or more (txt gives .~tx, ab gives .~ab); a name without extension, or
// ending in ".", gets ".~" appended.
std::string TempBackupName(const std::string& Name);
bool FolderExists(const std::string& Name);
// Creates every missing folder of Path from the root down; true when the folder exists afterwards.
bool ForceDirectories(const std::string& Path);
// Longer than two characters and starting with two separators (a network path).
bool IsUncPath(const std::string& S);
// The temporary folder ($TMPDIR, else /tmp) with a trailing "/"; "" when it is not a folder.
std::string GetTempPathString();
// Head := the part of S before the first Delimiter and S := the part after it; without a Delimiter
// Head := S and S := "".
void SplitAtDelimiter(std::string& S, char Delimiter, std::string& Head);
// True when every character is "0" to "9" (also for "").
bool IsAllDigits(const std::string& S);

// --- Numbers ------------------------------------------------------------------------------------------

// Part x 100 / Total to the nearest integer; 0 when Total <= 0, when the value is negative or not a
// number; at most 100.
int32_t Percent(double Total, double Part);
// The same for unsigned numbers; 0 when Total is 0.
uint32_t PercentOf(uint32_t Part, uint32_t Total);
uint32_t MinUnsigned(uint32_t A, uint32_t B);
// The two 16-bit halves exchanged.
uint32_t SwapWords(uint32_t X);
// The digits "0" to "7" of S read as an octal number; every other character is skipped, not taken as
// the end. A value beyond the 64-bit range (a damaged field) gives INT64_MAX.
int64_t OctalToInt(const std::string& S);

// --- Dates --------------------------------------------------------------------------------------------

// The date 1980-01-01 00:01:00, given for a zero or invalid stamp.
TDateTime DefaultArchiveDate();
// A packed DOS stamp (bits 25.. year - 1980, 21-24 month, 16-20 day, 11-15 hour, 5-10 minute, 0-4
// seconds / 2); 0 and an invalid stamp give DefaultArchiveDate().
TDateTime DosDateTimeToDateTime(uint32_t X);
// Seconds since 1970-01-01 00:00:00 UTC as local time; 0 gives DefaultArchiveDate(). Times before 1970
// and after 2100 follow the Gregorian calendar.
TDateTime UnixToDateTime(int64_t Seconds);
// The same without the zone conversion (UTC).
TDateTime UnixToUtcDateTime(int64_t Seconds);
// A UTC date and time as the local time of the system's zone at that moment.
TDateTime UtcToLocal(TDateTime T);
// True when the local wall-clock time T falls in daylight-saving time.
bool IsDaylightTime(TDateTime T);
// T moved by whole months (either way), the day clamped to the length of the target month.
TDateTime AddMonths(int32_t Months, TDateTime T);

// --- Masks --------------------------------------------------------------------------------------------

// A compiled wildcard mask: "*" any run of characters, "?" one character (one UTF-8 sequence), every
// other character itself without case (ASCII letters only). A "?" right after "*" adds nothing, so
// "*?" matches the empty name; a mask ending in "." matches names without "." as if they ended in one
// ("*." selects names without extension). "[" is an ordinary character.
class TInternalMask {
 public:
  enum TItemKind : uint8_t { ikChar = 0, ikAnyChar = 1, ikSet = 2 };
  struct TMaskItem {
    bool Star = false;  // any run of characters may come first
    TItemKind Kind = ikChar;
    char Char = 0;         // ikChar: the character in upper case; 0 stands for the end of the name
    std::bitset<256> Set;  // ikSet: the upper-cased bytes that match
  };

  explicit TInternalMask(const std::string& Mask);
  bool Matches(const std::string& Name) const;

  std::vector<TMaskItem> Items;
  bool TrailingDot = false;
};

// A mask made, matched once and dropped.
bool MatchInternalMask(const std::string& Name, const std::string& Mask);
