// Small services that several windows and the conversion server share: the table-driven CRC-32 of the
// settings value and of the server's channel frames, the time-of-day text of the results list, the
// version records of our own modules, registry access by key path over the program's registry store
// (platform/registry), and the logic of fitting a text into a width with an ellipsis.
//
// The routines that need a display (the Escape test, clipboard, shell icons, starting documents) belong
// to the windows and are not here; WideFitText takes the text measurement as a function so that the
// fitting rules do not depend on one.
//
// Threads: the CRC, time and version-number routines are pure. The version records are registered at
// start-up and read afterwards (guarded). The registry routines use RegStore() and may be called from any
// thread as long as nobody replaces the store meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/registry/RegStore.h"

// Days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// --- Checksum -----------------------------------------------------------------------------------------

// The reflected CRC-32 (polynomial 0xEDB88320) of Len bytes continued from Crc, with no inversion at
// either end: callers start at 0xFFFFFFFF and keep the result as it comes, so "abc" gives 0xCADBBE3D,
// the complement of the usual CRC-32. Len <= 0 returns Crc unchanged.
uint32_t UpdateCrc32(uint32_t Crc, const void* Buf, int32_t Len);

// --- Time and version text ----------------------------------------------------------------------------

// N in decimal, with a "0" in front when it is a single digit (0 to 9).
std::string TwoDigits(int N);
// The time of day of Time as "hh:mm" on the 24-hour clock. The value is first rounded to whole
// milliseconds, so that 17:30 stored as a fraction slightly below it still reads 17:30.
std::string TimeToText(TDateTime Time);
// "%d.%d.%d.%d" with the high and low 16 bits of MS, then of LS (65536, 20409 gives 1.0.0.20409).
std::string VersionNumberToStr(uint32_t MS, uint32_t LS);

// --- Version information ------------------------------------------------------------------------------

// The fixed part of a version record.
struct TFixedFileInfo {
  uint32_t FileVersionMS = 0;
  uint32_t FileVersionLS = 0;
  uint32_t ProductVersionMS = 0;
  uint32_t ProductVersionLS = 0;
};

// The version record of one of our own modules, compiled into it and registered at start-up.
struct TVersionRecord {
  TFixedFileInfo Fixed;
  // The language and code page of the string values; none when absent.
  std::optional<std::pair<uint16_t, uint16_t>> Translation;
  // String values by name ("FileVersion", "ProductVersion", "CompanyName", ...).
  std::map<std::string, std::u16string> Strings;
};

// Registers the record of the module whose file name (without folder) is ModuleName; a second call for
// the same name replaces the record.
void RegisterVersionRecord(const std::u16string& ModuleName, TVersionRecord Record);

// The version information of a file: the registered record of the module with that file name. Files of
// other programs carry no record here: Valid is false and every string is empty.
class TVersionInfo {
 public:
  explicit TVersionInfo(std::u16string FileName);

  // Looks the record up again (Valid tells whether one was found).
  void ReadInfo();
  // (language, code page) of the string values; none when not Valid or absent.
  std::optional<std::pair<uint16_t, uint16_t>> GetTranslation() const;
  // Language then code page as 8 upper-case hex digits (0409 04E4 written together); empty without one.
  std::string GetTranslationStr() const;
  // The fixed record; nullptr when not Valid.
  const TFixedFileInfo* GetFixedInfo() const;
  // Most significant word in the high 32 bits; 0 when not Valid.
  uint64_t GetFileVersionNumber() const;
  uint64_t GetProductVersionNumber() const;
  // The string value Name (as UTF-8); empty when not Valid, without a translation, or absent.
  std::string GetVerValue(const std::string& Name) const;
  // "FileVersion", or the fixed file version as text when that is empty and the record is Valid.
  std::string GetFileVersionStr() const;
  std::string GetProductVersionStr() const;

  std::u16string FileName;
  bool Valid = false;

 private:
  std::optional<TVersionRecord> Record_;
};

// --- Registry by key path -----------------------------------------------------------------------------
//
// A registry path is a root name ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
// "HKEY_USERS") and a backslash, then the key path; a path without one of them is below the current
// user's root. Every routine answers true on success; keys are plain values, so nothing stays open.

// The root named at the start of Path, which then keeps only what follows the root and its backslash;
// any other Path gives the current user's root and stays unchanged. Root names compare without case.
TRegRoot ParseRegRoot(std::string& Path);
// Creates the key (and the keys above it) or opens it for reading and writing; NewlyCreated, when
// given, tells whether the key itself was made by this call.
bool RegCreateKeyPath(const std::string& Path, TRegKey& Key, bool* NewlyCreated = nullptr);
// Opens an existing key (read-only under the machine roots).
bool RegOpenKeyPath(const std::string& Path, TRegKey& Key);
// Reads a value of an open key into Buf. Size is Buf's size on entry and the value's size on return;
// a Buf of nullptr only asks the size. A value larger than Size fails (and Size tells the size needed).
// ValueType, when given, receives the value's type.
bool RegReadKeyValue(const TRegKey& Key, const std::string& ValueName, void* Buf, uint32_t& Size,
                     uint32_t* ValueType = nullptr);
// Opens the key for reading, reads the value as RegReadKeyValue does.
bool RegReadValue(const std::string& Path, const std::string& ValueName, void* Buf, uint32_t& Size,
                  uint32_t* ValueType = nullptr);
// Creates or opens the key and writes the value with the given registry type.
bool RegWriteValue(const std::string& Path, const std::string& ValueName, const void* Data, uint32_t Size,
                   uint32_t ValueType);

// --- Fitting a text into a width ----------------------------------------------------------------------

// The width of a text in pixels in the font the caller draws with.
using TMeasureText = std::function<int(const std::u16string& Text)>;

// Text when its width is at most MaxWidth; else the longest prefix that fits in MaxWidth minus the width
// of "…" (U+2026) followed by "…"; empty when not even the ellipsis fits. A surrogate pair is never cut.
std::u16string WideFitText(const TMeasureText& Measure, const std::u16string& Text, int MaxWidth);
