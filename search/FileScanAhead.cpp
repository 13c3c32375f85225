#include "search/FileScanAhead.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "search/FileScanRecord.h"

TScanAhead::TScanAhead(int32_t Workers)
    : Window_(kFilesPerWorker * std::max(1, Workers)),
      Slots_(std::make_unique<TSlot[]>(static_cast<size_t>(Window_))) {
  HelpScanner_.OnProgress = [this](int32_t) { return !Cancel_.load(std::memory_order_relaxed); };
  for (int32_t I = 0; I < Workers; ++I) Threads_.emplace_back([this] { Work(); });
}

TScanAhead::~TScanAhead() {
  End();
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Quit_ = true;
  }
  WorkReady_.notify_all();
  for (std::thread& Thread : Threads_) Thread.join();
}

void TScanAhead::Begin(const TSettings& Settings) {
  End();
  std::lock_guard<std::mutex> Guard(Lock_);
  Settings_ = Settings;
  ++Searches_;
  Next_ = 0;
  HelpFrom_ = 0;
  Added_.store(0, std::memory_order_relaxed);
  Passed_.store(0, std::memory_order_relaxed);
  Claimed_ = 0;
  WokenAt_ = 0;
  PublishedAt_ = 0;
  Cancel_.store(false);
  Active_ = true;
}

bool TScanAhead::Room() {
  const int64_t Pos = Added_.load(std::memory_order_relaxed);
  if (Pos - Passed_.load(std::memory_order_relaxed) >= Window_) return false;
  // The slot's earlier file is behind the walk; a worker may still scan it when the walk went past it
  // without asking (a filter skipped it).
  return SlotAt(Pos).State.load(std::memory_order_acquire) != stRunning;
}

void TScanAhead::Add(const std::shared_ptr<const TFolderListing>& Folder, size_t Index, bool Wanted,
                     const std::u16string* WholePath) {
  const int64_t Pos = Added_.load(std::memory_order_relaxed);
  if (Pos >= std::max(Passed_.load(std::memory_order_relaxed), Claimed_)) {
    TSlot& Slot = SlotAt(Pos);
    Slot.Folder = Folder;
    Slot.Index = Index;
    CloseLeft(Slot);
    Slot.Info = TInfo();
    Slot.LookState.store(lkNone, std::memory_order_relaxed);
    const bool Whole = WholePath != nullptr && Settings_.MakeWalker;
    if (Whole) {
      Slot.WholePath = *WholePath;
      Slot.Recording = std::make_shared<TScanRecording>(RecordedAhead_);
    } else if (Slot.Recording) {
      Slot.Recording.reset();
    }
    Slot.Whole.store(Whole, std::memory_order_relaxed);
    Slot.State.store(Wanted ? stPending : stSkip, std::memory_order_release);
  }
  Added_.store(Pos + 1, std::memory_order_release);
}

void TScanAhead::Publish() {
  const int64_t Added = Added_.load(std::memory_order_relaxed);
  if (Added == PublishedAt_) return;
  PublishedAt_ = Added;
  WakeForBacklog();
}

void TScanAhead::WakeForBacklog() {
  // A sleeping worker is woken only for the runs that the workers still awake will not come to soon: a
  // wake-up costs the walk's thread a system call, and the woken worker a switch, which for a small
  // folder cost more than its scans.
  int32_t Wake = 0;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    if (IdleWorkers_ == 0) return;
    const int64_t Unclaimed =
        Added_.load(std::memory_order_relaxed) - std::max(Next_, Passed_.load(std::memory_order_relaxed));
    const int64_t Runs = (Unclaimed + kRunFiles - 1) / kRunFiles;
    const int64_t Awake = static_cast<int64_t>(Threads_.size()) - IdleWorkers_;
    Wake = static_cast<int32_t>(std::clamp<int64_t>(Runs - Awake, 0, IdleWorkers_));
  }
  for (int32_t I = 0; I < Wake; ++I) WorkReady_.notify_one();
}

