// Child processes: caught output, exit codes, time-outs, cancel, start failures and forked work.
#include "server/ChildProcess.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "server/AsyncComm.h"

namespace {

TEST(ChildProcessTest, CatchesOutputAndExitCode) {
  TChildOptions options;
  options.CaptureStdout = true;
  const TChildResult r = RunChild({"/bin/sh", "-c", "echo out; echo err >&2; exit 7"}, options);
  EXPECT_EQ(r.End, TChildEnd::Exited);
  EXPECT_EQ(r.ExitCode, 7);
  EXPECT_EQ(r.Stdout, "out\n");
  EXPECT_EQ(r.Stderr, "err\n");
}

TEST(ChildProcessTest, OutputBeyondTheCapIsDropped) {
  TChildOptions options;
  options.CaptureStdout = true;
  options.MaxCapture = 1000;
  const TChildResult r = RunChild({"/bin/sh", "-c", "head -c 300000 /dev/zero"}, options);
  EXPECT_EQ(r.End, TChildEnd::Exited);
  EXPECT_EQ(r.Stdout.size(), 1000u);
}

TEST(ChildProcessTest, RunsInTheWorkFolder) {
  TChildOptions options;
  options.CaptureStdout = true;
  options.WorkDir = "/";
  EXPECT_EQ(RunChild({"/bin/pwd"}, options).Stdout, "/\n");
}

TEST(ChildProcessTest, AHangingChildIsEndedAtTheTimeOut) {
  TChildOptions options;
  options.TimeoutMs = 200;
  options.GraceMs = 200;
  const uint32_t start = TickCount();
  // The child ignores SIGTERM, so only SIGKILL ends it.
  const TChildResult r = RunChild({"/bin/sh", "-c", "trap '' TERM; while :; do sleep 1; done"}, options);
  EXPECT_EQ(r.End, TChildEnd::TimedOut);
  EXPECT_LT(TickCount() - start, 3000u);
}

TEST(ChildProcessTest, APollThatAnswersFalseEndsTheChild) {
  TChildOptions options;
  options.PollMs = 20;
  int polls = 0;
  options.Poll = [&polls] { return ++polls < 3; };
  const TChildResult r = RunChild({"/bin/sleep", "30"}, options);
  EXPECT_EQ(r.End, TChildEnd::Cancelled);
  EXPECT_EQ(polls, 3);
}

TEST(ChildProcessTest, StartFailuresAndSignals) {
  TChildOptions options;
  TChildResult r = RunChild({"/no/such/program"}, options);
  EXPECT_EQ(r.End, TChildEnd::StartFailed);
  EXPECT_EQ(r.Error, ENOENT);
  EXPECT_EQ(RunChild({}, options).End, TChildEnd::StartFailed);
  r = RunChild({"/bin/sh", "-c", "kill -KILL $$"}, options);
  EXPECT_EQ(r.End, TChildEnd::Signalled);
}

TEST(ChildProcessTest, ForkedWorkReportsLikeAProgram) {
  TChildOptions options;
  options.CaptureStdout = true;
  TChildResult r = RunForked(
      [] {
        ::write(1, "hello", 5);
        return 3;
      },
      options);
  EXPECT_EQ(r.End, TChildEnd::Exited);
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Stdout, "hello");
  // A forked copy that dies takes nothing with it.
  r = RunForked([] { return ::raise(SIGKILL); }, options);
  EXPECT_EQ(r.End, TChildEnd::Signalled);
  options.TimeoutMs = 100;
  options.GraceMs = 0;
  r = RunForked(
      [] {
        for (;;) ::pause();
        return 0;
      },
      options);
  EXPECT_EQ(r.End, TChildEnd::TimedOut);
}

TEST(ChildProcessTest, FindsProgramsOnThePath) {
  EXPECT_FALSE(FindOnPath("sh").empty());
  EXPECT_TRUE(FindOnPath("no-such-program-here").empty());
}

}  // namespace
