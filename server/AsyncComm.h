// The shared-memory channel between the resident conversion server and its client.
//
// Both processes map one named shared-memory block (the client creates it and names it). The block holds
// two one-way message areas, each a one-slot mailbox for one frame, and a small progress block:
//
//   offset  size  content
//   0       1000  request area (client to server)
//   1000    1000  answer area (server to client)
//   2000    12    progress: Current (int32), Total (int32), tick of the last report (uint32, ms)
//
// A frame is: payload length n (int32, little-endian), n payload bytes, CRC-32 of the payload (uint32;
// UpdateCrc32 started with all bits set, no final inversion). A frame fits its area: n + 8 <= area size.
//
// Each area has two named semaphores: "/r<M>.<offset>" counts a frame that is ready to be read (0 or 1)
// and "/w<M>.<offset>" counts a free area (1 or 0), with the offset as 8 upper-case hex digits. A sender
// takes "free", writes and posts "ready"; a receiver takes "ready", reads and posts "free", also when the
// frame was bad. "/sm<M>" is the lock of the progress block. Whoever creates a name removes it when done;
// names are created with the initial states "nothing ready", "area free" and "unlocked".
//
// Every wait also watches the peer process: when it ends, the wait answers acPeerTerminated.
//
// One thread uses a channel object.
#pragma once

#include <semaphore.h>

#include <cstdint>
#include <memory>
#include <string>

class TVMemoryMappedStream;

enum TChannelResult : int32_t {
  acOK = 0,
  acFailed = 1,
  acPeerTerminated = 2,
  acTimeout = 3,
  acSizeError = 4,
  acCRCError = 6,
};

// A wait without limit.
constexpr int32_t kInfinite = -1;

// The server's layout of the block.
constexpr int32_t kChannelMapSize = 2048;
constexpr int32_t kRequestOffset = 0;
constexpr int32_t kAnswerOffset = 1000;
constexpr int32_t kAreaSize = 1000;
// Length and CRC around the payload.
constexpr int32_t kFrameOverhead = 8;
constexpr int32_t kProgressOffset = 2000;

// A named semaphore that this process opened, and removed again when it created it.
class TNamedSemaphore {
 public:
  // Opens Name, creating it with InitialValue when it does not exist; raises EWin32Error on failure.
  TNamedSemaphore(const std::string& Name, uint32_t InitialValue);
  ~TNamedSemaphore();
  TNamedSemaphore(const TNamedSemaphore&) = delete;
  TNamedSemaphore& operator=(const TNamedSemaphore&) = delete;
  sem_t* Get() const { return Sem_; }
  const std::string& Name() const { return Name_; }
  // Takes the semaphore within TimeoutMs (kInfinite: no limit); false on time-out.
  bool Wait(int32_t TimeoutMs);
  void Post();

 private:
  std::string Name_;
  sem_t* Sem_ = SEM_FAILED;
  bool Created_ = false;
};

class TAsyncChannel {
 public:
  // Opens the peer process, the block MapName of MapSize bytes and the four semaphores; the frames come
  // in at InOffset (at most InMax bytes) and go out at OutOffset (at most OutMax bytes). The server uses
  // (client pid, M, 2048, 0, 1000, 1000, 1000). Raises EWin32Error (or the stream's exception) on failure.
  TAsyncChannel(int32_t PeerPid, const std::string& MapName, int32_t MapSize, int32_t InOffset, int32_t InMax,
                int32_t OutOffset, int32_t OutMax);
  ~TAsyncChannel();
  TAsyncChannel(const TAsyncChannel&) = delete;
  TAsyncChannel& operator=(const TAsyncChannel&) = delete;

  // Waits for a frame (TimeoutMs, or kInfinite) and reads it into Msg.
  TChannelResult Receive(std::string& Msg, int32_t TimeoutMs);
  // Waits for the outgoing area to be free (TimeoutMs, or kInfinite; 0 only looks) and writes a frame.
  TChannelResult Send(const void* Data, int32_t Length, int32_t TimeoutMs);
  TChannelResult SendString(const std::string& S, int32_t TimeoutMs);
  // Takes Event within TimeoutMs unless the peer ends first.
  TChannelResult WaitFor(TNamedSemaphore& Event, int32_t TimeoutMs);

  TVMemoryMappedStream& Stream() { return *Map_; }
  const std::string& MapName() const { return MapName_; }
  // Removes the block's and the semaphores' names, so that a dead peer leaves none behind.
  void UnlinkNames();

 private:
  std::string MapName_;
  int PeerFd_ = -1;
  std::unique_ptr<TVMemoryMappedStream> Map_;
  int32_t InOffset_, InMax_, OutOffset_, OutMax_;
  std::unique_ptr<TNamedSemaphore> InReady_, InFree_, OutReady_, OutFree_;
};

// The progress block, written under the "/sm<M>" lock.
class TSharedMem {
 public:
  // Stream is not owned and must outlive this object. Raises EWin32Error when the lock cannot be opened.
  TSharedMem(TVMemoryMappedStream& Stream, const std::string& MapName, int32_t BaseOffset, int32_t WaitMs);
  // Writes Size bytes at BaseOffset + Offset when the lock is had within the wait; false otherwise (the
  // report is dropped).
  bool Write(int32_t Offset, const void* Data, int32_t Size);

 private:
  TVMemoryMappedStream& Stream_;
  TNamedSemaphore Mutex_;
  int32_t BaseOffset_;
  int32_t WaitMs_;
};

// The names a map name gives: "/" + prefix + M with "/" made "_", cut to the system's limit.
std::string ChannelObjectName(const std::string& Prefix, const std::string& MapName);
// The name of the semaphore of an area: Prefix "r" or "w", the map name and ".%08X" of the offset.
std::string ChannelEventName(const std::string& Prefix, const std::string& MapName, int32_t Offset);
// Milliseconds of the monotonic clock, as both processes see it.
uint32_t TickCount();
