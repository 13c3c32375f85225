// Every setting of the program: the records and lists the windows read and change, their defaults, and
// their persistence as one versioned, CRC-protected registry value of raw bytes ("Options" under the
// program's key). The three input histories are separate values (WHistList).
//
// The settings live in one TSettings object, reached through ProgramSettings(); the units that read them
// are handed it, or the part they need, by their caller. The enabled flags of the archive kinds live in
// ArcInfos (archive/ArcScan.h) while the program runs; the value carries them too.
//
// Layout of the "Options" value (little-endian, integers signed, strings as TVStream writes them):
//   0 Version (20920), 4 MinReaderVersion (20920), 8 CRC-32 of bytes 12 to the end,
//   12 SearchOptions (4 bytes), 16 ScanOptions (6), 22 FileOptions flags and SizeUnits (8),
//   30 DateFrom, DateTo (doubles), 46 SizeFrom, SizeTo (Int64), 62 ViewOptions (83 bytes, see
//   TViewOptions), 145 ViewerFont, ViewerOffsetFont, MainFont, then SearchPaths, ExcludedDirs,
//   SearchMasks, FileTypeGroups, SavedPathSets, ToolbarButtons, MaxScanSize, MaxConvertSize,
//   DisabledConverters, MaxArchiveSize, the enabled flags of archive kinds 1 to kArchiveKindFlags,
//   ArchiveFlags, and the width and position of the four results-list columns.
// The CRC is UpdateCrc32 started at 0xFFFFFFFF, stored as it comes (no final inversion).
//
// What a reader checks: the value is at least 12 bytes, its Version above 20520 and its MinReaderVersion
// at most ours, the CRC matches; then every count and string length against the bytes left (the stream
// raises before it allocates), the toolbar vector's element size. The value is decoded into a scratch
// copy and committed only when it was read to the end, so a damaged value never leaves half its settings
// behind. Out-of-range numbers are brought back into range: enumerations outside their values get their
// default, toolbar entries that name no action or repeat one are dropped, column widths are clamped to
// 0..640, and column positions are taken only when they order the four columns.
//
// Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/NumVector.h"
#include "core/StrLst.h"
#include "core/WSSDic.h"
#include "core/WinUtils.h"
#include "viewer/ViewSettings.h"

class TVStream;

// The key of the program's settings, below the current user's root.
inline constexpr char kProgramRegKey[] = "Software\\Quorvane\\QVSearch";
// The version this build writes, the oldest it reads, and the first version that has the JAR flag.
constexpr int32_t kOptionsVersion = 20920;
constexpr int32_t kOldestOptionsVersion = 20521;
constexpr int32_t kJarFlagVersion = 20920;
// The largest "Options" value read.
constexpr uint32_t kMaxOptionsBytes = 0xFFFFF;
// Where the fields start: after Version, MinReaderVersion and the CRC.
constexpr int32_t kOptionsHeaderBytes = 12;

struct TSearchOptions {
  bool Fuzzy = false;
  bool CaseSensitive = false;
  bool WholeWords = false;
  uint8_t LogicIndex = 0;  // 0 "Any word (OR)", 1 "All words (AND)", 2 "Entire phrase"
  bool operator==(const TSearchOptions&) const = default;
};

struct TScanOptions {
  bool DirectScan = false;
  bool ANSI = false;
  bool OEM = false;
  bool Unicode = false;
  bool ConvertToText = false;
  bool SkipBinary = false;
  bool operator==(const TScanOptions&) const = default;
};

struct TFileOptions {
  bool PlainFiles = false;
  bool Archives = false;
  bool Subdirectories = false;
  bool SortDirectories = false;
  bool FilterOn = false;
  bool DateFilterOn = false;
  bool SizeFilterOn = false;
  uint8_t SizeUnits = 0;   // 0 bytes, 1 Kbytes, 2 Mbytes
  TDateTime DateFrom = 0;  // 0: open
  TDateTime DateTo = 0;
  int64_t SizeFrom = 0;  // bytes; -1: open
  int64_t SizeTo = 0;
  bool operator==(const TFileOptions&) const = default;
};

struct TArchiveFlags {
  bool ProcessSubarchives = false;
  bool SkipProtectedArchives = false;
  bool operator==(const TArchiveFlags&) const = default;
};

// The column order of the results list: Name, Path, Size, Date/Time.
constexpr int32_t kResListColumnCount = 4;
constexpr int32_t kMaxResListColumnWidth = 640;
struct TResListColumn {
  int32_t Width = 0;
  int32_t Position = 0;
  bool operator==(const TResListColumn&) const = default;
};

