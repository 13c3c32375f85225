#include "server/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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
    for (int fd : {Out[0], Out[1], Err[0], Err[1], Pid})
      if (fd >= 0) ::close(fd);
  }
};

void CloseFd(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

// Reads what is there without blocking; false at the end of the pipe.
bool Drain(int& Fd, std::string& Into, size_t Max) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(Fd, buf, sizeof buf);
    if (n > 0) {
      const size_t room = Into.size() < Max ? Max - Into.size() : 0;
      Into.append(buf, std::min(room, static_cast<size_t>(n)));
      continue;
    }
    if (n < 0 && (errno == EINTR)) continue;
    if (n < 0 && errno == EAGAIN) return true;
    CloseFd(Fd);
    return false;
  }
}

// Sends SIGTERM, waits up to GraceMs for the end, then SIGKILL; reaps the child.
void EndChild(pid_t Pid, int PidFd, int32_t GraceMs) {
  ::kill(Pid, SIGTERM);
  pollfd p{PidFd, POLLIN, 0};
  if (PidFd < 0 || ::poll(&p, 1, GraceMs) <= 0) ::kill(Pid, SIGKILL);
  int status;
  while (::waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string FindOnPath(const std::string& Program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::string();
  std::string all = path;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    const std::string dir = all.substr(start, end - start);
    if (!dir.empty()) {
      const std::string full = dir + "/" + Program;
      struct stat st;
      if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(full.c_str(), X_OK) == 0)
        return full;
    }
    start = end + 1;
  }
  return std::string();
}

namespace {

// Makes the pipes the options ask for; false (errno set) on failure.
bool MakePipes(TFds& Fds, const TChildOptions& Options) {
  return (!Options.CaptureStdout || ::pipe2(Fds.Out, O_CLOEXEC) == 0) &&
         (!Options.CaptureStderr || ::pipe2(Fds.Err, O_CLOEXEC) == 0);
}

// Reads the child's output until it ends, the time-out passes or the poll cancels; reaps it.
TChildResult Supervise(pid_t Pid, TFds& Fds, const TChildOptions& Options) {
  TChildResult result;
  CloseFd(Fds.Out[1]);
  CloseFd(Fds.Err[1]);
  for (int fd : {Fds.Out[0], Fds.Err[0]})
    if (fd >= 0) ::fcntl(fd, F_SETFL, O_NONBLOCK);
  Fds.Pid = static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));

  const uint32_t start = TickCount();
  uint32_t lastPoll = start - static_cast<uint32_t>(Options.PollMs);  // the first poll comes at once
  for (;;) {
    if (Options.Poll && TickCount() - lastPoll >= static_cast<uint32_t>(Options.PollMs)) {
      lastPoll = TickCount();
      if (!Options.Poll()) {
        EndChild(Pid, Fds.Pid, Options.GraceMs);
        result.End = TChildEnd::Cancelled;
        return result;
      }
    }
    pollfd p[3];
    nfds_t n = 0;
    if (Fds.Out[0] >= 0) p[n++] = {Fds.Out[0], POLLIN, 0};
    if (Fds.Err[0] >= 0) p[n++] = {Fds.Err[0], POLLIN, 0};
    if (Fds.Pid >= 0) p[n++] = {Fds.Pid, POLLIN, 0};
    const int ready = ::poll(p, n, Options.PollMs > 0 ? Options.PollMs : 100);
    if (ready < 0 && errno != EINTR) break;
    if (Fds.Out[0] >= 0) Drain(Fds.Out[0], result.Stdout, Options.MaxCapture);
    if (Fds.Err[0] >= 0) Drain(Fds.Err[0], result.Stderr, Options.MaxCapture);
    int status = 0;
    const pid_t done = ::waitpid(Pid, &status, WNOHANG);
    if (done == Pid) {
      // The child is gone; take what its pipes still hold (a grandchild may keep them open: no waiting).
      if (Fds.Out[0] >= 0) Drain(Fds.Out[0], result.Stdout, Options.MaxCapture);
      if (Fds.Err[0] >= 0) Drain(Fds.Err[0], result.Stderr, Options.MaxCapture);
      if (WIFEXITED(status)) {
        result.End = TChildEnd::Exited;
        result.ExitCode = WEXITSTATUS(status);
      } else {
        result.End = TChildEnd::Signalled;
      }
      return result;
    }
    const uint32_t now = TickCount();
    if (Options.TimeoutMs >= 0 && now - start >= static_cast<uint32_t>(Options.TimeoutMs)) {
      EndChild(Pid, Fds.Pid, Options.GraceMs);
      result.End = TChildEnd::TimedOut;
      return result;
    }
  }
  EndChild(Pid, Fds.Pid, Options.GraceMs);
  result.End = TChildEnd::Signalled;
  return result;
}

// Points the child's descriptor Target at the pipe end, or at /dev/null.
void Redirect(int PipeEnd, int Target, int NullFlags) {
  const int fd = PipeEnd >= 0 ? PipeEnd : ::open("/dev/null", NullFlags);
  if (fd >= 0 && fd != Target) ::dup2(fd, Target);
}

}  // namespace

std::string FindProgram(const std::string& Program) {
  const std::string exe = ModuleFileName(nullptr);
  const size_t slash = exe.rfind('/');
  if (slash != std::string::npos && FileExists(exe.substr(0, slash + 1) + Program))
    return exe.substr(0, slash + 1) + Program;
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
  TChildResult result;
  if (Argv.empty()) {
    result.Error = EINVAL;
    return result;
  }
  TFds fds;
  if (!MakePipes(fds, Options)) {
    result.Error = errno;
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (Options.CaptureStdout)
    posix_spawn_file_actions_adddup2(&actions, fds.Out[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (Options.CaptureStderr)
    posix_spawn_file_actions_adddup2(&actions, fds.Err[1], 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!Options.WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, Options.WorkDir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling, whatever the server has blocked or ignored.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  for (const std::string& a : Argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    result.Error = rc;
    return result;
  }
  return Supervise(pid, fds, Options);
}

TChildResult RunForked(const std::function<int()>& Body, const TChildOptions& Options) {
  TChildResult result;
  TFds fds;
  if (!MakePipes(fds, Options)) {
    result.Error = errno;
    return result;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = ::fork();
  if (pid < 0) {
    result.Error = errno;
    return result;
  }
  if (pid == 0) {
    Redirect(-1, 0, O_RDONLY);
    Redirect(fds.Out[1], 1, O_WRONLY);
    Redirect(fds.Err[1], 2, O_WRONLY);
    if (!Options.WorkDir.empty() && ::chdir(Options.WorkDir.c_str()) != 0) ::_exit(127);
    int code = 127;
    try {
      code = Body();
    } catch (...) {
    }
    ::_exit(code);
  }
  return Supervise(pid, fds, Options);
}
