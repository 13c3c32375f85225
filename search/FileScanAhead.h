// Scan-ahead of the walk's files on worker threads.
//
// The walk lists folders ahead of the folder it reports (TFileScanner's planner) and adds their files to
// this object in walk order, each at its position in the walk. Worker threads open and scan the files
// that are still to come with a stream scanner of their own, configured like the walk's, several folders
// ahead when the folders are small. Their answers wait in a reorder buffer by walk position; the walk
// reaches each file in order and takes the worker's answer (waiting, on a condition variable, while a
// worker is still scanning it) instead of scanning the file itself; a file no worker has started yet is
// the walk's to scan, and no worker starts it after that. A worker's failure (the file cannot be opened,
// read or scanned) is never reported by the worker: the walk scans such a file itself and reports what it
// meets, as without scan-ahead. So every event comes from the walk's thread in the walk's order.
//
// One look a file: the thread that comes to a file first opens it and looks at it through the descriptor
// (an open and an fstat), and the others take that look. The walk takes a worker's look for its own (and
// waits for it while the worker opens the file); a file the walk's thread opened ahead while it waited
// and left for later keeps its descriptor in its slot for whoever scans it.
//
// A file added whole (an archive) is walked by a worker with a walker of its own (TSettings::MakeWalker,
// one per worker and search), whose events are recorded (TScanRecording) for the walk to replay when it
// comes to the file; the walk replays them as they come, while the worker still walks.
//
// Files are handed out in runs (kRunFiles at a time, a run ending with a whole file) and their states are
// atomics, so that the walk and the workers meet at the lock once per run, not once per file. At most
// kFilesPerWorker files per worker are in the buffer, so memory and open folders do not grow with the
// tree. Each file holds its folder's listing (and so its descriptor) until its slot is used again or the
// search ends. One owner thread calls every member; the workers live as long as the object.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/VFileSys.h"
#include "search/StrmScan.h"

class TScanRecording;

class TScanAhead {
 public:
  // A worker's walk of whole files.
  class IWalker {
   public:
    virtual ~IWalker() = default;
    // Walks the file Name of the folder open on DirFd, whose path is Path, recording every event; false
    // when the walk was stopped.
    virtual bool Walk(int DirFd, const std::string& Name, const std::u16string& Path,
                      TScanRecording& Recording) = 0;
  };

  static constexpr int32_t kFilesPerWorker = 32;
  // Files a worker takes at once.
  static constexpr int32_t kRunFiles = 8;
  // Checks of a running file's state before the walk sleeps on it (a few microseconds).
  static constexpr int32_t kSpinChecks = 2000;
  // Milliseconds between the polls of a walk that waits for a running file.
  static constexpr int32_t kPollMs = 50;
  // The largest file the walk's thread scans ahead while it waits for a worker (a few milliseconds' work).
  static constexpr int64_t kHelpMaxBytes = 1 << 20;

  // The stream scanner's options the workers copy, the encodings they scan and the largest file they scan.
  struct TSettings {
    TStreamScanOptions Stream;
    TScanEncodings Encodings = 0;
    int64_t MaxSize = 0;
    // Makes a worker's walker of whole files (called on the worker's thread); unassigned, no file may be
    // added whole.
    std::function<std::unique_ptr<IWalker>()> MakeWalker;
  };

  explicit TScanAhead(int32_t Workers);
  ~TScanAhead();
  TScanAhead(const TScanAhead&) = delete;
  TScanAhead& operator=(const TScanAhead&) = delete;

  // Starts a search with Settings; positions count from 0.
  void Begin(const TSettings& Settings);
  // Whether the file at the next position may be added now (the buffer has room for it).
  bool Room();
  // Adds the file Index of Folder's files at the next position; scanned ahead when Wanted, and walked
  // whole by a walker when WholePath (the file's path) is given as well. A position the walk has passed
  // already is only counted. Call only when Room answers true.
  void Add(const std::shared_ptr<const TFolderListing>& Folder, size_t Index, bool Wanted,
           const std::u16string* WholePath = nullptr);
  // The next position Add gives.
  int64_t Added() const { return Added_.load(std::memory_order_relaxed); }
  // Wakes idle workers for the files added since the last call.
  void Publish();
  // The answer for the file at Pos, which the walk has seen with Size bytes: true with Result and
  // Encoding when a worker scanned the file whole at that size; false when the caller scans it itself (no
  // worker touches it from now on). While a worker is still scanning the file, Poll (when assigned) is
  // called on this thread now and then; when it answers false the worker's scan is cancelled and the
  // answer is true with Result srCancelled.
  bool Take(int64_t Pos, int64_t Size, TScanResult& Result, TScanEncoding& Encoding,
            const std::function<bool()>& Poll = nullptr);
  // The recording of the whole file at Pos when a worker has started it (the walk replays it); null when
  // the walk walks the file itself (no worker starts it from now on).
  std::shared_ptr<TScanRecording> TakeWhole(int64_t Pos);
  // What the walk takes for its own look at the file at Pos, which it is about to look at: the file is
  // opened once and looked at once, by whichever thread comes to it first.
  enum TLook : uint8_t {
    lkNone,    // nobody has looked at the file: the walk looks itself, and scans it (no worker starts it)
    lkDone,    // Size, Date and Attributes (GetFileInfoAt's) are the look of the thread that opened it
    lkFailed,  // a worker could not open it as a regular file: the walk looks at it by name
  };
  // The look at the file at Pos. While a worker opens the file, the walk waits for its look (an open and
  // an fstat). When the walk's own thread opened the file earlier and left it for later (HelpOne), its
  // descriptor goes to Fd, which the caller then owns; else Fd stays as it was.
  TLook Look(int64_t Pos, int64_t& Size, TDateTime& Date, uint32_t& Attributes, int& Fd);
  // The walk is past the file at Pos (and every one before it): workers may go further.
  void Pass(int64_t Pos);
  // Scans, on the walk's thread while it waits for the worker of the file at Pos, the first file after
  // Pos that no worker has started (a whole file excepted), for the walk to take later; false when there
  // is none.
  bool HelpOne(int64_t Pos);
  // Ends the search (also when the walk stops); files still running are cancelled, since nothing will ask
  // for them, and every folder is let go.
  void End();
  bool Active() const { return Active_; }