// The highest action index a toolbar button may name.
constexpr int8_t kLastToolbarAction = 10;
// The number of archive kinds with a flag in the value, from kind 1 in TArchiveKind order (a new kind
// raises it with kOptionsVersion).
constexpr int32_t kArchiveKindFlags = 12;

// Every setting that the "Options" value holds.
struct TSettings {
  TSettings() = default;
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  TSearchOptions SearchOptions;
  TScanOptions ScanOptions;
  TFileOptions FileOptions;
  TViewOptions ViewOptions;
  TArchiveFlags ArchiveFlags;
  TFontRec ViewerFont, ViewerOffsetFont, MainFont;
  TWideStrLst SearchPaths, ExcludedDirs, SearchMasks;  // ExcludedDirs entries end with "/", kept sorted
  TWideStrStrDic FileTypeGroups, SavedPathSets;        // name -> ";" list of masks or of paths
  TInt8Vector ToolbarButtons;                          // action indexes in button order
  int32_t MaxScanSize = 0, MaxConvertSize = 0;         // bytes
  TStrLst DisabledConverters;                          // plug-in file names switched off
  int32_t MaxArchiveSize = 0;
  // Kinds 1 to kArchiveKindFlags in TArchiveKind order; index 0 is kind 1. While the program runs ArcInfos
  // holds them.
  std::array<bool, kArchiveKindFlags> ArchiveKinds{};
  std::array<TResListColumn, kResListColumnCount> ResListColumns{};
};

// Dest becomes a copy of Source.
void AssignSettings(TSettings& Dest, const TSettings& Source);
// The two settings are equal field by field (lists and dictionaries item by item).
bool SettingsEqual(const TSettings& A, const TSettings& B);

// The program's settings object: the one owner of the settings while the program runs (the defaults from
// the start, then what LoadOptions read). Units that read settings take it, or the part they need, from
// their caller; the windows reach it here. It lives until the program ends.
TSettings& ProgramSettings();
// The installed font chosen as the main font's default; SetDefaultOptions and LoadOptions set it.
const std::string& DefaultMainFontName();
// Tells whether a font family is installed; the window layer sets it before the settings are loaded.
// Unassigned (the start): every name counts as installed.
void SetScreenFontCheck(std::function<bool(const std::string& Name)> Installed);
// The main font's candidates, in order of preference.
extern const std::array<const char*, 5> kMainFontCandidates;

// Every setting to its default (run when the program starts, before the settings are loaded).
void SetDefaultOptions();
void SetDefaultOptions(TSettings& S);
void LoadViewerColorPreset1(TSettings& S);
void LoadViewerColorPreset2(TSettings& S);
// Adds the group unless one of that name exists.
void AddFileTypeGroup(const std::u16string& Name, const std::u16string& Masks, TSettings& S);
void AddDefaultFileTypeGroups(TSettings& S);

void WriteFontRec(TVStream& Stream, const TFontRec& Rec);
void ReadFontRec(TVStream& Stream, TFontRec& Rec);

// The whole "Options" value of S: header, fields, CRC.
std::string EncodeOptions(const TSettings& S);
// Why a value is refused before its fields are read.
enum class TOptionsCheck : uint8_t { Ok, TooShort, OldVersion, NewerReader, BadCrc };
TOptionsCheck CheckOptionsValue(const std::string& Value);
// Reads the fields of a value that passed CheckOptionsValue into S (which holds the current settings:
// a value older than the JAR flag leaves it as it is). Raises EVStream ("Read after end error") for a
// value cut short or holding counts or lengths beyond its size, EVectorError for a negative count or a
// toolbar vector of another element size; S is then partly changed, so decode into a scratch copy.
void DecodeOptions(const std::string& Value, TSettings& S);

// Writes "Options" under the program's key; false when the key or the value could not be written.
bool SaveOptions();
// The folder that holds the program's settings (the program key's folder in the settings store).
std::string SettingsFolder();
// Writes "Path" (the program file), then reads "Options" (or the key's default value when "Options" is
// missing or too large). False, with nothing changed, on a first run (the key was just made), when no
// value is there, and for a value refused by CheckOptionsValue. A value that passes those tests but is
// cut short or damaged raises as DecodeOptions does, with nothing changed (the caller logs it). On
// success the settings, ArcInfos and DefaultMainFontName take the value's content.
bool LoadOptions();
