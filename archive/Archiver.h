// TArchiver, the object the search uses for one open archive. It opens a file with the right wrapper (the
// RAR wrapper for ".rar", ".exe" and a later RAR volume read alone (".r00" ...), the archive library's for
// everything else and for an ".exe" that the RAR wrapper refuses), keeps the file open while it is open,
// lists the items, extracts one item to a file or to memory, extracts every item in one pass, owns the
// temporary folders that extraction writes into,
// and answers the wrapper's questions for further volumes from the list of volume files it was opened with.
// TSubArchiver is the archiver of an archive that was itself extracted from another archive; its volume
// files are temporary copies that it deletes.
//
// Temporary folders: each archiver writes below "<temporary folder>/$qvsrch/" in a folder of its own (an
// 8-character tag: the process id in six base-16 digits "a" to "p" and a count of the process's folders),
// made at the first MakeTempFolder. When a process first uses a root, the folders there of processes that no
// longer run are removed; a signal that ends the process (core/EndingSignals.h: interrupt, termination or
// hang-up, unless the program handles it itself) removes the process's own folders (and the root, when no
// other process has a folder there) before it ends. Once the process is ending, no extraction starts and
// no folder is made (EArcError, or false from MakeProcessTempFile with errno ECANCELED), and the ending
// waits, bounded, for the extractions under way. Loose temporary copies (a converter's copy of an archive
// item) get a folder of the same kind each (MakeProcessTempFile), so the same cleanup takes them. Roots and
// folders are made private (mode 0700) and a root that is not a folder of this user (another user's, or a
// symbolic link) is not used: a root of this user's own name beside it is taken instead. Destruction removes
// the archiver's folders and then every root of the process that is empty; files that the archiver handed out
// (extracted items) are the receiver's to delete, and a folder that still holds one stays.
//
// Ownership and threads: an archiver is used by one thread at a time, and several archivers may be open on
// different threads at once: the search's worker threads walk archives whole, each with archivers of its
// own. The kinds whose libraries keep process-wide state (cabinets, RAR, ACE, self-extractors) are opened
// only on the walk's own thread (the archive walk's WalkableOnWorker). One that the inner-archive cache
// holds is shared (std::shared_ptr) by the cache and whoever uses it now, and goes with the last share. The
// list of roots in use is guarded by its own lock, so the cache cleaner and the worker threads may use it
// from their threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArcIntf.h"
#include "archive/ArcScan.h"

class TStrLst;

class TArchiver {
 public:
  TArchiver();
  virtual ~TArchiver();
  TArchiver(const TArchiver&) = delete;
  TArchiver& operator=(const TArchiver&) = delete;

  // Opens FileName; false with the system's text (the file cannot be opened) or the wrapper's reason in Msg.
  // Volumes, when given, are the files that requests for further volumes are answered from.
  bool Open(const std::string& FileName, std::string& Msg, const TStrLst* Volumes = nullptr);
  // Opens a TAR archive given as a forward-only stream (not owned; it must outlive the archiver's use of it),
  // named Name in messages and by GetArchiveName: only ExtractAll works on it, reading it once, front to
  // back (see TBaseArcLibWrapper::SetArcStream). False with the reason in Msg.
  bool OpenStream(TStream32& Data, const std::string& Name, std::string& Msg);
  // Open, raising Exception with Msg on failure.
  void OpenChecked(const std::string& FileName, const TStrLst* Volumes = nullptr);
  // Frees the wrapper, the item lists and the file; a cached archiver also deletes its archive file (a
  // temporary extraction) and that file's folder when empty. Temporary folders stay until destruction.
  virtual void Close();
  // Store the event and hand it to the open wrapper.
  void SetProgressCallback(const TArcProgressEvent& Event);
  void SetMessageCallback(const TArcMessageEvent& Event);
  void SetPasswordCallback(const TArcPasswordEvent& Event);
  const TArcPasswordEvent& GetPasswordCallback() const { return OnPassword_; }

  // The open archive's file name; "" when closed.
  std::string GetArchiveName() const;
  // The open wrapper; null when closed.
  TArcWrapperMem2* GetWrapper() const { return Wrapper_.get(); }

  // Lists the items that OnItemFilter accepts, leaving out items that continue in a further volume; the
  // wrapper's answer (false: the listing was stopped).
  bool ListItems();
  void ClearItems();
  int32_t ItemCount() const { return static_cast<int32_t>(Names_.size()); }
  // A listed item; an index outside 0 to ItemCount() - 1 raises EArcError.
  void GetItem(int32_t Index, std::string& Name, TDateTime& Date, int32_t& Size) const;

