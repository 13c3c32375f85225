// A resident server in a forked child of the test, and the client side that talks to it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "core/VMemoryMappedStream.h"
#include "server/AsyncComm.h"
#include "tests/server/ServerTestSupport.h"

// A map name no other test or run uses.
inline std::string UniqueMapName(const char* Tag) {
  static std::atomic<int> counter{0};
  return std::string("qvsrvtest.") + Tag + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
}

// Waits for a child's end, at most TimeoutMs; answers its exit code, -1 when it was signalled or is still
// running (then it is killed).
inline int WaitChild(pid_t Pid, int TimeoutMs) {
  for (int waited = 0;; waited += 10) {
    int status = 0;
    const pid_t r = ::waitpid(Pid, &status, WNOHANG);
    if (r == Pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    if (waited >= TimeoutMs) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, &status, 0);
      return -1;
    }
    ::usleep(10000);
  }
}

// Forks a process that runs the resident server for the client ClientPid (default: this process); the
// back-ends set before are the child's too.
inline pid_t StartResidentServer(const std::string& Map, const std::string& ErrorFile, pid_t ClientPid = 0) {
  const pid_t client = ClientPid != 0 ? ClientPid : ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int code =
        RunServer({"-resident", "-map:" + Map, "-pid:" + std::to_string(client), "-err:" + ErrorFile});
    ::_exit(code);
  }
  return pid;
}

// A process that only waits to be killed: a client that can die on cue.
inline pid_t StartSleeper() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (;;) ::pause();
  }
  return pid;
}

// The client's end of the channel to a server process.
inline std::unique_ptr<TAsyncChannel> ConnectClient(pid_t Server, const std::string& Map) {
  return std::make_unique<TAsyncChannel>(Server, Map, kChannelMapSize, kAnswerOffset, kAreaSize,
                                         kRequestOffset, kAreaSize);
}

// Sends Line and answers the server's final answer; progress messages are answered with "+" until
// CancelAfter of them have come (then "-"). Progress counts them. A channel failure answers "!" + its code.
inline std::string Exchange(TAsyncChannel& Client, const std::string& Line, int CancelAfter = -1,
                            int* Progress = nullptr) {
  if (TChannelResult r = Client.SendString(Line, 5000); r != acOK) return "!" + std::to_string(r);
  int seen = 0;
  for (;;) {
    std::string answer;
    if (TChannelResult r = Client.Receive(answer, 20000); r != acOK) return "!" + std::to_string(r);
    if (answer.empty() || answer[0] != '%') {
      if (Progress != nullptr) *Progress = seen;
      return answer;
    }
    ++seen;
    const bool cancel = CancelAfter >= 0 && seen > CancelAfter;
    if (Client.SendString(cancel ? "-" : "+", 5000) != acOK) return "!send";
  }
}

// Writes a raw frame into the request area as a client would, without checking anything: Length is put
// as given, then Payload and Crc.
inline void PutRawRequest(const std::string& Map, TAsyncChannel& Client, int32_t Length,
                          const std::string& Payload, uint32_t Crc) {
  TNamedSemaphore free(ChannelEventName("w", Map, kRequestOffset), 1);
  TNamedSemaphore ready(ChannelEventName("r", Map, kRequestOffset), 0);
  ASSERT_TRUE(free.Wait(5000));
  uint8_t* area = static_cast<uint8_t*>(const_cast<void*>(Client.Stream().GetView())) + kRequestOffset;
  std::memcpy(area, &Length, 4);
  std::memcpy(area + 4, Payload.data(), Payload.size());
  std::memcpy(area + 4 + Payload.size(), &Crc, 4);
  ready.Post();
}
