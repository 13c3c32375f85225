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

[[noreturn]] void RaiseSystemError(int Err) { throw EWin32Error(FileErrorCode(Err), std::strerror(Err)); }

// "/" followed by S with every "/" made "_" (built by appending: GCC 12 warns falsely on "/" + string).
std::string SlashName(const std::string& S) {
  std::string Out(1, '/');
  Out.append(S);
  std::replace(Out.begin() + 1, Out.end(), '/', '_');
  return Out;
}

timespec MonotonicIn(int32_t Ms) {
  timespec Ts;
  ::clock_gettime(CLOCK_MONOTONIC, &Ts);
  Ts.tv_sec += Ms / 1000;
  Ts.tv_nsec += static_cast<long>(Ms % 1000) * 1000000L;
  if (Ts.tv_nsec >= 1000000000L) {
    Ts.tv_sec += 1;
    Ts.tv_nsec -= 1000000000L;
  }
  return Ts;
}

void PutInt32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

uint32_t GetInt32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
         static_cast<uint32_t>(P[3]) << 24;
}

uint32_t FrameCrc(const void* Data, int32_t Length) { return UpdateCrc32(0xFFFFFFFFu, Data, Length); }

}  // namespace

std::string ChannelObjectName(const std::string& Prefix, const std::string& MapName) {
  std::string Name = SlashName(Prefix + MapName);
  if (Name.size() > kMaxObjectName) Name.resize(kMaxObjectName);
  return Name;
}

std::string ChannelEventName(const std::string& Prefix, const std::string& MapName, int32_t Offset) {
  char Suffix[16];
  std::snprintf(Suffix, sizeof Suffix, ".%08X", static_cast<uint32_t>(Offset));
  // The map name is cut, never the suffix, so that the names of the two areas stay apart.
  std::string Name = SlashName(Prefix + MapName);
  if (Name.size() + 9 > kMaxObjectName) Name.resize(kMaxObjectName - 9);
  Name.append(Suffix);
  return Name;
}

uint32_t TickCount() {
  timespec Ts;
  ::clock_gettime(CLOCK_MONOTONIC, &Ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(Ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(Ts.tv_nsec) / 1000000u);
}

// --- TNamedSemaphore -------------------------------------------------------------------------------------

TNamedSemaphore::TNamedSemaphore(const std::string& Name, uint32_t InitialValue) : Name_(Name) {
  Sem_ = ::sem_open(Name.c_str(), O_CREAT | O_EXCL, 0600, InitialValue);
  Created_ = Sem_ != SEM_FAILED;
  if (!Created_ && errno == EEXIST) Sem_ = ::sem_open(Name.c_str(), 0);
  if (Sem_ == SEM_FAILED) RaiseSystemError(errno);
}

TNamedSemaphore::~TNamedSemaphore() {
  if (Sem_ != SEM_FAILED) ::sem_close(Sem_);
  if (Created_) ::sem_unlink(Name_.c_str());
}

bool TNamedSemaphore::Wait(int32_t TimeoutMs) {
  for (;;) {
    int Rc;
    if (TimeoutMs == 0) {
      Rc = ::sem_trywait(Sem_);
      if (Rc != 0 && errno == EAGAIN) return false;
    } else if (TimeoutMs < 0) {
      Rc = ::sem_wait(Sem_);
    } else {
      const timespec Until = MonotonicIn(TimeoutMs);
      Rc = ::sem_clockwait(Sem_, CLOCK_MONOTONIC, &Until);
      if (Rc != 0 && errno == ETIMEDOUT) return false;
    }
    if (Rc == 0) return true;
    if (errno != EINTR) return false;
  }
}

void TNamedSemaphore::Post() { ::sem_post(Sem_); }

// --- TAsyncChannel ---------------------------------------------------------------------------------------

TAsyncChannel::TAsyncChannel(int32_t PeerPid, const std::string& MapName, int32_t MapSize, int32_t InOffset,
                             int32_t InMax, int32_t OutOffset, int32_t OutMax)
    : MapName_(MapName), InOffset_(InOffset), InMax_(InMax), OutOffset_(OutOffset), OutMax_(OutMax) {
  if (InOffset < 0 || InMax < kFrameOverhead || OutOffset < 0 || OutMax < kFrameOverhead ||
      InOffset > MapSize - InMax || OutOffset > MapSize - OutMax)
    RaiseSystemError(EINVAL);
  if (PeerPid <= 0) RaiseSystemError(ESRCH);
  PeerFd_ = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(PeerPid), 0));
  if (PeerFd_ < 0) RaiseSystemError(errno);
  try {
    InReady_ = std::make_unique<TNamedSemaphore>(ChannelEventName("r", MapName, InOffset), 0);
    InFree_ = std::make_unique<TNamedSemaphore>(ChannelEventName("w", MapName, InOffset), 1);
    OutReady_ = std::make_unique<TNamedSemaphore>(ChannelEventName("r", MapName, OutOffset), 0);
    OutFree_ = std::make_unique<TNamedSemaphore>(ChannelEventName("w", MapName, OutOffset), 1);
    Map_ = std::make_unique<TVMemoryMappedStream>(std::string(), MapSize, fmOpenReadWrite, MapName);
    if (Map_->GetSize() < MapSize) RaiseSystemError(EINVAL);
  } catch (...) {
    ::close(PeerFd_);
    throw;
  }
}

