// File-system utilities: path strings, folders, existence, copying and deleting, opening and reading a
// signature, file information with local times, listings with a mask, and the choice of a temporary
// folder and file name where there is enough free space.
//
// Paths use "/" between folders; "\" and ":" are ordinary characters of a name. A name is matched
// against a mask without case; names are compared exactly otherwise (a.txt and A.txt are two files).
// 8-bit names hold UTF-8 or, where a name is not UTF-8, its bytes as they stand; the Wide routines convert
// with the file layer's name conversion, which keeps those bytes. File opens, folder reads and the
// free-space and temporary-file calls go through the file layer (FileLayer.h), so tests can count them and
// make them fail.
//
// Listings do not descend into symbolic links to folders, and list only regular files (and symbolic
// links to them): FIFOs, sockets and devices are skipped, so a walk can neither loop nor block. Within a
// folder, names come in order without case, ties broken exactly.
//
// Failures are reported by the result (false, -1, an empty list) except where a function says it raises.
// The temporary-folder candidate list is program-wide and unguarded: temporary names are made on the
// main thread.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Exception.h"

class TStrLst;
class TWideStrLst;

// Days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;
// 100-nanosecond intervals since 1601-01-01.
using TFileTime = int64_t;

// File attributes as the rest of the system tests them.
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;

// Free bytes a temporary folder must keep beyond what is asked for.
constexpr int64_t kMinTempFreeSpace = 1048576;

// --- Path strings ----------------------------------------------------------------------------------------

// 1-based index of the last character of S (NUL excluded) that occurs in Delimiters, 0 when none.
int32_t WideLastDelimiter(const std::u16string& Delimiters, const std::u16string& S);
// S up to and including the last "/".
std::u16string WideExtractFilePath(const std::u16string& S);
// S after the last "/".
std::u16string WideExtractFileName(const std::u16string& S);
// From the last "." to the end, dot included, when that "." comes after the last "/"; else empty.
std::u16string WideExtractFileExt(const std::u16string& S);
std::string ExtractFileExt(const std::string& S);
void SplitFileName(const std::string& S, std::string& Dir, std::string& Name);
void WideSplitFileName(const std::u16string& S, std::u16string& Dir, std::u16string& Name);
std::string RemoveFileExt(const std::string& Name);
std::u16string WideRemoveFileExt(const std::u16string& Name);
// The extension without its dot, ASCII letters in lower case.
std::string LowerFileExt(const std::string& Name);
// S with "/" appended unless it ends with one (an empty S gives "/").
std::u16string WideIncludeTrailingSlash(const std::u16string& S);
std::string IncludeTrailingSlash(const std::string& S);
// S without one trailing "/".
std::u16string WideExcludeTrailingSlash(const std::u16string& S);
std::string ExcludeTrailingSlash(const std::string& S);
// Characters after the last "." of a mask; -1 when the mask is empty, has no ".", or has a "*" after it.
int32_t MaskExtLength(const std::string& Mask);
int32_t WideMaskExtLength(const std::u16string& Mask);
// Path fitted into MaxLen characters (at least 4) with "...": the cut falls just before the last
// delimiter when there is room between the first and the last one, else the end is cut. An empty
// Delimiters set means "/".
std::u16string WideShortenPath(const std::u16string& Path, int32_t MaxLen, const std::u16string& Delimiters);
// True when Name matches Mask: "*" any run, "?" one character, without case; "*.*" and "*" match every
// name, a mask ending in "." matches names without an extension, and ".*" at the end may match nothing.
bool MatchesMask(const std::string& Name, const std::string& Mask);

// --- Folders and names from the system -------------------------------------------------------------------

std::u16string WideGetCurrentDir();
bool WideSetCurrentDir(const std::u16string& Dir);
// $TMPDIR (default /tmp) with a trailing "/".
std::string GetTempDir();
std::u16string WideGetTempDir();
// The full file name of the program (Module nullptr) or of the loaded library holding the address Module;
// empty when unknown.
std::string ModuleFileName(const void* Module);
std::u16string WideModuleFileName(const void* Module);
// The absolute, lexically normalised path of S (relative to the current folder).
std::u16string WideExpandFileName(const std::u16string& S);
// The same: the system has no short names to replace.
std::string ExpandLongFileName(const std::string& Path);
std::u16string WideExpandLongFileName(const std::u16string& Path);

// --- Existence, copy, delete -----------------------------------------------------------------------------