bool TScanAhead::WaitWhileRunning(int64_t Pos, std::atomic<uint8_t>& State,
                                  const std::function<bool()>& Poll) {
  // A small file is done within microseconds: a short look without giving up the processor spares the
  // two threads a sleep and a wake-up, each of which costs about as much on a virtual machine.
  for (int Spin = 0; Spin < kSpinChecks; ++Spin)
    if (State.load(std::memory_order_acquire) != stRunning) return true;
  bool GoOn = true;
  // Then the walk's thread scans files further ahead that no worker has started, one at a time, until
  // the file is done, so that it does not sit idle while a worker is busy (with one worker, the walk and
  // the worker otherwise take turns).
  using TClock = std::chrono::steady_clock;
  TClock::time_point Polled = TClock::now();
  while (State.load(std::memory_order_acquire) == stRunning && HelpOne(Pos)) {
    if (!Poll || TClock::now() - Polled < std::chrono::milliseconds(kPollMs)) continue;
    Polled = TClock::now();
    if (!Poll()) {
      Cancel_.store(true);
      GoOn = false;
      break;
    }
  }
  std::unique_lock<std::mutex> Guard(Lock_);
  OwnerWaiting_.store(true);
  while (State.load() == stRunning) {
    if (FileDone_.wait_for(Guard, std::chrono::milliseconds(kPollMs)) == std::cv_status::no_timeout) continue;
    if (!GoOn || !Poll || State.load() != stRunning) continue;
    // The owner's poll may run its own events: never under the lock.
    Guard.unlock();
    GoOn = Poll();
    if (!GoOn) Cancel_.store(true);
    Guard.lock();
  }
  OwnerWaiting_.store(false);
  return GoOn;
}

bool TScanAhead::HelpOne(int64_t Pos) {
  const int64_t Last =
      std::min(Added_.load(std::memory_order_relaxed), Passed_.load(std::memory_order_relaxed) + Window_);
  HelpFrom_ = std::max(HelpFrom_, Pos + 1);
  while (HelpFrom_ < Last) {
    TSlot& Slot = SlotAt(HelpFrom_++);
    // A whole file may ask the walk's thread questions: it is never walked here.
    if (Slot.Recording) continue;
    uint8_t Pending = stPending;
    if (!Slot.State.compare_exchange_strong(Pending, stRunning, std::memory_order_acq_rel)) continue;
    if (ScanSlot(HelpScanner_, Slot, true)) return true;
  }
  return false;
}

bool TScanAhead::ScanSlot(TStreamScanner& Scanner, TSlot& Slot, bool Help) {
  TScanResult Result = srNotFound;
  TScanEncoding Encoding = seAnsi;
  bool Large = false;
  const bool Ok = ScanOne(Scanner, Slot, Result, Encoding, Help ? &Large : nullptr);
  if (Large) {
    // Too long to keep the walk from the file it waits for: whoever comes to it scans it, from the
    // descriptor and the look left in the slot.
    Slot.State.store(stPending, std::memory_order_release);
    return false;
  }
  Slot.Result = Result;
  Slot.Encoding = Encoding;
  Slot.State.store(Ok ? stDone : stFailed, std::memory_order_release);
  return true;
}

void TScanAhead::PublishLook(TSlot& Slot, TLook Look) {
  Slot.LookState.store(Look);
  if (OwnerWaiting_.load()) {
    std::lock_guard<std::mutex> Notify(Lock_);
    FileDone_.notify_all();
  }
}

void TScanAhead::CloseLeft(TSlot& Slot) {
  if (Slot.Fd >= 0) FileLayer().Close(std::exchange(Slot.Fd, -1));
}

