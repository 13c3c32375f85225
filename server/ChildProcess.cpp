#include "server/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/AsyncComm.h"

extern char** environ;

namespace {

// Closes its descriptors on every path.
struct TFds {
  int Out[2] = {-1, -1};
  int Err[2] = {-1, -1};
  int Pid = -1;
  ~TFds() {
    for (int Fd : {Out[0], Out[1], Err[0], Err[1], Pid})
      if (Fd >= 0) ::close(Fd);
  }
};

void CloseFd(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

// Reads what is there without blocking; false at the end of the pipe.
bool Drain(int& Fd, std::string& Into, size_t Max) {
  char Buf[65536];
  for (;;) {
    const ssize_t N = ::read(Fd, Buf, sizeof Buf);
    if (N > 0) {
      const size_t Room = Into.size() < Max ? Max - Into.size() : 0;
      Into.append(Buf, std::min(Room, static_cast<size_t>(N)));
      continue;
    }
    if (N < 0 && (errno == EINTR)) continue;
    if (N < 0 && errno == EAGAIN) return true;
    CloseFd(Fd);
    return false;
  }
}

// Sends SIGTERM, waits up to GraceMs for the end, then SIGKILL; reaps the child.
void EndChild(pid_t Pid, int PidFd, int32_t GraceMs) {
  ::kill(Pid, SIGTERM);
  pollfd P{PidFd, POLLIN, 0};
  if (PidFd < 0 || ::poll(&P, 1, GraceMs) <= 0) ::kill(Pid, SIGKILL);
  int Status;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

namespace {

// Makes the pipes the options ask for; false (errno set) on failure.
bool MakePipes(TFds& Fds, const TChildOptions& Options) {
  return (!Options.CaptureStdout || ::pipe2(Fds.Out, O_CLOEXEC) == 0) &&
         (!Options.CaptureStderr || ::pipe2(Fds.Err, O_CLOEXEC) == 0);
}

// Reads the child's output until it ends, the time-out passes or the poll cancels; reaps it.
TChildResult Supervise(pid_t Pid, TFds& Fds, const TChildOptions& Options) {
  TChildResult Result;
  CloseFd(Fds.Out[1]);
  CloseFd(Fds.Err[1]);
  for (int Fd : {Fds.Out[0], Fds.Err[0]})
    if (Fd >= 0) ::fcntl(Fd, F_SETFL, O_NONBLOCK);
  Fds.Pid = static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));

  const uint32_t Start = TickCount();
  uint32_t LastPoll = Start - static_cast<uint32_t>(Options.PollMs);  // the first poll comes at once
  for (;;) {
    if (Options.Poll && TickCount() - LastPoll >= static_cast<uint32_t>(Options.PollMs)) {
      LastPoll = TickCount();
      if (!Options.Poll()) {
        EndChild(Pid, Fds.Pid, Options.GraceMs);
        Result.End = TChildEnd::Cancelled;
        return Result;
      }
    }
    pollfd P[3];
    nfds_t N = 0;
    if (Fds.Out[0] >= 0) P[N++] = {Fds.Out[0], POLLIN, 0};
    if (Fds.Err[0] >= 0) P[N++] = {Fds.Err[0], POLLIN, 0};
    if (Fds.Pid >= 0) P[N++] = {Fds.Pid, POLLIN, 0};
    const int Ready = ::poll(P, N, Options.PollMs > 0 ? Options.PollMs : 100);
    if (Ready < 0 && errno != EINTR) break;
    if (Fds.Out[0] >= 0) Drain(Fds.Out[0], Result.Stdout, Options.MaxCapture);
    if (Fds.Err[0] >= 0) Drain(Fds.Err[0], Result.Stderr, Options.MaxCapture);
    int Status = 0;
    const pid_t Done = ::waitpid(Pid, &Status, WNOHANG);
    if (Done == Pid) {
      // The child is gone; take what its pipes still hold (a grandchild may keep them open: no waiting).
      if (Fds.Out[0] >= 0) Drain(Fds.Out[0], Result.Stdout, Options.MaxCapture);
      if (Fds.Err[0] >= 0) Drain(Fds.Err[0], Result.Stderr, Options.MaxCapture);
      if (WIFEXITED(Status)) {
        Result.End = TChildEnd::Exited;
        Result.ExitCode = WEXITSTATUS(Status);
      } else {
        Result.End = TChildEnd::Signalled;
      }
      return Result;
    }
    const uint32_t Now = TickCount();
    if (Options.TimeoutMs >= 0 && Now - Start >= static_cast<uint32_t>(Options.TimeoutMs)) {
      EndChild(Pid, Fds.Pid, Options.GraceMs);
      Result.End = TChildEnd::TimedOut;
      return Result;
    }
  }
  EndChild(Pid, Fds.Pid, Options.GraceMs);
  Result.End = TChildEnd::Signalled;
  return Result;
}

// Points the child's descriptor Target at the pipe end, or at /dev/null.
void Redirect(int PipeEnd, int Target, int NullFlags) {
  const int Fd = PipeEnd >= 0 ? PipeEnd : ::open("/dev/null", NullFlags);
  if (Fd >= 0 && Fd != Target) ::dup2(Fd, Target);
}

}  // namespace

std::string FindProgram(const std::string& Program) {
  const std::string Exe = ModuleFileName(nullptr);
  const size_t Slash = Exe.rfind('/');
  if (Slash != std::string::npos && FileExists(Exe.substr(0, Slash + 1) + Program))
    return Exe.substr(0, Slash + 1) + Program;
  return FindOnPath(Program);
}

std::string AbsoluteFileName(const std::string& Name) {
  if (!Name.empty() && Name[0] == '/') return Name;
  return Utf16ToUtf8(WideExpandFileName(Utf8ToUtf16(Name)));
}

bool ChildEndedByItself(const TChildResult& Run, const std::string& Name, int32_t TimeoutMs) {
  switch (Run.End) {
    case TChildEnd::StartFailed:
      SetLastErrorText("Can't start " + Name + ": " + std::string(std::strerror(Run.Error)));
      return false;
    case TChildEnd::Cancelled:
      SetLastErrorText(kUserCanceled);
      return false;
    case TChildEnd::TimedOut:
      SetLastErrorText(Name + " did not finish in " + std::to_string(TimeoutMs / 1000) + " s and was ended");
      return false;
    case TChildEnd::Exited:
    case TChildEnd::Signalled:
      break;
  }
  return true;
}

TChildResult RunChild(const std::vector<std::string>& Argv, const TChildOptions& Options) {
  TChildResult Result;
  if (Argv.empty()) {
    Result.Error = EINVAL;
    return Result;
  }
  TFds Fds;
  if (!MakePipes(Fds, Options)) {
    Result.Error = errno;
    return Result;
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  if (Options.CaptureStdout)
    posix_spawn_file_actions_adddup2(&Actions, Fds.Out[1], 1);
  else
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
  if (Options.CaptureStderr)
    posix_spawn_file_actions_adddup2(&Actions, Fds.Err[1], 2);
  else
    posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
  if (!Options.WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&Actions, Options.WorkDir.c_str());
  posix_spawnattr_t Attr;
  posix_spawnattr_init(&Attr);
  // The child starts with default signal handling, whatever the server has blocked or ignored.
  sigset_t None, All;
  sigemptyset(&None);
  sigfillset(&All);
  posix_spawnattr_setsigmask(&Attr, &None);
  posix_spawnattr_setsigdefault(&Attr, &All);
  posix_spawnattr_setflags(&Attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> ArgPtrs;
  for (const std::string& A : Argv) ArgPtrs.push_back(const_cast<char*>(A.c_str()));
  ArgPtrs.push_back(nullptr);
  pid_t Pid = -1;
  const int Rc = ::posix_spawn(&Pid, ArgPtrs[0], &Actions, &Attr, ArgPtrs.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attr);
  if (Rc != 0) {
    Result.Error = Rc;
    return Result;
  }
  return Supervise(Pid, Fds, Options);
}

TChildResult RunForked(const std::function<int()>& Body, const TChildOptions& Options) {
  TChildResult Result;
  TFds Fds;
  if (!MakePipes(Fds, Options)) {
    Result.Error = errno;
    return Result;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t Parent = ::getpid();
  const pid_t Pid = ::fork();
  if (Pid < 0) {
    Result.Error = errno;
    return Result;
  }
  if (Pid == 0) {
    // The copy ends with the process that supervises it: a server ended by its caller (a cancelled or timed
    // out conversion) must not leave the copy running on hostile input with no one to end it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != Parent) ::_exit(127);
    Redirect(-1, 0, O_RDONLY);
    Redirect(Fds.Out[1], 1, O_WRONLY);
    Redirect(Fds.Err[1], 2, O_WRONLY);
    if (!Options.WorkDir.empty() && ::chdir(Options.WorkDir.c_str()) != 0) ::_exit(127);
    int Code = 127;
    try {
      Code = Body();
    } catch (...) {
    }
    ::_exit(Code);
  }
  return Supervise(Pid, Fds, Options);
}
