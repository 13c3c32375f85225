#include "core/EndingSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = 3;
constexpr int kMaxCleanups = 8;
// How often a signal thread that waits for temporary work looks again.
constexpr int kTempWorkPollMs = 10;

sigset_t EndingSet() {
  sigset_t Set;
  sigemptyset(&Set);
  for (const int Signal : kEndingSignals) sigaddset(&Set, Signal);
  return Set;
}

// The state is made of plain values and objects that are never destroyed, so that a signal during the
// process's exit (static destructors) still finds it whole.
std::mutex& Lock() {
  static std::mutex* const Guard = new std::mutex;
  return *Guard;
}

std::function<void(int)>& Hook() {
  static auto* const OnEnding = new std::function<void(int)>;
  return *OnEnding;
}

// Guarded by Lock().
pid_t HookPid = 0;      // the process whose program ends it (a child made by fork is not that)
bool MainDone = false;  // EndProcessIfSignalled ran: the hook is no longer called
void (*Cleanups[kMaxCleanups])() = {};
int CleanupCount = 0;
pid_t WatchedPid = 0;  // the process whose signal thread runs
bool ForkHandlerSet = false;

// The mask the process had before BlockEndingSignals, for children.
sigset_t OriginalMask;
std::atomic<bool> MaskSaved{false};

// Which signals have the pipe handler; the pipe it writes to; the signal thread's descriptors.
volatile sig_atomic_t HandlerInstalled[kSignalCount] = {};
volatile sig_atomic_t PipeWrite = -1;
volatile sig_atomic_t ThreadPid = 0;  // WatchedPid, for the handler
int PipeRead = -1;
int SignalFd = -1;

std::atomic<int> Ending{0};
std::atomic<bool> GraceHeld{false};
std::atomic<int> TempWorkCount{0};
std::atomic<bool> Claimed{false};

// The action of a signal that comes while a thread does not block it: one byte, the signal's number, to
// the signal thread. In a child made by fork before its handlers were reset, the default action instead.
void OnEndingSignal(int Signal) {
  const int SavedErrno = errno;
  if (::getpid() != ThreadPid) {
    struct sigaction Default {};
    Default.sa_handler = SIG_DFL;
    sigemptyset(&Default.sa_mask);
    ::sigaction(Signal, &Default, nullptr);
    ::raise(Signal);
  } else {
    const unsigned char Byte = static_cast<unsigned char>(Signal);
    [[maybe_unused]] const ssize_t Written = ::write(PipeWrite, &Byte, 1);
  }
  errno = SavedErrno;
}

// A signal's number from the signal thread's descriptors; 0 when none came within TimeoutMs (-1: no
// limit).
int WaitForSignal(int TimeoutMs) {
  pollfd Fds[2] = {{SignalFd, POLLIN, 0}, {PipeRead, POLLIN, 0}};
  const int Ready = ::poll(Fds, 2, TimeoutMs);
  if (Ready <= 0) return 0;
  if (Fds[0].revents & POLLIN) {
    signalfd_siginfo Info{};
    if (::read(SignalFd, &Info, sizeof Info) == static_cast<ssize_t>(sizeof Info))
      return static_cast<int>(Info.ssi_signo);
  }
  if (Fds[1].revents & POLLIN) {
    unsigned char Byte = 0;
    if (::read(PipeRead, &Byte, 1) == 1) return Byte;
  }
  return 0;
}

// Ends the process with Signal: the default action, then the signal delivered to this thread.
[[noreturn]] void DieBy(int Signal) {
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  ::sigaction(Signal, &Default, nullptr);
  ::raise(Signal);
  sigset_t One;
  sigemptyset(&One);
  sigaddset(&One, Signal);
  ::pthread_sigmask(SIG_UNBLOCK, &One, nullptr);
  ::_exit(128 + Signal);  // not reached: the signal's default action ends the process
}

// The one ending of the process: the first caller runs the clean-ups and ends it; a later one waits for
// that.
[[noreturn]] void EndWith(int Signal) {
  if (Claimed.exchange(true)) {
    for (;;) ::pause();
  }
  void (*Run[kMaxCleanups])() = {};
  int Count = 0;
  {
    std::lock_guard<std::mutex> Guard(Lock());
    Count = CleanupCount;
    for (int I = 0; I < Count; ++I) Run[I] = Cleanups[I];
  }
  for (int I = 0; I < Count; ++I) Run[I]();
  DieBy(Signal);
}

// Milliseconds left until Deadline; 0 when it passed.
int MsUntil(std::chrono::steady_clock::time_point Deadline) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
  return Left.count() > 0 ? static_cast<int>(Left.count()) : 0;
}

void SignalThread() {
  int Signal = 0;
  while (Signal == 0) Signal = WaitForSignal(-1);
  Ending.store(Signal);
  bool ProgramEnds = false;
  {
    std::lock_guard<std::mutex> Guard(Lock());
    ProgramEnds = HookPid == ::getpid() && !MainDone;
    if (ProgramEnds && Hook()) {
      try {
        Hook()(Signal);
      } catch (...) {
        // The program is ended by this thread after the grace all the same.
      }
    }
  }
  if (ProgramEnds) {
    // The program winds its work up and ends the process; the grace runs once it can act on the request
    // (not while it starts up), and a second signal does not wait for it.
    bool Again = false;
    while (!Again && GraceHeld.load()) Again = WaitForSignal(kTempWorkPollMs) != 0;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndingGraceMs);
    for (int Left = MsUntil(Deadline); !Again && Left > 0; Left = MsUntil(Deadline))
      Again = WaitForSignal(Left) != 0;
  } else {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndingGraceMs);
    // No program ends it: the work that writes temporary files is let finish (none starts any more).
    while (TempWorkCount.load() > 0 && MsUntil(Deadline) > 0)
      if (WaitForSignal(kTempWorkPollMs) != 0) break;
  }
  EndWith(Signal);
}