bool WideFileExists(const std::u16string& S);
bool FileExists(const std::string& S);
// The full path of the program file Program in the folders of $PATH, or empty.
std::string FindOnPath(const std::string& Program);
bool DirExists(const std::string& S);
bool WideDirExists(const std::u16string& S);
// Copies content, permissions and last-write time; false when Dst exists and FailIfExists, or on failure.
bool WideCopyFile(const std::u16string& Src, const std::u16string& Dst, bool FailIfExists);
// False for an empty name, a missing name or a folder; else deletes the file (a read-only one too).
bool ForceDeleteFile(const std::string& Name);
// False unless Name is an existing folder; removes it when it is empty.
bool ForceRemoveDir(const std::string& Name);
// False for a missing name; removes an empty folder or deletes a file.
bool ForceDelete(const std::string& Name);
// ForceDeleteFile for every name.
void DeleteFileList(const TStrLst& List);
// Removes the folders of List (sorted descending first, so that inner folders go before their parents;
// the caller's list is changed); when Recursive, each one's sub-folders first. Files are never deleted,
// and a folder that still holds files stays.
void RemoveDirList(TStrLst& List, bool Recursive);
// Creates Dir and its missing parents; true when Dir exists afterwards (a root or an existing folder at
// once). An empty Dir, or a relative name of one component, raises "Cannot create directory".
bool CreateDirTree(const std::string& Dir);

// --- Opening and reading ---------------------------------------------------------------------------------

// A descriptor open for reading on an existing regular file, -1 on failure. Never blocks on a FIFO.
int OpenReadShared(const std::string& Name);
int WideOpenReadShared(const std::u16string& Name);
// Closes a descriptor other than -1 (true when that succeeded); Handle becomes -1 in every case.
bool CloseFileHandle(int& Handle);
// Reads Count bytes at Offset; true only when exactly Count came. A file that cannot be opened raises
// EWin32Error.
bool WideReadFileBytes(const std::u16string& Name, void* Buf, int32_t Count, int64_t Offset);
// The Length(Signature) bytes at Offset compared with Signature as zero-terminated text of at most that
// length (a NUL at the same place in both ends the comparison as equal).
bool WideFileHasBytesAt(const std::u16string& Name, const std::string& Signature, int64_t Offset);

// --- File information and times --------------------------------------------------------------------------

// The directory entry of Name (following a symbolic link; the link itself when it leads nowhere), so the
// file need not be openable. False when not found (the size output is then -1). Every output is
// optional; the times are local; the creation time is the birth time where the file system keeps one,
// else the last-write time.
bool GetFileInfo(const std::string& Name, int64_t* PSize, TDateTime* PWriteTime, TDateTime* PCreationTime,
                 TDateTime* PAccessTime, uint32_t* PAttributes);
bool WideGetFileInfo(const std::u16string& Name, int64_t* PSize, TDateTime* PWriteTime,
                     TDateTime* PCreationTime, TDateTime* PAccessTime, uint32_t* PAttributes);
// The same for Name relative to the folder open on DirFd (a TFolderListing's), which spares the system
// the walk along the whole path.
bool GetFileInfoAt(int DirFd, const std::string& Name, int64_t* PSize, TDateTime* PWriteTime,
                   TDateTime* PCreationTime, TDateTime* PAccessTime, uint32_t* PAttributes);
// What GetFileInfoAt gives for Name, taken from the status St that the system gave for its open
// descriptor (fstat): a file opened first is looked at without asking the system about its name again.
void FileInfoOfStatus(const struct stat& St, const std::string& Name, int64_t* PSize, TDateTime* PWriteTime,
                      uint32_t* PAttributes);
// Opens the file Name of the folder open on DirFd for reading and looks at it through the descriptor (the
// file layer's OpenAt and FStat): the descriptor, with St filled, when it is a regular file; -1, with
// nothing left open, when it cannot be opened or is something else. The open does not wait: a FIFO found
// there is refused at once.
int OpenRegularFileAt(int DirFd, const std::string& Name, struct stat& St);
// The attributes (fa*) of a file of the system's type and permission bits Mode named Name: a folder or
// not, read-only without the owner's write bit, hidden when the name starts with ".".
uint32_t AttributesOf(uint32_t Mode, const std::string& Name);
// Sets the last-write time from a local date-time; false when the file cannot be opened or the time set.
bool SetFileWriteTime(const std::string& Name, TDateTime DateTime);
// Conversions without time-zone change.
TDateTime FileTimeToDateTime(TFileTime FileTime);
TFileTime DateTimeToFileTime(TDateTime DateTime);
// Conversions between a UTC file time and a local date-time (the zone rules of that date).
TDateTime FileTimeToLocalDateTime(TFileTime FileTime);
TFileTime LocalDateTimeToFileTime(TDateTime DateTime);