bool TScanAhead::Take(int64_t Pos, int64_t Size, TScanResult& Result, TScanEncoding& Encoding,
                      const std::function<bool()>& Poll) {
  if (!Active_ || Pos < Passed_.load(std::memory_order_relaxed)) return false;
  if (Pos >= Added_.load(std::memory_order_relaxed)) {
    // Not in the buffer yet: the walk's, and never added for a worker.
    Claimed_ = std::max(Claimed_, Pos + 1);
    return false;
  }
  std::atomic<uint8_t>& State = SlotAt(Pos).State;
  uint8_t Seen = State.load(std::memory_order_acquire);
  // A file no worker has started is the walk's: no worker starts it from now on.
  while (Seen == stPending || Seen == stSkip)
    if (State.compare_exchange_weak(Seen, stTaken, std::memory_order_acq_rel)) return false;
  if (Seen == stRunning) {
    const bool GoOn = WaitWhileRunning(Pos, State, Poll);
    Seen = State.load(std::memory_order_acquire);
    if (!GoOn) {
      State.store(stTaken, std::memory_order_relaxed);
      Result = srCancelled;
      return true;
    }
  }
  const TSlot& Slot = SlotAt(Pos);
  const bool Done = Seen == stDone && Slot.Info.Size == Size;
  Result = Slot.Result;
  Encoding = Slot.Encoding;
  State.store(stTaken, std::memory_order_relaxed);
  return Done;
}

std::shared_ptr<TScanRecording> TScanAhead::TakeWhole(int64_t Pos) {
  if (!Active_ || Pos < Passed_.load(std::memory_order_relaxed)) return nullptr;
  if (Pos >= Added_.load(std::memory_order_relaxed)) {
    Claimed_ = std::max(Claimed_, Pos + 1);
    return nullptr;
  }
  TSlot& Slot = SlotAt(Pos);
  uint8_t Seen = Slot.State.load(std::memory_order_acquire);
  while (Seen == stPending || Seen == stSkip)
    if (Slot.State.compare_exchange_weak(Seen, stTaken, std::memory_order_acq_rel)) return nullptr;
  // Started by a worker: its recording, whether the worker still walks or has finished.
  return Seen == stRunning || Seen == stDone ? Slot.Recording : nullptr;
}

TScanAhead::TLook TScanAhead::Look(int64_t Pos, int64_t& Size, TDateTime& Date, uint32_t& Attributes,
                                   int& Fd) {
  if (!Active_ || Pos < Passed_.load(std::memory_order_relaxed)) return lkNone;
  if (Pos >= Added_.load(std::memory_order_relaxed)) {
    // Not in the buffer yet: the walk's, and never added for a worker.
    Claimed_ = std::max(Claimed_, Pos + 1);
    return lkNone;
  }
  TSlot& Slot = SlotAt(Pos);
  uint8_t Seen = Slot.State.load(std::memory_order_acquire);
  // A file no worker has started is the walk's from now on, to look at and to scan: a worker starting it
  // now would open it a second time.
  while (Seen == stPending || Seen == stSkip) {
    if (!Slot.State.compare_exchange_weak(Seen, stTaken, std::memory_order_acq_rel)) continue;
    if (Slot.LookState.load(std::memory_order_acquire) != lkDone) return lkNone;
    Fd = std::exchange(Slot.Fd, -1);
    Size = Slot.Info.Size;
    Date = Slot.Info.Date;
    Attributes = Slot.Info.Attributes;
    return lkDone;
  }
  if (Seen == stTaken) return lkNone;
  if (Seen == stRunning && Slot.LookState.load(std::memory_order_acquire) == lkNone) {
    // A worker is opening the file: an open and an fstat, not worth a poll of the owner.
    auto Opening = [&Slot] { return Slot.LookState.load() == lkNone && Slot.State.load() == stRunning; };
    int Spin = 0;
    while (Spin < kSpinChecks && Opening()) ++Spin;
    if (Opening()) {
      std::unique_lock<std::mutex> Guard(Lock_);
      OwnerWaiting_.store(true);
      while (Opening()) FileDone_.wait_for(Guard, std::chrono::milliseconds(kPollMs));
      OwnerWaiting_.store(false);
    }
  }
  const uint8_t Looked = Slot.LookState.load(std::memory_order_acquire);
  if (Looked == lkFailed) return lkFailed;
  if (Looked != lkDone) return lkNone;
  Size = Slot.Info.Size;
  Date = Slot.Info.Date;
  Attributes = Slot.Info.Attributes;
  return lkDone;
}

