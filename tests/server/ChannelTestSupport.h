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
  static std::atomic<int> Counter{0};
  return std::string("qvsrvtest.") + Tag + "." + std::to_string(::getpid()) + "." + std::to_string(Counter++);
}

// Waits for a child's end, at most TimeoutMs; answers its exit code, -1 when it was signalled or is still
// running (then it is killed).
inline int WaitChild(pid_t Pid, int TimeoutMs) {
  for (int Waited = 0;; Waited += 10) {
    int Status = 0;
    const pid_t R = ::waitpid(Pid, &Status, WNOHANG);
    if (R == Pid) return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    if (R < 0) return -1;
    if (Waited >= TimeoutMs) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, &Status, 0);
      return -1;
    }
    ::usleep(10000);
  }
}

// Forks a process that runs the resident server for the client ClientPid (default: this process); the
// back-ends set before are the child's too.
inline pid_t StartResidentServer(const std::string& Map, const std::string& ErrorFile, pid_t ClientPid = 0) {
  const pid_t Client = ClientPid != 0 ? ClientPid : ::getpid();
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    const int Code =
        RunServer({"-resident", "-map:" + Map, "-pid:" + std::to_string(Client), "-err:" + ErrorFile});
    ::_exit(Code);
  }
  return Pid;
}

// A process that only waits to be killed: a client that can die on cue.
inline pid_t StartSleeper() {
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    for (;;) ::pause();
  }
  return Pid;
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
  if (TChannelResult R = Client.SendString(Line, 5000); R != acOK) return "!" + std::to_string(R);
  int Seen = 0;
  for (;;) {
    std::string Answer;
    if (TChannelResult R = Client.Receive(Answer, 20000); R != acOK) return "!" + std::to_string(R);
    if (Answer.empty() || Answer[0] != '%') {
      if (Progress != nullptr) *Progress = Seen;
      return Answer;
    }
    ++Seen;
    const bool Cancel = CancelAfter >= 0 && Seen > CancelAfter;
    if (Client.SendString(Cancel ? "-" : "+", 5000) != acOK) return "!send";
  }
}

// Writes a raw frame into the request area as a client would, without checking anything: Length is put
// as given, then Payload and Crc.
inline void PutRawRequest(const std::string& Map, TAsyncChannel& Client, int32_t Length,
                          const std::string& Payload, uint32_t Crc) {
  TNamedSemaphore Free(ChannelEventName("w", Map, kRequestOffset), 1);
  TNamedSemaphore Ready(ChannelEventName("r", Map, kRequestOffset), 0);
  ASSERT_TRUE(Free.Wait(5000));
  uint8_t* Area = static_cast<uint8_t*>(const_cast<void*>(Client.Stream().GetView())) + kRequestOffset;
  std::memcpy(Area, &Length, 4);
  std::memcpy(Area + 4, Payload.data(), Payload.size());
  std::memcpy(Area + 4 + Payload.size(), &Crc, 4);
  Ready.Post();
}