 private:
  enum TState : uint8_t { stSkip, stPending, stRunning, stDone, stFailed, stTaken };
  struct TInfo {
    int64_t Size = -1;  // the size the file had when it was opened
    TDateTime Date = 0;
    uint32_t Attributes = 0;
  };
  // One slot of the reorder buffer. Folder and Index are written by the walk while no worker may touch
  // the slot (before it is pending, or once it is no longer running); the answer by the one worker that
  // moved it from stPending to stRunning, before it stores stDone or stFailed. Info and Fd are written by
  // the thread that opens the file (with the slot running) before it stores LookState; Fd is taken by the
  // thread that then moves the slot from stPending on.
  struct TSlot {
    std::atomic<uint8_t> State{stSkip};
    std::shared_ptr<const TFolderListing> Folder;
    size_t Index = 0;
    TScanResult Result = srNotFound;
    TScanEncoding Encoding = seAnsi;
    // The look at the file (TLook, lkNone until it was opened), what it gave, and the descriptor of a file
    // the walk's thread opened and put back for whoever scans it (-1: none).
    std::atomic<uint8_t> LookState{lkNone};
    TInfo Info;
    int Fd = -1;
    // A whole file: its path and the recording of its walk (written by the walk with Folder).
    std::u16string WholePath;
    std::shared_ptr<TScanRecording> Recording;
    std::atomic<bool> Whole{false};  // read by workers choosing a run
  };
  TSlot& SlotAt(int64_t Pos) { return Slots_[static_cast<size_t>(Pos % Window_)]; }
  void Work();
  // Opens and looks at the file of Slot unless that was done before (its look goes to the slot), then
  // scans it with Scanner; false on any failure. With Large, a file over kHelpMaxBytes is not scanned:
  // false, Large set, and its descriptor left in the slot.
  bool ScanOne(TStreamScanner& Scanner, TSlot& Slot, TScanResult& Result, TScanEncoding& Encoding,
               bool* Large = nullptr);
  // Scans the file of Slot (which the caller has moved to stRunning) and leaves the answer in it, done or
  // failed. For the walk's thread (Help), a file over kHelpMaxBytes is put back, pending: false.
  bool ScanSlot(TStreamScanner& Scanner, TSlot& Slot, bool Help);
  // Stores the look at the file of Slot (lkDone or lkFailed) and wakes a walk that waits for it.
  void PublishLook(TSlot& Slot, TLook Look);
  // Closes a descriptor left in Slot.
  static void CloseLeft(TSlot& Slot);

  // Walks the whole file of Slot with Walker (made when missing or from an earlier search).
  void WalkWhole(TSlot& Slot, std::unique_ptr<IWalker>& Walker, uint64_t& WalkerSearch);
  // Waits until a file is no longer running (the owner's thread), with Poll as Take's; false when Poll
  // answered false.
  bool WaitWhileRunning(int64_t Pos, std::atomic<uint8_t>& State, const std::function<bool()>& Poll);
  // Waits until no worker runs a file.
  void WaitForWorkers();
  // Wakes as many sleeping workers as the files not taken yet need.
  void WakeForBacklog();

  const int32_t Window_;  // files that may be ahead of the walk: the slots of the buffer
  std::unique_ptr<TSlot[]> Slots_;
  std::mutex Lock_;
  std::condition_variable WorkReady_;  // workers wait for files
  std::condition_variable FileDone_;   // the walk waits for a running file; End waits for all
  std::vector<std::thread> Threads_;
  bool Quit_ = false;
  bool Active_ = false;                    // between Begin and End (the owner's own)
  std::atomic<bool> OwnerWaiting_{false};  // the walk waits on FileDone_
  std::atomic<bool> Cancel_{false};        // the workers' scans stop at their next block
  int32_t IdleWorkers_ = 0;                // workers waiting on WorkReady_ (guarded by Lock_)

  // The settings change only in Begin, under Lock_ and while no file runs.
  TSettings Settings_;
  uint64_t Searches_ = 0;  // Begin's count: a walker serves one search
  // Recorded events of whole files that wait for the walk, all recordings together.
  std::atomic<int64_t> RecordedAhead_{0};
  int64_t Next_ = 0;                 // the first position no worker has taken (guarded by Lock_)
  std::atomic<int64_t> Added_{0};    // positions before this one are in the buffer
  std::atomic<int64_t> Passed_{0};   // positions before this one are behind the walk
  std::atomic<int32_t> Running_{0};  // files taken by workers and not finished
  int64_t Claimed_ = 0;              // positions before this one the walk took before they were added
  int64_t WokenAt_ = 0;              // Passed_ when the walk last woke the workers (the owner's own)
  int64_t PublishedAt_ = 0;          // Added_ when the walk last published (the owner's own)
  // The walk's own scanner for the files it scans ahead while it waits, and where it looks next.
  TStreamScanner HelpScanner_;
  int64_t HelpFrom_ = 0;
};
