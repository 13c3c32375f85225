#include "search/FileScanAhead.h"

#include <sys/stat.h>

#include <algorithm>

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
    States_.assign(Names.size(), stSkip);
    for (size_t i = 0; i < Names.size() && i < Wanted.size(); ++i)
      if (Wanted[i]) States_[i] = stPending;
    Results_.assign(Names.size(), srNotFound);
    Found_.assign(Names.size(), seAnsi);
    Sizes_.assign(Names.size(), -1);
    Next_ = 0;
    Passed_ = 0;
  }
  WorkReady_.notify_all();
}

bool TScanAhead::Take(int32_t Index, int64_t Size, TScanResult& Result, TScanEncoding& Encoding) {
  std::unique_lock<std::mutex> guard(Lock_);
  if (Names_ == nullptr || Index < 0 || static_cast<size_t>(Index) >= States_.size()) return false;
  TState& state = States_[static_cast<size_t>(Index)];
  if (state == stPending || state == stSkip) {
    state = stTaken;
    return false;
  }
  if (state == stRunning) {
    OwnerWaiting_ = true;
    FileDone_.wait(guard, [&] { return state != stRunning; });
    OwnerWaiting_ = false;
  }
  const bool done = state == stDone && Sizes_[static_cast<size_t>(Index)] == Size;
  state = stTaken;
  Result = Results_[static_cast<size_t>(Index)];
  Encoding = Found_[static_cast<size_t>(Index)];
  return done;
}

void TScanAhead::Pass(int32_t Index) {
  {
    std::lock_guard<std::mutex> guard(Lock_);
    if (Names_ == nullptr) return;
    // A file the walk did not take (a filter or the name decided) is not started any more.
    for (int32_t i = Passed_; i <= Index && static_cast<size_t>(i) < States_.size(); ++i)
      if (States_[static_cast<size_t>(i)] == stPending) States_[static_cast<size_t>(i)] = stTaken;
    Passed_ = std::max(Passed_, Index + 1);
    // Idle workers are woken once half the window is free, not for every file the walk passes: for
    // small files the wake-ups would cost more than the scans.
    if (IdleWorkers_ == 0 || Next_ - Passed_ > Window_ / 2) return;
  }
  WorkReady_.notify_all();
}

void TScanAhead::End() {
  std::unique_lock<std::mutex> guard(Lock_);
  if (Names_ == nullptr) return;
  // Nothing more starts; the running files end before the folder's descriptor may close.
  Next_ = static_cast<int32_t>(States_.size());
  if (Running_ > 0) {
    OwnerWaiting_ = true;
    FileDone_.wait(guard, [&] { return Running_ == 0; });
    OwnerWaiting_ = false;
  }
  Names_ = nullptr;
  DirFd_ = -1;
  States_.clear();
}

void TScanAhead::Work() {
  TStreamScanner scanner;
  uint64_t generation = 0;
  std::unique_lock<std::mutex> guard(Lock_);
  for (;;) {
    // The next wanted file within the window ahead of the walk.
    int32_t index = -1;
    ++IdleWorkers_;
    WorkReady_.wait(guard, [&] {
      if (Quit_) return true;
      if (Names_ == nullptr) return false;
      const int32_t window = Passed_ + Window_;
      while (Next_ < static_cast<int32_t>(States_.size()) && Next_ < window) {
        if (States_[static_cast<size_t>(Next_)] == stPending) {
          index = Next_++;
          return true;
        }
        ++Next_;
      }
      return false;
    });
    --IdleWorkers_;
    if (Quit_) return;
    States_[static_cast<size_t>(index)] = stRunning;
    ++Running_;
    guard.unlock();
    TScanResult result = srNotFound;
    TScanEncoding encoding = seAnsi;
    int64_t size = -1;
    const bool ok = ScanOne(scanner, generation, index, result, encoding, size);
    guard.lock();
    States_[static_cast<size_t>(index)] = ok ? stDone : stFailed;
    Sizes_[static_cast<size_t>(index)] = size;
    Results_[static_cast<size_t>(index)] = result;
    Found_[static_cast<size_t>(index)] = encoding;
    --Running_;
    // Only the walk waits for files, and only for the one it stands at (or for all at the folder's end).
    if (OwnerWaiting_) FileDone_.notify_one();
  }
}

bool TScanAhead::ScanOne(TStreamScanner& Scanner, uint64_t& Generation, int32_t Index, TScanResult& Result,
                         TScanEncoding& Encoding, int64_t& Size) {
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
    Size = before.st_size;
    return Result != srCancelled;
  } catch (...) {
    Scanner.Stream = nullptr;
    return false;
  }
}
