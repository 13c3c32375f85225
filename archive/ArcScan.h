// The vocabulary of archive kinds: which kinds exist and which are switched on (ArcInfos), the archive
// file extensions, the signature test of each kind (CheckArchiveFile), and the names of the volumes of
// a multi-volume set (FirstVolumeName, NextVolumeName).
//
// Tables: the extension table is built at first use and never changes; ArcInfos is written by the
// options page and the settings loader between searches and read by the file scanner. Everything runs
// on the main thread.
//
// What the signature tests read: at most the first 512 bytes of a file, through the file layer (the
// archive library's detection, for executables and ZIP archives with data in front, reads further); a
// file shorter than a test needs fails that test. A file that cannot be opened raises EWin32Error.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TStrPtrDic;

enum TArchiveKind : uint8_t {
  akNone = 0,  // not an archive name
  akExe = 1,   // self-extracting archive
  akAce = 2,
  akArc = 3,  // ARC and PAK
  akArj = 4,
  akCab = 5,
  akGZip = 6,  // GZIP and compress (.Z)
  akJar = 7,
  akLzh = 8,
  akRar = 9,
  akTar = 10,
  akZip = 11,
  akZoo = 12,
  akHa = 13,  // recognised only to be reported as unsupported
  akHyp = 14,
  akQ = 15,
};

// The kinds with a decoder and an entry in ArcInfos.
constexpr int kFirstDecodedKind = akExe;
constexpr int kLastDecodedKind = akZoo;

enum TArchiveCheck : uint8_t {
  acNone = 0,         // not an archive
  acArchive = 1,      // an archive of an enabled kind with a decoder
  acLaterVolume = 2,  // a later volume of a numbered series
  acNoDecoder = 3,    // a recognised kind without decoder
  acDisabled = 4,     // a kind switched off in ArcInfos
};

struct TArcInfo {
  bool Enabled;
  std::string Name;  // the kind's display name
};

// Indexed by the decoded kinds, TArchiveKind 1 to kLastDecodedKind; entry 0 is unused. All kinds start
// enabled.
extern std::array<TArcInfo, kLastDecodedKind + 1> ArcInfos;

// Lower-case extension without the dot -> TArchiveKind (the 21 archive extensions).
const TStrPtrDic& ArchiveExtKinds();
// ":" and every key of ArchiveExtKinds in key order, each followed by ":" (":ace:arc:...:zip:zoo:").
const std::string& ArchiveExtList();

// The canonical extension of a decoded kind (1 to kLastDecodedKind) without the dot: "exe", or the
// lower-cased kind name.
std::string ArchiveKindExt(TArchiveKind Kind);
// For EXE, ACE, ARJ, CAB and RAR: FileName with its extension replaced by the kind's; else "".
std::string FirstVolumeName(const std::string& FileName, TArchiveKind Kind);
// Replaces the extension of FileName by that of the next volume of an ACE, ARJ or RAR series
// (ace -> c00 -> c01 ..., arj -> a01 ... a99 and 001 ... 999, rar -> r00 ... r99 -> s00 ... z99);
// false, and FileName unchanged, when there is no next name.
bool NextVolumeName(std::string& FileName, TArchiveKind Kind);
// For a later volume FileName of an ACE, ARJ or RAR set (".c01", ".a02", ".r00", ".part2.rar"): whether
// a volume of the set before it lies in its folder (names compared without case). When none does,
// FirstName is the set's first volume (".ace", ".arj", ".rar", ".part1.rar") in the case of FileName's
// extension.
bool EarlierVolumeExists(const std::string& FileName, TArchiveKind Kind, std::string& FirstName);
// The kind by extension; LaterVolume is true for the numbered later-volume extensions (a00-a99 ARJ,
// c00-c99 ACE, r00-z99 RAR).
TArchiveKind ArchiveKindByExt(const std::string& FileName, bool& LaterVolume);
TArchiveKind GetArchiveKind(const std::string& FileName);
// True when the name's kind is a decoded one (1 to kLastDecodedKind) and switched on.
bool IsEnabledArchiveName(const std::string& FileName);

// Extension first, then the kind's signature in the file. An executable ("MZ") counts as an archive only
// when the archive library's detection finds an archive inside it, and a file named as a ZIP or JAR
// whose first entry does not start at offset 0 is one when that detection finds its ZIP archive. Kind is the
// kind the answer is about; with acNone it still holds the kind the extension suggested. A RAR volume after
// the first of a set named name.partN.rar is a later volume too (its main header says so), since opening the
// first volume already reads the whole set. A file whose name is of no archive kind (nor a ".tar." of some
// compression) is acNone without being opened.
TArchiveCheck CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind);

// The signature tests, each over the start of the named file.
bool IsLhaHeader(const std::u16string& FileName);
bool IsTarHeader(const std::u16string& FileName);
// Whether a file that starts with Head (all of it, or at least its first 64 KB) is walked as a TAR
// archive: CheckArchiveFile's signature test for a ".tar" name and the archive library's detection both
// find one. The archive walk asks it of a TAR it reads as a stream, which has no file to test.
bool IsTarArchiveStart(const uint8_t* Head, size_t Len);
bool IsZooHeader(const std::u16string& FileName);
bool IsHypHeader(const std::u16string& FileName);
// The TAR header checksum: the sum of the 512 header bytes as unsigned values, with the 8 bytes of the
// checksum field at offset 148 counted as blanks.
int32_t TarHeaderChecksum(const uint8_t* Header);