void TScanAhead::Pass(int64_t Pos) {
  if (!Active_) return;
  const int64_t Passed = Passed_.load(std::memory_order_relaxed);
  if (Pos < Passed) return;
  // A file the walk did not take (a filter or the name decided) is not started any more.
  const int64_t Last = std::min(Pos, Added_.load(std::memory_order_relaxed) - 1);
  for (int64_t I = Passed; I <= Last; ++I) {
    TSlot& Slot = SlotAt(I);
    uint8_t Pending = stPending;
    if (Slot.State.compare_exchange_strong(Pending, stTaken, std::memory_order_acq_rel)) {
      CloseLeft(Slot);
      continue;
    }
    // A whole file the walk went past (replayed, or in a folder it did not enter): nothing more of it is
    // wanted.
    if (Pending == stRunning && Slot.Recording) Slot.Recording->Cancel();
  }
  Passed_.store(Pos + 1, std::memory_order_release);
  // Idle workers are looked at once half the window is free, not for every file the walk passes.
  if (Pos + 1 - WokenAt_ < std::max(1, Window_ / 2)) return;
  WokenAt_ = Pos + 1;
  WakeForBacklog();
}

void TScanAhead::WaitForWorkers() {
  if (Running_.load(std::memory_order_acquire) == 0) return;
  std::unique_lock<std::mutex> Guard(Lock_);
  OwnerWaiting_.store(true);
  FileDone_.wait(Guard, [&] { return Running_.load() == 0; });
  OwnerWaiting_.store(false);
}

void TScanAhead::End() {
  if (!Active_) return;
  Active_ = false;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    // Nothing more starts; the running files end before their folders may close.
    Next_ = Added_.load(std::memory_order_relaxed);
    Passed_.store(Next_, std::memory_order_relaxed);
  }
  Cancel_.store(true);
  for (int32_t I = 0; I < Window_; ++I)
    if (Slots_[static_cast<size_t>(I)].Recording) Slots_[static_cast<size_t>(I)].Recording->Cancel();
  WaitForWorkers();
  for (int32_t I = 0; I < Window_; ++I) {
    TSlot& Slot = Slots_[static_cast<size_t>(I)];
    Slot.State.store(stSkip, std::memory_order_relaxed);
    CloseLeft(Slot);
    Slot.LookState.store(lkNone, std::memory_order_relaxed);
    Slot.Folder.reset();
    Slot.Recording.reset();
    Slot.Whole.store(false, std::memory_order_relaxed);
  }
}

void TScanAhead::Work() {
  TStreamScanner Scanner;
  Scanner.OnProgress = [this](int32_t) { return !Cancel_.load(std::memory_order_relaxed); };
  std::unique_ptr<IWalker> Walker;
  uint64_t WalkerSearch = 0;
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    // The next run of files within the window ahead of the walk.
    int64_t From = 0, To = 0;
    ++IdleWorkers_;
    WorkReady_.wait(Guard, [&] {
      if (Quit_) return true;
      const int64_t Passed = Passed_.load(std::memory_order_acquire);
      const int64_t Last = std::min(Added_.load(std::memory_order_acquire), Passed + Window_);
      Next_ = std::max(Next_, Passed);
      while (Next_ < Last && SlotAt(Next_).State.load(std::memory_order_relaxed) != stPending) ++Next_;
      if (Next_ >= Last) return false;
      From = Next_;
      // A whole file ends the run: it may take long, and the files after it are better left to others.
      To = From;
      while (To < Last && To - From < kRunFiles)
        if (SlotAt(To++).Whole.load(std::memory_order_relaxed)) break;
      Next_ = To;
      return true;
    });
    --IdleWorkers_;
    if (Quit_) return;
    Running_.fetch_add(static_cast<int32_t>(To - From), std::memory_order_relaxed);
    Guard.unlock();
    for (int64_t Pos = From; Pos < To; ++Pos) {
      TSlot& Slot = SlotAt(Pos);
      uint8_t Pending = stPending;
      if (!Slot.State.compare_exchange_strong(Pending, stRunning, std::memory_order_acq_rel)) {
        // Taken by the walk, or passed.
      } else if (Slot.Recording) {
        WalkWhole(Slot, Walker, WalkerSearch);
        Slot.State.store(stDone);
      } else {
        ScanSlot(Scanner, Slot, false);
      }
      // The last running file lets End go on; the walk waits only for the file it stands at.
      Running_.fetch_sub(1);
      if (OwnerWaiting_.load()) {
        std::lock_guard<std::mutex> Notify(Lock_);
        FileDone_.notify_all();
      }
    }
    Guard.lock();
  }
}

