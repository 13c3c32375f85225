#include "server/AsyncComm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/Exception.h"
#include "core/FileLayer.h"
#include "core/VMemoryMappedStream.h"
#include "core/WinUtils.h"

namespace {

// The longest name of a shared-memory object or semaphore we make, leading "/" included (the system
// allows 255 bytes, less the "sem." that it adds to semaphore names).
constexpr size_t kMaxObjectName = 250;
// How long one wait lasts before the peer is looked at again: the delay with which a dead peer is seen.
constexpr int32_t kPeerCheckMs = 50;

[[noreturn]] void RaiseSystemError(int err) { throw EWin32Error(FileErrorCode(err), std::strerror(err)); }

// "/" followed by S with every "/" made "_" (built by appending: GCC 12 warns falsely on "/" + string).
std::string SlashName(const std::string& S) {
  std::string out(1, '/');
  out.append(S);
  std::replace(out.begin() + 1, out.end(), '/', '_');
  return out;
}

timespec MonotonicIn(int32_t Ms) {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  ts.tv_sec += Ms / 1000;
  ts.tv_nsec += static_cast<long>(Ms % 1000) * 1000000L;
  if (ts.tv_nsec >= 1000000000L) {
    ts.tv_sec += 1;
    ts.tv_nsec -= 1000000000L;
  }
  return ts;
}

void PutInt32(uint8_t* P, uint32_t V) {
  for (int i = 0; i < 4; ++i) P[i] = static_cast<uint8_t>(V >> (8 * i));
}

uint32_t GetInt32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
         static_cast<uint32_t>(P[3]) << 24;
}

uint32_t FrameCrc(const void* Data, int32_t Length) { return UpdateCrc32(0xFFFFFFFFu, Data, Length); }

}  // namespace

std::string ChannelObjectName(const std::string& Prefix, const std::string& MapName) {
  std::string name = SlashName(Prefix + MapName);
  if (name.size() > kMaxObjectName) name.resize(kMaxObjectName);
  return name;
}

std::string ChannelEventName(const std::string& Prefix, const std::string& MapName, int32_t Offset) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%08X", static_cast<uint32_t>(Offset));
  // The map name is cut, never the suffix, so that the names of the two areas stay apart.
  std::string name = SlashName(Prefix + MapName);
  if (name.size() + 9 > kMaxObjectName) name.resize(kMaxObjectName - 9);
  name.append(suffix);
  return name;
}

uint32_t TickCount() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

// --- TNamedSemaphore -------------------------------------------------------------------------------------

TNamedSemaphore::TNamedSemaphore(const std::string& Name, uint32_t InitialValue) : Name_(Name) {
  Sem = ::sem_open(Name.c_str(), O_CREAT | O_EXCL, 0600, InitialValue);
  Created = Sem != SEM_FAILED;
  if (!Created && errno == EEXIST) Sem = ::sem_open(Name.c_str(), 0);
  if (Sem == SEM_FAILED) RaiseSystemError(errno);
}

TNamedSemaphore::~TNamedSemaphore() {
  if (Sem != SEM_FAILED) ::sem_close(Sem);
  if (Created) ::sem_unlink(Name_.c_str());
}

bool TNamedSemaphore::Wait(int32_t TimeoutMs) {
  for (;;) {
    int rc;
    if (TimeoutMs == 0) {
      rc = ::sem_trywait(Sem);
      if (rc != 0 && errno == EAGAIN) return false;
    } else if (TimeoutMs < 0) {
      rc = ::sem_wait(Sem);
    } else {
      const timespec until = MonotonicIn(TimeoutMs);
      rc = ::sem_clockwait(Sem, CLOCK_MONOTONIC, &until);
      if (rc != 0 && errno == ETIMEDOUT) return false;
    }
    if (rc == 0) return true;
    if (errno != EINTR) return false;
  }
}

void TNamedSemaphore::Post() { ::sem_post(Sem); }

// --- TAsyncChannel ---------------------------------------------------------------------------------------

TAsyncChannel::TAsyncChannel(int32_t PeerPid, const std::string& MapName, int32_t MapSize, int32_t InOffset,
                             int32_t InMax, int32_t OutOffset, int32_t OutMax)
    : MapName_(MapName), InOffset(InOffset), InMax(InMax), OutOffset(OutOffset), OutMax(OutMax) {
  if (InOffset < 0 || InMax < kFrameOverhead || OutOffset < 0 || OutMax < kFrameOverhead ||
      InOffset > MapSize - InMax || OutOffset > MapSize - OutMax)
    RaiseSystemError(EINVAL);
  if (PeerPid <= 0) RaiseSystemError(ESRCH);
  PeerFd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(PeerPid), 0));
  if (PeerFd < 0) RaiseSystemError(errno);
  try {
    InReady = std::make_unique<TNamedSemaphore>(ChannelEventName("r", MapName, InOffset), 0);
    InFree = std::make_unique<TNamedSemaphore>(ChannelEventName("w", MapName, InOffset), 1);
    OutReady = std::make_unique<TNamedSemaphore>(ChannelEventName("r", MapName, OutOffset), 0);
    OutFree = std::make_unique<TNamedSemaphore>(ChannelEventName("w", MapName, OutOffset), 1);
    Map = std::make_unique<TVMemoryMappedStream>(std::string(), MapSize, fmOpenReadWrite, MapName);
    if (Map->GetSize() < MapSize) RaiseSystemError(EINVAL);
  } catch (...) {
    ::close(PeerFd);
    throw;
  }
}