void ResetInChild() {
  for (int I = 0; I < kSignalCount; ++I) {
    if (!HandlerInstalled[I]) continue;
    struct sigaction Default {};
    Default.sa_handler = SIG_DFL;
    sigemptyset(&Default.sa_mask);
    ::sigaction(kEndingSignals[I], &Default, nullptr);
    HandlerInstalled[I] = 0;
  }
  if (MaskSaved.load()) ::sigprocmask(SIG_SETMASK, &OriginalMask, nullptr);
}

void PrepareFork() { Lock().lock(); }
void ParentAfterFork() { Lock().unlock(); }

// The child of fork: the process's signals as they were, and an ending state of its own (its signal
// thread, if it wants one, is started anew; the parent's hook is not its own).
void ChildAfterFork() {
  Lock().unlock();
  ResetInChild();
  const int Fds[] = {PipeRead, static_cast<int>(PipeWrite), SignalFd};
  for (const int Fd : Fds)
    if (Fd >= 0) ::close(Fd);
  PipeRead = SignalFd = -1;
  PipeWrite = -1;
  WatchedPid = 0;
  ThreadPid = 0;
  Ending.store(0);
  TempWorkCount.store(0);
  Claimed.store(false);
}

// Lock() held.
void SetForkHandler() {
  if (ForkHandlerSet) return;
  ForkHandlerSet = true;
  ::pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);
}

// Lock() held. Starts this process's signal thread unless it runs; installs the pipe handler on the
// signals that have their default action.
void Watch() {
  SetForkHandler();
  if (WatchedPid == ::getpid()) return;
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  PipeRead = Pipe[0];
  PipeWrite = Pipe[1];
  WatchedPid = ::getpid();
  ThreadPid = WatchedPid;
  // The signals that are this process's to end: those with the default action get the pipe handler, and
  // the signal thread reads those that every thread blocks. A signal the program handles itself stays out
  // of both (the signal thread would otherwise take it from the program's handler).
  sigset_t Ours;
  sigemptyset(&Ours);
  for (int I = 0; I < kSignalCount; ++I) {
    struct sigaction Current {};
    if (::sigaction(kEndingSignals[I], nullptr, &Current) != 0 || (Current.sa_flags & SA_SIGINFO) != 0 ||
        Current.sa_handler != SIG_DFL)
      continue;
    struct sigaction Action {};
    Action.sa_handler = OnEndingSignal;
    sigfillset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    if (::sigaction(kEndingSignals[I], &Action, nullptr) != 0) continue;
    HandlerInstalled[I] = 1;
    sigaddset(&Ours, kEndingSignals[I]);
  }
  SignalFd = ::signalfd(-1, &Ours, SFD_CLOEXEC | SFD_NONBLOCK);  // without it, the pipe alone
  const sigset_t Set = EndingSet();
  // The thread is made with the signals blocked, so that only its descriptors take them there.
  sigset_t Before;
  ::pthread_sigmask(SIG_BLOCK, &Set, &Before);
  std::thread(SignalThread).detach();
  ::pthread_sigmask(SIG_SETMASK, &Before, nullptr);
}

}  // namespace

void BlockEndingSignals() {
  const sigset_t Set = EndingSet();
  sigset_t Before;
  ::pthread_sigmask(SIG_BLOCK, &Set, &Before);
  std::lock_guard<std::mutex> Guard(Lock());
  SetForkHandler();
  if (!MaskSaved.load()) {
    OriginalMask = Before;
    MaskSaved.store(true);
  }
}

void StartEndingSignals(std::function<void(int Signal)> OnEnding) {
  BlockEndingSignals();
  std::lock_guard<std::mutex> Guard(Lock());
  Hook() = std::move(OnEnding);
  HookPid = ::getpid();
  MainDone = false;
  Watch();
}

void WatchEndingSignals() {
  std::lock_guard<std::mutex> Guard(Lock());
  Watch();
}

void HoldEndingGrace(bool Held) { GraceHeld.store(Held); }

bool EndingRequested() { return Ending.load(std::memory_order_relaxed) != 0; }

int EndingSignal() { return Ending.load(); }

void AddEndingCleanup(void (*Cleanup)()) {
  std::lock_guard<std::mutex> Guard(Lock());
  for (int I = 0; I < CleanupCount; ++I)
    if (Cleanups[I] == Cleanup) return;
  if (CleanupCount < kMaxCleanups) Cleanups[CleanupCount++] = Cleanup;
}

void EndProcessIfSignalled() {
  {
    std::lock_guard<std::mutex> Guard(Lock());
    MainDone = true;
    Hook() = nullptr;
  }
  const int Signal = Ending.load();
  if (Signal != 0) EndWith(Signal);
}

TTempWork::TTempWork() { Resume(); }

TTempWork::~TTempWork() { Pause(); }

void TTempWork::Pause() {
  if (Entered_) TempWorkCount.fetch_sub(1);
  Entered_ = false;
}

bool TTempWork::Resume() {
  if (Entered_) return true;
  // Counted first, then the ending looked at; the signal thread marks the ending first, then counts: one
  // of the two sees the other.
  TempWorkCount.fetch_add(1);
  if (Ending.load() != 0) {
    TempWorkCount.fetch_sub(1);
    return false;
  }
  Entered_ = true;
  return true;
}

void RestoreSignalsInChild() { ResetInChild(); }
