// Scan-ahead of a folder's files on worker threads.
//
// While the walk's own thread goes through the files of a folder in order (events, filters, reports),
// worker threads open and scan the files that are still to come with a stream scanner of their own,
// configured like the walk's. When the walk reaches a file it takes the worker's answer (waiting while a
// worker is still scanning it) instead of scanning the file itself; a file no worker has started yet is
// the walk's to scan, and no worker starts it after that. A worker's failure (the file cannot be opened,
// read or scanned) is never reported by the worker: the walk scans such a file itself and reports what
// it meets, as without scan-ahead. So every event comes from the walk's thread in the walk's order.
//
// Files are handed out in runs (kRunFiles at a time) and their states are atomics, so that the walk and
// the workers meet at the lock once per run, not once per file: on small files the lock and the
// wake-ups would cost more than the scans. At most kFilesPerWorker files per worker are ahead of the
// walk, so memory does not grow with the folder. The folder's descriptor must stay open from Begin to
// End; End drops the files not started and waits for the running ones. One owner thread calls every
// member; the workers live as long as the object.
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

class TScanAhead {
 public:
  static constexpr int32_t kFilesPerWorker = 32;
  // Files a worker takes at once.
  static constexpr int32_t kRunFiles = 8;
  // Folders with fewer files are walked without scan-ahead.
  static constexpr size_t kMinFiles = 16;
  // Milliseconds between the polls of a walk that waits for a running file.
  static constexpr int32_t kPollMs = 50;

  // The stream scanner's settings the workers copy, and the largest file they scan.
  struct TSettings {
    std::u16string Pattern;
    bool CaseSensitive = false;
    TSearchLogic Logic = slEntirePhrase;
    bool WholeWords = false;
    uint8_t Fuzzy = 0;
    TScanEncodings Encodings = 0;
    int64_t MaxSize = 0;
  };

  explicit TScanAhead(int32_t Workers);
  ~TScanAhead();
  TScanAhead(const TScanAhead&) = delete;
  TScanAhead& operator=(const TScanAhead&) = delete;

  // Starts on the files Names of the folder open on DirFd; only those whose Wanted entry is set are
  // scanned ahead. Names must stay unchanged until End.
  void Begin(const TSettings& Settings, int DirFd, const std::vector<std::string>& Names,
             std::vector<uint8_t> Wanted);
  // The answer for file Index, which the walk has seen with Size bytes: true with Result and Encoding
  // when a worker scanned the file whole at that size; false when the caller scans it itself (no worker
  // touches it from now on). While a worker is still scanning the file, Poll (when assigned) is called
  // on this thread now and then; when it answers false the worker's scan is cancelled and the answer is
  // true with Result srCancelled.
  bool Take(int32_t Index, int64_t Size, TScanResult& Result, TScanEncoding& Encoding,
            const std::function<bool()>& Poll = nullptr);
  // The size, last-write date and attributes a worker read for file Index (GetFileInfoAt's) when it has
  // scanned the file whole: true, and the walk may take them for its own look at the file, which spares
  // it that system call; false when the walk asks the system itself.
  bool Info(int32_t Index, int64_t& Size, TDateTime& Date, uint32_t& Attributes);
  // The walk is past file Index: workers may go further.
  void Pass(int32_t Index);
  // Ends the folder (also when the walk stops in it); a file still running is cancelled, since nothing
  // will ask for it.
  void End();
  bool Active() const { return Names_ != nullptr; }

 private:
  enum TState : uint8_t { stSkip, stPending, stRunning, stDone, stFailed, stTaken };
  void Work();
  // Scans file Index with Scanner; false on any failure. Info gets the file's GetFileInfoAt answer.
  struct TInfo {
    int64_t Size = -1;  // the size the file had all through its scan
    TDateTime Date = 0;
    uint32_t Attributes = 0;
  };
  bool ScanOne(TStreamScanner& Scanner, uint64_t& Generation, int32_t Index, TScanResult& Result,
               TScanEncoding& Encoding, TInfo& Info);

  // Waits until a file is no longer running (the owner's thread), with Poll as Take's; false when Poll
  // answered false.
  bool WaitWhileRunning(std::atomic<uint8_t>& State, const std::function<bool()>& Poll);

  const int32_t Window_;  // files that may be ahead of the walk
  std::mutex Lock_;
  std::condition_variable WorkReady_;  // workers wait for files
  std::condition_variable FileDone_;   // the walk waits for a running file; End waits for all
  std::vector<std::thread> Threads_;
  bool Quit_ = false;
  std::atomic<bool> OwnerWaiting_{false};  // the walk waits on FileDone_
  std::atomic<bool> Cancel_{false};        // the workers' scans stop at their next block
  int32_t IdleWorkers_ = 0;                // workers waiting on WorkReady_ (guarded by Lock_)

  // The current folder. Names_, the settings and the sizes of the arrays change only in Begin and End,
  // under Lock_ and while no file runs; Next_ is guarded by Lock_. A file's result is written by the
  // one worker that moved its state from stPending to stRunning, before it stores stDone or stFailed.
  TSettings Settings_;
  uint64_t SettingsGeneration_ = 0;
  int DirFd_ = -1;
  const std::vector<std::string>* Names_ = nullptr;
  size_t Count_ = 0;
  std::unique_ptr<std::atomic<uint8_t>[]> States_;
  std::vector<TScanResult> Results_;
  std::vector<TScanEncoding> Found_;
  std::vector<TInfo> Infos_;
  int32_t Next_ = 0;                // the first file no worker has taken
  std::atomic<int32_t> Passed_{0};  // files before this one are behind the walk
  std::atomic<int32_t> Running_{0};
  int32_t WokenAt_ = 0;  // Passed_ when the walk last woke the workers (the owner's own)   // files taken by
                         // workers and not finished
};