TAsyncChannel::~TAsyncChannel() {
  Map.reset();
  if (PeerFd >= 0) ::close(PeerFd);
}

TChannelResult TAsyncChannel::WaitFor(TNamedSemaphore& Event, int32_t TimeoutMs) {
  const uint32_t start = TickCount();
  for (;;) {
    pollfd p{PeerFd, POLLIN, 0};
    const int rc = ::poll(&p, 1, 0);
    if (rc > 0) return acPeerTerminated;
    if (rc < 0 && errno != EINTR) return acFailed;
    int32_t slice = kPeerCheckMs;
    if (TimeoutMs >= 0) {
      const int64_t left = static_cast<int64_t>(TimeoutMs) - static_cast<int32_t>(TickCount() - start);
      if (left <= 0) return Event.Wait(0) ? acOK : acTimeout;
      slice = static_cast<int32_t>(std::min<int64_t>(left, kPeerCheckMs));
    }
    if (Event.Wait(slice)) return acOK;
    if (errno != ETIMEDOUT && errno != EAGAIN && errno != EINTR) return acFailed;
  }
}

TChannelResult TAsyncChannel::Receive(std::string& Msg, int32_t TimeoutMs) {
  const TChannelResult waited = WaitFor(*InReady, TimeoutMs);
  if (waited != acOK) return waited;
  const uint8_t* area = static_cast<const uint8_t*>(Map->GetView()) + InOffset;
  const int32_t n = static_cast<int32_t>(GetInt32(area));
  TChannelResult result = acSizeError;
  // Compared without adding to n, so that a length near the int32 limit cannot wrap and pass.
  if (n >= 0 && n <= InMax - kFrameOverhead) {
    std::string payload(reinterpret_cast<const char*>(area + 4), static_cast<size_t>(n));
    const uint32_t crc = GetInt32(area + 4 + n);
    if (crc != FrameCrc(payload.data(), n)) {
      result = acCRCError;
    } else {
      Msg = std::move(payload);
      result = acOK;
    }
  }
  InFree->Post();
  return result;
}

TChannelResult TAsyncChannel::Send(const void* Data, int32_t Length, int32_t TimeoutMs) {
  if (Length < 0 || Length > OutMax - kFrameOverhead) return acSizeError;
  const TChannelResult waited = WaitFor(*OutFree, TimeoutMs);
  if (waited != acOK) return waited;
  uint8_t* area = static_cast<uint8_t*>(const_cast<void*>(Map->GetView())) + OutOffset;
  PutInt32(area, static_cast<uint32_t>(Length));
  if (Length > 0) std::memcpy(area + 4, Data, static_cast<size_t>(Length));
  PutInt32(area + 4 + Length, FrameCrc(Data, Length));
  OutReady->Post();
  return acOK;
}

TChannelResult TAsyncChannel::SendString(const std::string& S, int32_t TimeoutMs) {
  if (S.size() > static_cast<size_t>(INT32_MAX)) return acSizeError;
  return Send(S.data(), static_cast<int32_t>(S.size()), TimeoutMs);
}

void TAsyncChannel::UnlinkNames() {
  ::shm_unlink(ChannelObjectName("", MapName_).c_str());
  for (const auto* sem : {InReady.get(), InFree.get(), OutReady.get(), OutFree.get()})
    if (sem != nullptr) ::sem_unlink(sem->Name().c_str());
  ::sem_unlink(ChannelObjectName("sm", MapName_).c_str());
}

// --- TSharedMem ------------------------------------------------------------------------------------------

TSharedMem::TSharedMem(TVMemoryMappedStream& Stream, const std::string& MapName, int32_t BaseOffset,
                       int32_t WaitMs)
    : Stream(Stream), Mutex(ChannelObjectName("sm", MapName), 1), BaseOffset(BaseOffset), WaitMs(WaitMs) {}

bool TSharedMem::Write(int32_t Offset, const void* Data, int32_t Size) {
  if (Offset < 0 || Size < 0 || BaseOffset + Offset > Stream.GetSize() - Size) return false;
  if (!Mutex.Wait(WaitMs)) return false;
  std::memcpy(static_cast<uint8_t*>(const_cast<void*>(Stream.GetView())) + BaseOffset + Offset, Data,
              static_cast<size_t>(Size));
  Mutex.Post();
  return true;
}