void TScanAhead::WalkWhole(TSlot& Slot, std::unique_ptr<IWalker>& Walker, uint64_t& WalkerSearch) {
  TScanRecording& Recording = *Slot.Recording;
  // The settings and the slot stay as they are while its file runs.
  if (!Walker || WalkerSearch != Searches_) {
    Walker.reset();
    Walker = Settings_.MakeWalker();
    WalkerSearch = Searches_;
  }
  Walker->Walk(Slot.Folder->Fd(), Slot.Folder->Files[Slot.Index], Slot.WholePath, Recording);
}

bool TScanAhead::ScanOne(TStreamScanner& Scanner, TSlot& Slot, TScanResult& Result, TScanEncoding& Encoding,
                         bool* Large) {
  // The slot's folder and the settings stay as they are while its file runs.
  const TSettings& Settings = Settings_;
  const int DirFd = Slot.Folder->Fd();
  const std::string& Name = Slot.Folder->Files[Slot.Index];
  IFileLayer& Fs = FileLayer();
  int Fd = -1;
  try {
    Scanner.SetOptions(Settings.Stream);
    if (Slot.LookState.load(std::memory_order_acquire) == lkDone) {
      // Opened and looked at before, by the walk's thread, and put back with its descriptor.
      Fd = std::exchange(Slot.Fd, -1);
    } else {
      // The file is opened first and looked at through its descriptor, the one look at it of the whole
      // search: a regular file (never a FIFO or a device, which the non-blocking open does not wait for)
      // whose size, date and attributes are what the walk's own look would give, and which the walk takes
      // for its own (Look).
      struct stat St {};
      Fd = OpenRegularFileAt(DirFd, Name, St);
      if (Fd < 0) {
        PublishLook(Slot, lkFailed);
        return false;
      }
      FileInfoOfStatus(St, Name, &Slot.Info.Size, &Slot.Info.Date, &Slot.Info.Attributes);
      PublishLook(Slot, lkDone);
    }
    const int64_t Size = Slot.Info.Size;
    if (Fd < 0 || Size <= 0 || Size > Settings.MaxSize) {
      // Empty or too large: the walk reports it from the look, without reading it.
      if (Fd >= 0) Fs.Close(Fd);
      return false;
    }
    if (Large != nullptr && Size > kHelpMaxBytes) {
      Slot.Fd = Fd;
      *Large = true;
      return false;
    }
    // The stream owns the descriptor from here on.
    TVBufFileStream Stream(Utf8ToUtf16(Name), 32768, fmShareDenyWrite,
                           TFileAt{DirFd, Name, Size, std::exchange(Fd, -1)});
    Scanner.Stream = &Stream;
    Result = Scanner.Find(Settings.Encodings, Encoding);
    Scanner.Stream = nullptr;
    return Result != srCancelled;
  } catch (...) {
    Scanner.Stream = nullptr;
    if (Fd >= 0) Fs.Close(Fd);
    if (Slot.LookState.load(std::memory_order_relaxed) == lkNone) PublishLook(Slot, lkFailed);
    return false;
  }
}
