// The ending of a process on SIGINT, SIGTERM and SIGHUP, each case in a child process of its own: the
// program's stop request and its own end, the signal thread's end of a program that does not end, the
// library's ending that waits for temporary work, the signals of a child made by fork, and a program's own
// handler left alone.
#include "core/EndingSignals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

namespace {

// How long a child may take before it counts as hung (and is killed): a guard, not a measure.
constexpr int kHangGuardMs = 20000;

// Where a child reports; the clean-ups write 'c' there.
int ReportFd = -1;

void Say(char C) { (void)!::write(ReportFd, &C, 1); }
void CleanupSays() { Say('c'); }

// What the child wrote until it closed its end (or the guard ended).
std::string ReadAll(int Fd) {
  std::string Out;
  const auto Guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
  for (;;) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Guard - std::chrono::steady_clock::now())
            .count();
    pollfd P{Fd, POLLIN, 0};
    if (Left <= 0 || ::poll(&P, 1, static_cast<int>(Left)) <= 0) break;
    char C = 0;
    if (::read(Fd, &C, 1) != 1) break;
    Out += C;
  }
  return Out;
}

// Reads one byte; 0 when none came within the guard.
char ReadOne(int Fd) {
  pollfd P{Fd, POLLIN, 0};
  char C = 0;
  if (::poll(&P, 1, kHangGuardMs) <= 0 || ::read(Fd, &C, 1) != 1) return 0;
  return C;
}

// The child's status; a child still running at the guard's end is killed and reported as -1.
int WaitEnd(pid_t Child) {
  const auto Guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
  int Status = 0;
  while (::waitpid(Child, &Status, WNOHANG) != Child) {
    if (std::chrono::steady_clock::now() > Guard) {
      ::kill(Child, SIGKILL);
      ::waitpid(Child, &Status, 0);
      return -1;
    }
    ::usleep(1000);
  }
  return Status;
}

bool EndedBy(int Status, int Signal) {
  return Status != -1 && WIFSIGNALED(Status) && WTERMSIG(Status) == Signal;
}

