#include "search/FileScanAhead.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "core/FileLayer.h"
#include "core/VFileStream.h"

TScanAhead::TScanAhead(int32_t Workers) : Window_(kFilesPerWorker * Workers) {
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

void TScanAhead::Begin(const TSettings& Settings, int DirFd, const std::vector<std::string>& Names,
                       std::vector<uint8_t> Wanted) {
  End();
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    if (Settings.Pattern != Settings_.Pattern || Settings.CaseSensitive != Settings_.CaseSensitive ||
        Settings.Logic != Settings_.Logic || Settings.WholeWords != Settings_.WholeWords ||
        Settings.Fuzzy != Settings_.Fuzzy || SettingsGeneration_ == 0)
      ++SettingsGeneration_;
    Settings_ = Settings;
    DirFd_ = DirFd;
    Names_ = &Names;
    Count_ = Names.size();
    States_ = std::make_unique<std::atomic<uint8_t>[]>(Count_);
    for (size_t I = 0; I < Count_; ++I)
      States_[I].store(I < Wanted.size() && Wanted[I] ? stPending : stSkip, std::memory_order_relaxed);
    Results_.assign(Count_, srNotFound);
    Found_.assign(Count_, seAnsi);
    Infos_.assign(Count_, TInfo());
    Next_ = 0;
    Passed_.store(0, std::memory_order_relaxed);
    WokenAt_ = 0;
    Cancel_.store(false);
    if (IdleWorkers_ == 0) return;
  }
  WorkReady_.notify_all();
}

bool TScanAhead::WaitWhileRunning(std::atomic<uint8_t>& State, const std::function<bool()>& Poll) {
  // A small file is done within microseconds: a short spin spares the two threads a sleep and a wake-up.
  for (int Spin = 0; Spin < 2000; ++Spin) {
    if (State.load(std::memory_order_acquire) != stRunning) return true;
    if (Spin >= 100) std::this_thread::yield();
  }
  bool GoOn = true;
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

bool TScanAhead::Take(int32_t Index, int64_t Size, TScanResult& Result, TScanEncoding& Encoding,
                      const std::function<bool()>& Poll) {
  if (Names_ == nullptr || Index < 0 || static_cast<size_t>(Index) >= Count_) return false;
  std::atomic<uint8_t>& State = States_[static_cast<size_t>(Index)];
  uint8_t Seen = State.load(std::memory_order_acquire);
  // A file no worker has started is the walk's: no worker starts it from now on.
  while (Seen == stPending || Seen == stSkip)
    if (State.compare_exchange_weak(Seen, stTaken, std::memory_order_acq_rel)) return false;
  if (Seen == stRunning) {
    const bool GoOn = WaitWhileRunning(State, Poll);
    Seen = State.load(std::memory_order_acquire);
    if (!GoOn) {
      State.store(stTaken, std::memory_order_relaxed);
      Result = srCancelled;
      return true;
    }
  }
  const bool Done = Seen == stDone && Infos_[static_cast<size_t>(Index)].Size == Size;
  Result = Results_[static_cast<size_t>(Index)];
  Encoding = Found_[static_cast<size_t>(Index)];
  State.store(stTaken, std::memory_order_relaxed);
  return Done;
}

bool TScanAhead::Info(int32_t Index, int64_t& Size, TDateTime& Date, uint32_t& Attributes) {
  if (Names_ == nullptr || Index < 0 || static_cast<size_t>(Index) >= Count_) return false;
  if (States_[static_cast<size_t>(Index)].load(std::memory_order_acquire) != stDone) return false;
  const TInfo& Info = Infos_[static_cast<size_t>(Index)];
  Size = Info.Size;
  Date = Info.Date;
  Attributes = Info.Attributes;
  return true;
}

void TScanAhead::Pass(int32_t Index) {
  if (Names_ == nullptr) return;
  // A file the walk did not take (a filter or the name decided) is not started any more.
  const int32_t Passed = Passed_.load(std::memory_order_relaxed);
  for (int32_t I = Passed; I <= Index && static_cast<size_t>(I) < Count_; ++I) {
    uint8_t Pending = stPending;
    States_[static_cast<size_t>(I)].compare_exchange_strong(Pending, stTaken, std::memory_order_acq_rel);
  }
  if (Index + 1 <= Passed) return;
  Passed_.store(Index + 1, std::memory_order_release);
  // Idle workers are woken once half the window is free, not for every file the walk passes.
  if (Index + 1 - WokenAt_ < std::max(1, Window_ / 2)) return;
  WokenAt_ = Index + 1;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    if (IdleWorkers_ == 0 || Next_ >= static_cast<int32_t>(Count_)) return;
  }
  WorkReady_.notify_all();
}

void TScanAhead::End() {
  if (Names_ == nullptr) return;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    // Nothing more starts; the running files end before the folder's descriptor may close.
    Next_ = static_cast<int32_t>(Count_);
  }
  Cancel_.store(true);
  if (Running_.load(std::memory_order_acquire) > 0) {
    for (int Spin = 0; Spin < 2000 && Running_.load(std::memory_order_acquire) > 0; ++Spin)
      if (Spin >= 100) std::this_thread::yield();
    std::unique_lock<std::mutex> Guard(Lock_);
    OwnerWaiting_.store(true);
    FileDone_.wait(Guard, [&] { return Running_.load() == 0; });
    OwnerWaiting_.store(false);
  }
  std::lock_guard<std::mutex> Guard(Lock_);
  Names_ = nullptr;
  DirFd_ = -1;
  Count_ = 0;
  States_.reset();
}

