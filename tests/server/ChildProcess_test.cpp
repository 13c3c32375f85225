// Child processes: caught output, exit codes, time-outs, cancel, start failures and forked work.
#include "server/ChildProcess.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "server/AsyncComm.h"

namespace {

TEST(ChildProcessTest, CatchesOutputAndExitCode) {
  TChildOptions Options;
  Options.CaptureStdout = true;
  const TChildResult R = RunChild({"/bin/sh", "-c", "echo out; echo err >&2; exit 7"}, Options);
  EXPECT_EQ(R.End, TChildEnd::Exited);
  EXPECT_EQ(R.ExitCode, 7);
  EXPECT_EQ(R.Stdout, "out\n");
  EXPECT_EQ(R.Stderr, "err\n");
}

TEST(ChildProcessTest, OutputBeyondTheCapIsDropped) {
  TChildOptions Options;
  Options.CaptureStdout = true;
  Options.MaxCapture = 1000;
  const TChildResult R = RunChild({"/bin/sh", "-c", "head -c 300000 /dev/zero"}, Options);
  EXPECT_EQ(R.End, TChildEnd::Exited);
  EXPECT_EQ(R.Stdout.size(), 1000u);
}

TEST(ChildProcessTest, RunsInTheWorkFolder) {
  TChildOptions Options;
  Options.CaptureStdout = true;
  Options.WorkDir = "/";
  EXPECT_EQ(RunChild({"/bin/pwd"}, Options).Stdout, "/\n");
}

TEST(ChildProcessTest, AHangingChildIsEndedAtTheTimeOut) {
  TChildOptions Options;
  Options.TimeoutMs = 200;
  Options.GraceMs = 200;
  const uint32_t Start = TickCount();
  // The child ignores SIGTERM, so only SIGKILL ends it.
  const TChildResult R = RunChild({"/bin/sh", "-c", "trap '' TERM; while :; do sleep 1; done"}, Options);
  EXPECT_EQ(R.End, TChildEnd::TimedOut);
  EXPECT_LT(TickCount() - Start, 3000u);
}

TEST(ChildProcessTest, APollThatAnswersFalseEndsTheChild) {
  TChildOptions Options;
  Options.PollMs = 20;
  int Polls = 0;
  Options.Poll = [&Polls] { return ++Polls < 3; };
  const TChildResult R = RunChild({"/bin/sleep", "30"}, Options);
  EXPECT_EQ(R.End, TChildEnd::Cancelled);
  EXPECT_EQ(Polls, 3);
}

TEST(ChildProcessTest, StartFailuresAndSignals) {
  TChildOptions Options;
  TChildResult R = RunChild({"/no/such/program"}, Options);
  EXPECT_EQ(R.End, TChildEnd::StartFailed);
  EXPECT_EQ(R.Error, ENOENT);
  EXPECT_EQ(RunChild({}, Options).End, TChildEnd::StartFailed);
  R = RunChild({"/bin/sh", "-c", "kill -KILL $$"}, Options);
  EXPECT_EQ(R.End, TChildEnd::Signalled);
}

TEST(ChildProcessTest, ForkedWorkReportsLikeAProgram) {
  TChildOptions Options;
  Options.CaptureStdout = true;
  TChildResult R = RunForked(
      [] {
        ::write(1, "hello", 5);
        return 3;
      },
      Options);
  EXPECT_EQ(R.End, TChildEnd::Exited);
  EXPECT_EQ(R.ExitCode, 3);
  EXPECT_EQ(R.Stdout, "hello");
  // A forked copy that dies takes nothing with it.
  R = RunForked([] { return ::raise(SIGKILL); }, Options);
  EXPECT_EQ(R.End, TChildEnd::Signalled);
  Options.TimeoutMs = 100;
  Options.GraceMs = 0;
  R = RunForked(
      [] {
        for (;;) ::pause();
        return 0;
      },
      Options);
  EXPECT_EQ(R.End, TChildEnd::TimedOut);
}

// A forked copy ends with the process that supervises it: a server ended by its caller leaves no copy
// running on its own. A keeper process adopts the orphan (as a subreaper) and sees how it ended.
TEST(ChildProcessTest, AForkedCopyEndsWithItsSupervisor) {
  const pid_t Keeper = ::fork();
  if (Keeper == 0) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    int Pipe[2];
    if (::pipe(Pipe) != 0) ::_exit(2);
    const pid_t Server = ::fork();
    if (Server == 0) {
      ::close(Pipe[0]);
      const int Report = Pipe[1];
      RunForked(
          [Report] {
            const pid_t Self = ::getpid();
            (void)!::write(Report, &Self, sizeof Self);
            for (;;) ::pause();
            return 0;
          },
          TChildOptions());
      ::_exit(3);
    }
    ::close(Pipe[1]);
    pid_t Copy = 0;
    if (::read(Pipe[0], &Copy, sizeof Copy) != static_cast<ssize_t>(sizeof Copy)) ::_exit(4);
    ::kill(Server, SIGKILL);
    ::waitpid(Server, nullptr, 0);
    // A guard against a copy that lives on, not a measure: 20 s.
    int Status = 0;
    for (int Waited = 0; ::waitpid(Copy, &Status, WNOHANG) != Copy; ++Waited) {
      if (Waited == 2000) {
        ::kill(Copy, SIGKILL);
        ::_exit(5);
      }
      ::usleep(10000);
    }
    ::_exit(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGKILL ? 0 : 6);
  }
  int Status = 0;
  ASSERT_EQ(::waitpid(Keeper, &Status, 0), Keeper);
  EXPECT_TRUE(WIFEXITED(Status)) << Status;
  EXPECT_EQ(WEXITSTATUS(Status), 0) << "5: the copy lived on after its supervisor; else a set-up failure";
}

TEST(ChildProcessTest, FindsProgramsOnThePath) {
  EXPECT_FALSE(FindOnPath("sh").empty());
  EXPECT_TRUE(FindOnPath("no-such-program-here").empty());
}

}  // namespace
