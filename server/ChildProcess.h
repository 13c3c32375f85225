// Runs an outside program (or a piece of the server itself) as a child process without a shell: argv as
// given, the working folder chosen, standard input from /dev/null, standard output and standard error caught
// in memory (up to a cap each) or sent to /dev/null. The run is bounded: a time-out or a poll that answers
// false ends the child (SIGTERM, then SIGKILL after a grace period), and the child is always reaped before
// RunChild returns.
//
// Used by the server's one thread; the child inherits no descriptor but its three standard ones.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/VFileSys.h"  // FindOnPath

enum class TChildEnd : uint8_t {
  Exited,     // ended by itself; ExitCode holds its code
  Signalled,  // killed by a signal it did not get from us
  TimedOut,   // ran past the time-out and was ended
  Cancelled,  // the poll answered false and it was ended
  StartFailed,
};

struct TChildResult {
  TChildEnd End = TChildEnd::StartFailed;
  int ExitCode = -1;
  int Error = 0;  // errno of a failed start
  std::string Stdout;
  std::string Stderr;
};

struct TChildOptions {
  std::string WorkDir;          // empty: the server's current folder
  int32_t TimeoutMs = -1;       // -1: no limit
  bool CaptureStdout = false;   // else /dev/null
  bool CaptureStderr = true;    // else /dev/null
  size_t MaxCapture = 1 << 20;  // bytes kept of each caught stream; the rest is read and dropped
  std::function<bool()> Poll;   // asked at the start and about every PollMs; false ends the child
  int32_t PollMs = 100;
  int32_t GraceMs = 2000;  // between SIGTERM and SIGKILL
};

TChildResult RunChild(const std::vector<std::string>& Argv, const TChildOptions& Options);

// Runs Body in a forked copy of this process, its standard output and error caught or dropped as for a
// program, and ends the copy with Body's answer as exit code, running no destructor or exit handler.
// Work that may hang or crash on hostile input runs this way, so that neither can take the server with
// it. Body must not use the resident channel: the copy would share it with the server.
TChildResult RunForked(const std::function<int()>& Body, const TChildOptions& Options);

// Program beside the server's own program file, else on $PATH; empty when neither has it.
std::string FindProgram(const std::string& Program);
// Name as an absolute path (a child may run in another folder).
std::string AbsoluteFileName(const std::string& Name);

// Sets the error text of a run that did not end by itself: "Can't start <Name>: <reason>", "User
// canceled", or "<Name> did not finish in <n> s and was ended". Answers true (nothing set) for a run
// that ended by itself, whose outcome the caller judges.
bool ChildEndedByItself(const TChildResult& Run, const std::string& Name, int32_t TimeoutMs);