void TScanAhead::Work() {
  TStreamScanner Scanner;
  Scanner.OnProgress = [this](int32_t) { return !Cancel_.load(std::memory_order_relaxed); };
  uint64_t Generation = 0;
  std::unique_lock<std::mutex> Guard(Lock_);
  for (;;) {
    // The next run of files within the window ahead of the walk.
    int32_t From = 0, To = 0;
    ++IdleWorkers_;
    WorkReady_.wait(Guard, [&] {
      if (Quit_) return true;
      if (Names_ == nullptr) return false;
      const int32_t Window = Passed_.load(std::memory_order_acquire) + Window_;
      const int32_t Last = std::min(static_cast<int32_t>(Count_), Window);
      while (Next_ < Last && States_[static_cast<size_t>(Next_)].load(std::memory_order_relaxed) != stPending)
        ++Next_;
      if (Next_ >= Last) return false;
      From = Next_;
      To = std::min(Last, From + kRunFiles);
      Next_ = To;
      return true;
    });
    --IdleWorkers_;
    if (Quit_) return;
    Running_.fetch_add(To - From, std::memory_order_relaxed);
    Guard.unlock();
    for (int32_t Index = From; Index < To; ++Index) {
      std::atomic<uint8_t>& State = States_[static_cast<size_t>(Index)];
      uint8_t Pending = stPending;
      if (State.compare_exchange_strong(Pending, stRunning, std::memory_order_acq_rel)) {
        TScanResult Result = srNotFound;
        TScanEncoding Encoding = seAnsi;
        TInfo Info;
        const bool Ok = ScanOne(Scanner, Generation, Index, Result, Encoding, Info);
        Infos_[static_cast<size_t>(Index)] = Info;
        Results_[static_cast<size_t>(Index)] = Result;
        Found_[static_cast<size_t>(Index)] = Encoding;
        State.store(Ok ? stDone : stFailed);
      }
      // The last file of the folder's runs lets End go on; the walk waits only for the file it stands at.
      Running_.fetch_sub(1);
      if (OwnerWaiting_.load()) {
        std::lock_guard<std::mutex> Wake(Lock_);
        FileDone_.notify_one();
      }
    }
    Guard.lock();
  }
}

bool TScanAhead::ScanOne(TStreamScanner& Scanner, uint64_t& Generation, int32_t Index, TScanResult& Result,
                         TScanEncoding& Encoding, TInfo& Info) {
  // The folder, its names and the settings stay as they are while a file runs (End waits for it).
  const TSettings& Settings = Settings_;
  const std::string& Name = (*Names_)[static_cast<size_t>(Index)];
  try {
    if (Generation != SettingsGeneration_) {
      Scanner.SetPattern(Settings.Pattern);
      Scanner.SetCaseSensitive(Settings.CaseSensitive);
      Scanner.SetLogic(Settings.Logic);
      Generation = SettingsGeneration_;
    }
    Scanner.WholeWords = Settings.WholeWords;
    Scanner.Fuzzy = Settings.Fuzzy;
    // The file is opened first and looked at through its descriptor: a regular file (never a FIFO or a
    // device, which the non-blocking open does not wait for) whose size, date and attributes are what the
    // walk's own look would give. A file written to during the scan (its size or date changed on the same
    // descriptor) is left to the walk, which reads it when it comes to it.
    IFileLayer& Fs = FileLayer();
    const int Fd = Fs.OpenAt(DirFd_, Name, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
    if (Fd < 0) return false;
    struct stat Before {};
    if (Fs.FStat(Fd, &Before) != 0 || !S_ISREG(Before.st_mode) || Before.st_size <= 0 ||
        Before.st_size > Settings.MaxSize) {
      Fs.Close(Fd);
      return false;
    }
    TInfo WalkInfo;
    FileInfoOfStatus(Before, Name, &WalkInfo.Size, &WalkInfo.Date, &WalkInfo.Attributes);
    struct stat After {};
    {
      // The stream owns the descriptor from here on.
      TVBufFileStream Stream(Utf8ToUtf16(Name), 32768, fmShareDenyWrite,
                             TFileAt{DirFd_, Name, Before.st_size, Fd});
      Scanner.Stream = &Stream;
      Result = Scanner.Find(Settings.Encodings, Encoding);
      Scanner.Stream = nullptr;
      if (!Stream.IsOpen() || Fs.FStat(Stream.Handle(), &After) != 0) return false;
    }
    if (After.st_size != Before.st_size || After.st_mtim.tv_sec != Before.st_mtim.tv_sec ||
        After.st_mtim.tv_nsec != Before.st_mtim.tv_nsec)
      return false;
    Info = WalkInfo;
    return Result != srCancelled;
  } catch (...) {
    Scanner.Stream = nullptr;
    return false;
  }
}