// --- Listings --------------------------------------------------------------------------------------------

// One folder read once: its files (regular files and symbolic links to them) and its sub-folders (real
// folders, never links to them), names only, each list in order without case, ties broken exactly. The
// type of an entry comes from the listing itself; the system is asked only for links and where the file
// system does not tell types. The folder stays open until Close or destruction, so that its files can be
// looked at and opened relative to it (Fd). The folder is read through the file layer (FileLayer.h).
class TFolderListing {
 public:
  TFolderListing() = default;
  ~TFolderListing();
  TFolderListing(const TFolderListing&) = delete;
  TFolderListing& operator=(const TFolderListing&) = delete;

  // Reads the folder Dir (a link named as Dir is followed); false, with both lists empty, when it cannot
  // be opened or read.
  bool Read(const std::string& Dir);
  // Reads the sub-folder Name of the folder open on ParentFd, relative to it, so that the length of the
  // whole path does not matter; a link named Name is not followed. False as Read.
  bool ReadAt(int ParentFd, const std::string& Name);
  // Keeps the files that match Mask (empty: all) under the rules of ListFiles (the extension's length
  // too), and the sub-folders that match Mask (empty: all) under those of ListSubdirs.
  void KeepFiles(const std::string& Mask);
  void KeepFolders(const std::string& Mask);
  // The folder's descriptor for the *at calls; -1 when closed.
  int Fd() const { return DirFd_; }
  void Close();

  std::vector<std::string> Files;
  std::vector<std::string> Folders;
  // The errno of the failed open or read of the last Read or ReadAt; 0 after a success.
  int Error = 0;

 private:
  bool ReadOpened();
  int DirFd_ = -1;
};

// Clears List and adds the full paths of the files in Dir matching Mask (empty: "*.*"), and when
// Recursive of every sub-folder's, depth first, a folder's own files before its sub-folders. Hidden and
// read-only files are included. An empty Dir lists nothing. Returns the count.
int32_t ListFiles(TStrLst& List, const std::string& Dir, const std::string& Mask, bool Recursive);
int32_t WideListFiles(TWideStrLst& List, const std::u16string& Dir, const std::u16string& Mask,
                      bool Recursive);
// Clears List and adds the names (not paths) of the sub-folders of Dir matching Mask (empty: "*"),
// without "." and ".." and without symbolic links. Returns the count.
int32_t ListSubdirs(TStrLst& List, const std::string& Dir, const std::string& Mask);
int32_t WideListSubdirs(TWideStrLst& List, const std::u16string& Dir, const std::u16string& Mask);
// The same listings into plain vectors.
void ListFileNames(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask,
                   bool Recursive);
void ListSubdirNames(std::vector<std::string>& List, const std::string& Dir, const std::string& Mask);

// --- Temporary files -------------------------------------------------------------------------------------

// Folder := the temporary folder (with "/"). When NeededBytes > 0 and that folder has less than
// max(NeededBytes, kMinTempFreeSpace) free, the candidate folders are tried in order and the first with
// enough room is taken and moved to the front; none: false.
bool GetTempFolder(std::string& Folder, int64_t NeededBytes);
// Creates a new empty file with a unique name starting with the first three characters of Prefix in the
// folder GetTempFolder chooses. A candidate folder where no file could be made is dropped and the next
// tried. False when no folder serves.
bool MakeTempFileName(std::string& FileName, const std::string& Prefix, int64_t NeededBytes);
// MakeTempFileName; raises "Not enough free space on hard drive(s) for temporary files" when it fails.
void MakeTempFileNameOrRaise(const std::string& Prefix, std::string& FileName, int64_t NeededBytes);
// An 8-character tag from the object's address and the process id, nibble by nibble (the sum of the two
// nibbles, "0".."9" then "A".."U"), most significant first. Tags of different objects or processes can
// be equal: whoever makes a folder from one must create it exclusively.
std::string MakeInstanceTag(const void* Obj);
std::string MakeInstanceTagFor(uintptr_t Address, uint32_t ProcessId);
// The candidate folders for temporary files when the temporary folder is short of room, in the order
// they are tried. Made on first need: /var/tmp, $XDG_CACHE_HOME (default ~/.cache), the home folder.
std::vector<std::string>& TempFolderCandidates();