TAsyncChannel::~TAsyncChannel() {
  Map_.reset();
  if (PeerFd_ >= 0) ::close(PeerFd_);
}

TChannelResult TAsyncChannel::WaitFor(TNamedSemaphore& Event, int32_t TimeoutMs) {
  const uint32_t Start = TickCount();
  for (;;) {
    pollfd P{PeerFd_, POLLIN, 0};
    const int Rc = ::poll(&P, 1, 0);
    if (Rc > 0) return acPeerTerminated;
    if (Rc < 0 && errno != EINTR) return acFailed;
    int32_t Slice = kPeerCheckMs;
    if (TimeoutMs >= 0) {
      const int64_t Left = static_cast<int64_t>(TimeoutMs) - static_cast<int32_t>(TickCount() - Start);
      if (Left <= 0) return Event.Wait(0) ? acOK : acTimeout;
      Slice = static_cast<int32_t>(std::min<int64_t>(Left, kPeerCheckMs));
    }
    if (Event.Wait(Slice)) return acOK;
    if (errno != ETIMEDOUT && errno != EAGAIN && errno != EINTR) return acFailed;
  }
}

TChannelResult TAsyncChannel::Receive(std::string& Msg, int32_t TimeoutMs) {
  const TChannelResult Waited = WaitFor(*InReady_, TimeoutMs);
  if (Waited != acOK) return Waited;
  const uint8_t* Area = static_cast<const uint8_t*>(Map_->GetView()) + InOffset_;
  const int32_t N = static_cast<int32_t>(GetInt32(Area));
  TChannelResult Result = acSizeError;
  // Compared without adding to n, so that a length near the int32 limit cannot wrap and pass.
  if (N >= 0 && N <= InMax_ - kFrameOverhead) {
    std::string Payload(reinterpret_cast<const char*>(Area + 4), static_cast<size_t>(N));
    const uint32_t Crc = GetInt32(Area + 4 + N);
    if (Crc != FrameCrc(Payload.data(), N)) {
      Result = acCRCError;
    } else {
      Msg = std::move(Payload);
      Result = acOK;
    }
  }
  InFree_->Post();
  return Result;
}

TChannelResult TAsyncChannel::Send(const void* Data, int32_t Length, int32_t TimeoutMs) {
  if (Length < 0 || Length > OutMax_ - kFrameOverhead) return acSizeError;
  const TChannelResult Waited = WaitFor(*OutFree_, TimeoutMs);
  if (Waited != acOK) return Waited;
  uint8_t* Area = static_cast<uint8_t*>(const_cast<void*>(Map_->GetView())) + OutOffset_;
  PutInt32(Area, static_cast<uint32_t>(Length));
  if (Length > 0) std::memcpy(Area + 4, Data, static_cast<size_t>(Length));
  PutInt32(Area + 4 + Length, FrameCrc(Data, Length));
  OutReady_->Post();
  return acOK;
}

TChannelResult TAsyncChannel::SendString(const std::string& S, int32_t TimeoutMs) {
  if (S.size() > static_cast<size_t>(INT32_MAX)) return acSizeError;
  return Send(S.data(), static_cast<int32_t>(S.size()), TimeoutMs);
}

void TAsyncChannel::UnlinkNames() {
  ::shm_unlink(ChannelObjectName("", MapName_).c_str());
  for (const auto* Sem : {InReady_.get(), InFree_.get(), OutReady_.get(), OutFree_.get()})
    if (Sem != nullptr) ::sem_unlink(Sem->Name().c_str());
  ::sem_unlink(ChannelObjectName("sm", MapName_).c_str());
}

// --- TSharedMem ------------------------------------------------------------------------------------------

TSharedMem::TSharedMem(TVMemoryMappedStream& Stream, const std::string& MapName, int32_t BaseOffset,
                       int32_t WaitMs)
    : Stream_(Stream),
      Mutex_(ChannelObjectName("sm", MapName), 1),
      BaseOffset_(BaseOffset),
      WaitMs_(WaitMs) {}

bool TSharedMem::Write(int32_t Offset, const void* Data, int32_t Size) {
  if (Offset < 0 || Size < 0 || BaseOffset_ + Offset > Stream_.GetSize() - Size) return false;
  if (!Mutex_.Wait(WaitMs_)) return false;
  std::memcpy(static_cast<uint8_t*>(const_cast<void*>(Stream_.GetView())) + BaseOffset_ + Offset, Data,
              static_cast<size_t>(Size));
  Mutex_.Post();
  return true;
}
