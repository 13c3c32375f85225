// The memory that archive items extracted into memory may hold, counted for every archive walk of the
// process together. The archive walk asks the budget before an item goes to memory: an item whose size
// the budget grants is decoded into a memory block, any other through a temporary file. The walk's worker
// walks share their owner's budget, so that N threads together hold no more than one budget, however
// much memory each of them would find free on its own.
//
// Threads: every member may be called on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

class TItemMemoryBudget {
 public:
  // Capacity: the bytes all grants together may hold (0: nothing goes to memory).
  explicit TItemMemoryBudget(int64_t Capacity);
  TItemMemoryBudget(const TItemMemoryBudget&) = delete;
  TItemMemoryBudget& operator=(const TItemMemoryBudget&) = delete;

  // Takes Bytes when they fit beside what is granted already; false takes nothing.
  bool TryTake(int64_t Bytes);
  // Gives back Bytes taken before.
  void Give(int64_t Bytes);

  int64_t Capacity() const { return Capacity_; }
  int64_t InUse() const { return InUse_.load(); }
  // The most that was granted at once, and how many requests were granted and refused.
  int64_t Peak() const { return Peak_.load(); }
  int64_t Granted() const { return Granted_.load(); }
  int64_t Refused() const { return Refused_.load(); }

  // The largest budget a process gets: items beyond it are no quicker from memory than from a temporary
  // file (a file of the temporary folder is in the page cache while it is scanned), and several threads
  // holding large items took gigabytes.
  static constexpr int64_t kDefaultCapacity = int64_t{96} << 20;
  // kDefaultCapacity, or less on a machine with little memory or a process with a small address space
  // limit: an eighth of the physical memory, a sixteenth of the address space.
  static int64_t DefaultCapacity();
  // The budget of the process, made with DefaultCapacity at its first use.
  static const std::shared_ptr<TItemMemoryBudget>& Process();

 private:
  const int64_t Capacity_;
  std::atomic<int64_t> InUse_{0};
  std::atomic<int64_t> Peak_{0};
  std::atomic<int64_t> Granted_{0};
  std::atomic<int64_t> Refused_{0};
};

// Bytes granted by a budget for one item, given back when the lease ends or is destroyed. One lease
// follows one item at a time; a lease is used on one thread.
class TItemMemoryLease {
 public:
  TItemMemoryLease() = default;
  ~TItemMemoryLease() { Release(); }
  TItemMemoryLease(const TItemMemoryLease&) = delete;
  TItemMemoryLease& operator=(const TItemMemoryLease&) = delete;

  // Holds Bytes of Budget instead of what the lease held: true when granted (the lease then holds
  // Bytes); false leaves the lease as it was. The grant of a larger size to the same budget asks only
  // for the difference (an item whose next part makes it larger).
  bool Hold(TItemMemoryBudget& Budget, int64_t Bytes);
  void Release();
  int64_t Bytes() const { return Bytes_; }

 private:
  TItemMemoryBudget* Budget_ = nullptr;
  int64_t Bytes_ = 0;
};
