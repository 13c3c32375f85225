#include "search/FileScanAhead.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "core/FileLayer.h"
#include "core/VFileStream.h"

TScanAhead::TScanAhead(int32_t Workers) : Window_(kFilesPerWorker * Workers) {
  for (int32_t i = 0; i < Workers; ++i) Threads_.emplace_back([this] { Work(); });
}

TScanAhead::~TScanAhead() {
  End();
  {
    std::lock_guard<std::mutex> guard(Lock_);
    Quit_ = true;
  }
  WorkReady_.notify_all();
  for (std::thread& thread : Threads_) thread.join();
}

void TScanAhead::Begin(const TSettings& Settings, int DirFd, const std::vector<std::string>& Names,
                       std::vector<uint8_t> Wanted) {
  End();
  {
    std::lock_guard<std::mutex> guard(Lock_);
    if (Settings.Pattern != Settings_.Pattern || Settings.CaseSensitive != Settings_.CaseSensitive ||
        Settings.Logic != Settings_.Logic || Settings.WholeWords != Settings_.WholeWords ||
        Settings.Fuzzy != Settings_.Fuzzy || SettingsGeneration_ == 0)
      ++SettingsGeneration_;
    Settings_ = Settings;
    DirFd_ = DirFd;
    Names_ = &Names;
    Count_ = Names.size();
    States_ = std::make_unique<std::atomic<uint8_t>[]>(Count_);
    for (size_t i = 0; i < Count_; ++i)
      States_[i].store(i < Wanted.size() && Wanted[i] ? stPending : stSkip, std::memory_order_relaxed);
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
  for (int spin = 0; spin < 2000; ++spin) {
    if (State.load(std::memory_order_acquire) != stRunning) return true;
    if (spin >= 100) std::this_thread::yield();
  }
  bool goOn = true;
  std::unique_lock<std::mutex> guard(Lock_);
  OwnerWaiting_.store(true);
  while (State.load() == stRunning) {
    if (FileDone_.wait_for(guard, std::chrono::milliseconds(kPollMs)) == std::cv_status::no_timeout) continue;
    if (!goOn || !Poll || State.load() != stRunning) continue;
    // The owner's poll may run its own events: never under the lock.
    guard.unlock();
    goOn = Poll();
    if (!goOn) Cancel_.store(true);
    guard.lock();
  }
  OwnerWaiting_.store(false);
  return goOn;
}

bool TScanAhead::Take(int32_t Index, int64_t Size, TScanResult& Result, TScanEncoding& Encoding,
                      const std::function<bool()>& Poll) {
  if (Names_ == nullptr || Index < 0 || static_cast<size_t>(Index) >= Count_) return false;
  std::atomic<uint8_t>& state = States_[static_cast<size_t>(Index)];
  uint8_t seen = state.load(std::memory_order_acquire);
  // A file no worker has started is the walk's: no worker starts it from now on.
  while (seen == stPending || seen == stSkip)
    if (state.compare_exchange_weak(seen, stTaken, std::memory_order_acq_rel)) return false;
  if (seen == stRunning) {
    const bool goOn = WaitWhileRunning(state, Poll);
    seen = state.load(std::memory_order_acquire);
    if (!goOn) {
      state.store(stTaken, std::memory_order_relaxed);
      Result = srCancelled;
      return true;
    }
  }
  const bool done = seen == stDone && Infos_[static_cast<size_t>(Index)].Size == Size;
  Result = Results_[static_cast<size_t>(Index)];
  Encoding = Found_[static_cast<size_t>(Index)];
  state.store(stTaken, std::memory_order_relaxed);
  return done;
}

bool TScanAhead::Info(int32_t Index, int64_t& Size, TDateTime& Date, uint32_t& Attributes) {
  if (Names_ == nullptr || Index < 0 || static_cast<size_t>(Index) >= Count_) return false;
  if (States_[static_cast<size_t>(Index)].load(std::memory_order_acquire) != stDone) return false;
  const TInfo& info = Infos_[static_cast<size_t>(Index)];
  Size = info.Size;
  Date = info.Date;
  Attributes = info.Attributes;
  return true;
}

void TScanAhead::Pass(int32_t Index) {
  if (Names_ == nullptr) return;
  // A file the walk did not take (a filter or the name decided) is not started any more.
  const int32_t passed = Passed_.load(std::memory_order_relaxed);
  for (int32_t i = passed; i <= Index && static_cast<size_t>(i) < Count_; ++i) {
    uint8_t pending = stPending;
    States_[static_cast<size_t>(i)].compare_exchange_strong(pending, stTaken, std::memory_order_acq_rel);
  }
  if (Index + 1 <= passed) return;
  Passed_.store(Index + 1, std::memory_order_release);
  // Idle workers are woken once half the window is free, not for every file the walk passes.
  if (Index + 1 - WokenAt_ < std::max(1, Window_ / 2)) return;
  WokenAt_ = Index + 1;
  {
    std::lock_guard<std::mutex> guard(Lock_);
    if (IdleWorkers_ == 0 || Next_ >= static_cast<int32_t>(Count_)) return;
  }
  WorkReady_.notify_all();
}

void TScanAhead::End() {
  if (Names_ == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(Lock_);
    // Nothing more starts; the running files end before the folder's descriptor may close.
    Next_ = static_cast<int32_t>(Count_);
  }
  Cancel_.store(true);
  if (Running_.load(std::memory_order_acquire) > 0) {
    for (int spin = 0; spin < 2000 && Running_.load(std::memory_order_acquire) > 0; ++spin)
      if (spin >= 100) std::this_thread::yield();
    std::unique_lock<std::mutex> guard(Lock_);
    OwnerWaiting_.store(true);
    FileDone_.wait(guard, [&] { return Running_.load() == 0; });
    OwnerWaiting_.store(false);
  }
  std::lock_guard<std::mutex> guard(Lock_);
  Names_ = nullptr;
  DirFd_ = -1;
  Count_ = 0;
  States_.reset();
}

void TScanAhead::Work() {
  TStreamScanner scanner;
  scanner.OnProgress = [this](int32_t) { return !Cancel_.load(std::memory_order_relaxed); };
  uint64_t generation = 0;
  std::unique_lock<std::mutex> guard(Lock_);
  for (;;) {
    // The next run of files within the window ahead of the walk.
    int32_t from = 0, to = 0;
    ++IdleWorkers_;
    WorkReady_.wait(guard, [&] {
      if (Quit_) return true;
      if (Names_ == nullptr) return false;
      const int32_t window = Passed_.load(std::memory_order_acquire) + Window_;
      const int32_t last = std::min(static_cast<int32_t>(Count_), window);
      while (Next_ < last && States_[static_cast<size_t>(Next_)].load(std::memory_order_relaxed) != stPending)
        ++Next_;
      if (Next_ >= last) return false;
      from = Next_;
      to = std::min(last, from + kRunFiles);
      Next_ = to;
      return true;
    });
    --IdleWorkers_;
    if (Quit_) return;
    Running_.fetch_add(to - from, std::memory_order_relaxed);
    guard.unlock();
    for (int32_t index = from; index < to; ++index) {
      std::atomic<uint8_t>& state = States_[static_cast<size_t>(index)];
      uint8_t pending = stPending;
      if (state.compare_exchange_strong(pending, stRunning, std::memory_order_acq_rel)) {
        TScanResult result = srNotFound;
        TScanEncoding encoding = seAnsi;
        TInfo info;
        const bool ok = ScanOne(scanner, generation, index, result, encoding, info);
        Infos_[static_cast<size_t>(index)] = info;
        Results_[static_cast<size_t>(index)] = result;
        Found_[static_cast<size_t>(index)] = encoding;
        state.store(ok ? stDone : stFailed);
      }
      // The last file of the folder's runs lets End go on; the walk waits only for the file it stands at.
      Running_.fetch_sub(1);
      if (OwnerWaiting_.load()) {
        std::lock_guard<std::mutex> wake(Lock_);
        FileDone_.notify_one();
      }
    }
    guard.lock();
  }
}

bool TScanAhead::ScanOne(TStreamScanner& Scanner, uint64_t& Generation, int32_t Index, TScanResult& Result,
                         TScanEncoding& Encoding, TInfo& Info) {
  // The folder, its names and the settings stay as they are while a file runs (End waits for it).
  const TSettings& settings = Settings_;
  const std::string& name = (*Names_)[static_cast<size_t>(Index)];
  try {
    if (Generation != SettingsGeneration_) {
      Scanner.SetPattern(settings.Pattern);
      Scanner.SetCaseSensitive(settings.CaseSensitive);
      Scanner.SetLogic(settings.Logic);
      Generation = SettingsGeneration_;
    }
    Scanner.WholeWords = settings.WholeWords;
    Scanner.Fuzzy = settings.Fuzzy;
    // A regular file (never a FIFO or a device), the same before and after its scan: a file written to
    // meanwhile is left to the walk, which reads it when it comes to it.
    struct stat before {};
    if (::fstatat(DirFd_, name.c_str(), &before, 0) != 0 || !S_ISREG(before.st_mode)) return false;
    if (before.st_size <= 0 || before.st_size > settings.MaxSize) return false;
    // What the walk's own look at the file would give (it may take this instead).
    TInfo info;
    if (!GetFileInfoAt(DirFd_, name, &info.Size, &info.Date, nullptr, nullptr, &info.Attributes) ||
        info.Size != before.st_size || (info.Attributes & faDirectory) != 0)
      return false;
    {
      TVBufFileStream stream(Utf8ToUtf16(name), 32768, fmShareDenyWrite,
                             TFileAt{DirFd_, name, before.st_size});
      Scanner.Stream = &stream;
      Result = Scanner.Find(settings.Encodings, Encoding);
      Scanner.Stream = nullptr;
    }
    struct stat after {};
    if (::fstatat(DirFd_, name.c_str(), &after, 0) != 0 || after.st_size != before.st_size ||
        after.st_mtim.tv_sec != before.st_mtim.tv_sec || after.st_mtim.tv_nsec != before.st_mtim.tv_nsec ||
        after.st_ino != before.st_ino)
      return false;
    Info = info;
    return Result != srCancelled;
  } catch (...) {
    Scanner.Stream = nullptr;
    return false;
  }
}