  // A listed item into this archiver's temporary folder under its bare name (Path); see
  // TArcWrapper::ExtractItem for ExpectedSize.
  void ExtractItemToTemp(int32_t Index, int32_t ExpectedSize, std::string& Path);
  // A listed item in a block of exactly Size bytes.
  TArcBlockPtr ExtractItemToMemory(int32_t Index, int32_t Size);

  // One pass over every item into this archiver's temporary folder: Decide chooses per item, memory items
  // go to OnMemory, file items to OnFileDone. The folder is made at the first item that goes to a file.
  void ExtractAll(const TArcMemoryEvent& OnMemory, const TArcDecideEvent& Decide);
  // Every item that OnItemFilter accepts to files below the temporary folder, with their stored folders;
  // the number of files written (ExtractedFiles).
  int32_t ExtractAllToTemp();
  const std::vector<std::string>& GetExtractedFiles() const { return ExtractedFiles_; }

  // This archiver's temporary folder (with a trailing "/") in a temporary folder with room for NeededBytes;
  // made now. Raises EArcError when no private folder can be made.
  void MakeTempFolder(int64_t NeededBytes, std::string& Folder);

  // Kind of the open archive; akNone when closed.
  TArchiveKind Kind = akNone;
  // The archiver belongs to the inner-archive cache: its archive file is a temporary extraction that Close
  // deletes.
  bool Cached = false;
  // Filter for ListItems and ExtractAllToTemp; unassigned accepts every item.
  TArcItemEvent OnItemFilter;
  // Each file that an extract-all operation wrote.
  TArcFileEvent OnFileDone;
  // Items that ExtractAll may read as streams (TArcWrapper::OnStreamQuery and OnStream); unassigned,
  // every item goes to a file or to memory.
  TArcStreamQueryEvent OnStreamQuery;
  TArcStreamEvent OnItemStream;

 protected:
  // The wrapper's next-volume question answered from the volume list.
  bool FindVolume(std::string& FileName);
  // The volume files given to Open.
  std::vector<std::string> Volumes_;
  bool HasVolumes_ = false;

 private:
  TArcWrapperMem2& OpenWrapper() const;
  bool ListItemCallback(TArcListItem& Item, bool& Stop);
  bool FilterItemCallback(TArcListItem& Item, bool& Stop);
  void FileDoneCallback(TArcFileItem& File, bool& Stop);

  std::unique_ptr<TArcWrapperMem2> Wrapper_;
  bool MatchVolumesByExt_ = true;
  int FileHandle_ = -1;
  std::vector<std::string> Names_;
  std::vector<int32_t> Sizes_;
  std::vector<TDateTime> Dates_;
  std::vector<std::string> TempFolders_;  // with trailing "/"
  std::vector<std::string> ExtractedFiles_;
  TArcProgressEvent OnProgress_;
  TArcMessageEvent OnMessage_;
  TArcPasswordEvent OnPassword_;
};

class TSubArchiver : public TArchiver {
 public:
  ~TSubArchiver() override;
  // Deletes the volume files (temporary copies that this archiver owns), then closes as TArchiver does.
  void Close() override;
};

// ItemName of Archiver's archive to the file DestFile; Date and Size receive the item's date and size.
void ExtractArchiveItem(TArchiver& Archiver, const std::string& ItemName, const std::string& DestFile,
                        TDateTime* Date = nullptr, int32_t* Size = nullptr, bool SetFileTime = false);
// ItemName in a block of exactly Size bytes.
TArcBlockPtr ExtractArchiveItemToMemory(TArchiver& Archiver, const std::string& ItemName, int32_t Size);

// The temporary roots ("<temporary folder>/$qvsrch/") that archivers of this process use now, sorted.
std::vector<std::string> TempArchiveRootList();

// A new empty file for a temporary copy, named Prefix and six characters (then "." + Ext when Ext is not
// empty), in a folder
// of its own below this process's temporary root in a temporary folder with room for NeededBytes: a
// signal that ends the process removes it with the archivers' folders, and so does the next process that
// uses the root after this one ended. False (errno set) when no file can be made.
bool MakeProcessTempFile(const std::string& Prefix, const std::string& Ext, int64_t NeededBytes,
                         std::string& FileName);
// MakeProcessTempFile without an extension, raising the temporary folders' "Not enough free space" error
// when no file can be made.
std::string MakeProcessTempFileOrRaise(const std::string& Prefix, int64_t NeededBytes);
// Deletes a file MakeProcessTempFile made, its folder, and the root when that is then empty.
void RemoveProcessTempFile(const std::string& FileName);

// The name of the temporary root folder inside the temporary folder.
constexpr const char* kTempArchiveRootName = "$qvsrch";