// Forks a child that runs Body with ReportFd set to a pipe; the parent's end of the pipe in Read.
template <class TBody>
pid_t Fork(int& Read, TBody&& Body) {
  int Pipe[2];
  EXPECT_EQ(::pipe(Pipe), 0);
  const pid_t Child = ::fork();
  if (Child == 0) {
    ::close(Pipe[0]);
    ReportFd = Pipe[1];
    Body();
    ::_exit(99);
  }
  ::close(Pipe[1]);
  Read = Pipe[0];
  return Child;
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A program that blocked the signals: the signal thread runs its stop request, the program sees the
// ending, winds up, and the end of its main runs the clean-ups and ends the process with the signal.
TEST(EndingSignals, ProgramStopsAndEndsWithTheSignal) {
  for (const int Signal : kSignals) {
    int Read = -1;
    const pid_t Child = Fork(Read, [] {
      BlockEndingSignals();
      StartEndingSignals([](int Got) { Say(Got == EndingSignal() ? 'h' : '?'); });
      AddEndingCleanup(CleanupSays);
      Say('r');
      while (!EndingRequested()) ::usleep(200);
      Say('m');
      EndProcessIfSignalled();
    });
    ASSERT_EQ(ReadOne(Read), 'r');
    ::kill(Child, Signal);
    EXPECT_EQ(ReadAll(Read), "hmc") << Signal;
    ::close(Read);
    EXPECT_TRUE(EndedBy(WaitEnd(Child), Signal)) << Signal;
  }
}

// A program that does not end after the stop request is ended by the signal thread, with the clean-ups:
// at once on a second signal, else after the grace.
TEST(EndingSignals, ProgramThatDoesNotEndIsEnded) {
  struct TCase {
    int Signal;
    bool Twice;
  };
  for (const TCase C :
       {TCase{SIGINT, true}, TCase{SIGTERM, true}, TCase{SIGHUP, true}, TCase{SIGTERM, false}}) {
    int Read = -1;
    const pid_t Child = Fork(Read, [] {
      BlockEndingSignals();
      StartEndingSignals([](int) { Say('h'); });
      AddEndingCleanup(CleanupSays);
      Say('r');
      for (;;) ::pause();
    });
    ASSERT_EQ(ReadOne(Read), 'r');
    ::kill(Child, C.Signal);
    EXPECT_EQ(ReadOne(Read), 'h');
    if (C.Twice) ::kill(Child, C.Signal);
    EXPECT_EQ(ReadAll(Read), "c") << C.Signal;
    ::close(Read);
    EXPECT_TRUE(EndedBy(WaitEnd(Child), C.Signal)) << C.Signal << (C.Twice ? " twice" : " once");
  }
}

// A program that starts up slowly holds the grace: a signal that comes then runs the stop request, but the
// process is not ended while the grace is held (longer than the grace), only after the release and the
// grace, with the clean-ups; a second signal while held ends it at once.
TEST(EndingSignals, HeldGraceRunsOnlyFromItsRelease) {
  for (const bool Twice : {false, true}) {
    int Read = -1;
    const pid_t Child = Fork(Read, [] {
      BlockEndingSignals();
      HoldEndingGrace(true);
      StartEndingSignals([](int) { Say('h'); });
      AddEndingCleanup(CleanupSays);
      Say('r');
      while (!EndingRequested()) ::usleep(200);
      std::this_thread::sleep_for(std::chrono::milliseconds(kEndingGraceMs + 1000));
      Say('a');
      HoldEndingGrace(false);
      for (;;) ::pause();
    });
    ASSERT_EQ(ReadOne(Read), 'r');
    ::kill(Child, SIGTERM);
    EXPECT_EQ(ReadOne(Read), 'h');
    if (Twice) ::kill(Child, SIGTERM);
    EXPECT_EQ(ReadAll(Read), Twice ? "c" : "ac") << (Twice ? "twice" : "once");
    ::close(Read);
    EXPECT_TRUE(EndedBy(WaitEnd(Child), SIGTERM)) << (Twice ? "twice" : "once");
  }
}

// A process whose program took no part (a library watches): the ending lets the temporary work under way
// finish, starts none, then runs the clean-ups and ends the process with the signal.
TEST(EndingSignals, LibraryEndingWaitsForTemporaryWork) {
  for (const int Signal : kSignals) {
    int Go[2];
    ASSERT_EQ(::pipe(Go), 0);
    int Read = -1;
    const pid_t Child = Fork(Read, [&Go] {
      WatchEndingSignals();
      AddEndingCleanup(CleanupSays);
      std::thread Worker([&Go] {
        const TTempWork Work;
        Say(Work.Entered() ? 'w' : '?');
        char C = 0;
        (void)!::read(Go[0], &C, 1);
        while (!EndingRequested()) ::usleep(200);
        const TTempWork Late;
        Say(Late.Entered() ? 'L' : 'l');
        Say('d');
      });
      Worker.detach();
      for (;;) ::pause();
    });
    ::close(Go[0]);
    ASSERT_EQ(ReadOne(Read), 'w');
    ::kill(Child, Signal);
    (void)!::write(Go[1], "g", 1);
    EXPECT_EQ(ReadAll(Read), "ldc") << Signal;
    ::close(Read);
    ::close(Go[1]);
    EXPECT_TRUE(EndedBy(WaitEnd(Child), Signal)) << Signal;
  }
}

// A child made by fork gets the signals back as the process had them before: none blocked, the default
// actions, and a signal ends it at once.
TEST(EndingSignals, ForkedChildGetsTheSignalsBack) {
  struct TCase {
    const char* Name;
    bool Program;  // the program blocked them; otherwise a library installed its handler
  };
  for (const TCase C : {TCase{"program", true}, TCase{"library", false}}) {
    int Read = -1;
    const pid_t Child = Fork(Read, [&C] {
      if (C.Program) {
        BlockEndingSignals();
        StartEndingSignals(nullptr);
      } else {
        WatchEndingSignals();
      }
      int Answer[2];
      if (::pipe(Answer) != 0) ::_exit(98);
      const pid_t Grandchild = ::fork();
      if (Grandchild == 0) {
        sigset_t Mask;
        ::sigprocmask(SIG_BLOCK, nullptr, &Mask);
        bool Default = true;
        for (const int Signal : kSignals) {
          struct sigaction Action {};
          ::sigaction(Signal, nullptr, &Action);
          Default = Default && !sigismember(&Mask, Signal) && Action.sa_handler == SIG_DFL;
        }
        const char Said = Default ? 'k' : 'x';
        (void)!::write(Answer[1], &Said, 1);
        for (;;) ::pause();
      }
      Say(ReadOne(Answer[0]));
      int Status = 0;
      ::kill(Grandchild, SIGTERM);
      ::waitpid(Grandchild, &Status, 0);
      Say(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM ? 't' : 'n');
      ::_exit(0);
    });
    const std::string Said = ReadAll(Read);
    ::close(Read);
    EXPECT_EQ(WaitEnd(Child), 0) << C.Name;
    EXPECT_EQ(Said, "kt") << C.Name;
  }
}

// A program's own handler of a signal is left alone.
TEST(EndingSignals, ProgramsOwnHandlerStays) {
  int Read = -1;
  const pid_t Child = Fork(Read, [] {
    static volatile sig_atomic_t Got = 0;
    struct sigaction Own {};
    Own.sa_handler = [](int) { Got = 1; };
    sigemptyset(&Own.sa_mask);
    ::sigaction(SIGTERM, &Own, nullptr);
    WatchEndingSignals();
    sigset_t Term, Before;
    sigemptyset(&Term);
    sigaddset(&Term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &Term, &Before);
    Say('r');
    while (!Got) ::sigsuspend(&Before);
    Say(EndingRequested() ? '?' : 'o');
    ::_exit(7);
  });
  ASSERT_EQ(ReadOne(Read), 'r');
  ::kill(Child, SIGTERM);
  EXPECT_EQ(ReadAll(Read), "o");
  ::close(Read);
  const int Status = WaitEnd(Child);
  EXPECT_TRUE(Status != -1 && WIFEXITED(Status) && WEXITSTATUS(Status) == 7) << Status;
}

}  // namespace
