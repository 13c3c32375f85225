#include "search/FileScanArcBudget.h"

#include <sys/resource.h>

#include <algorithm>

#include "core/MemUtils.h"

TItemMemoryBudget::TItemMemoryBudget(int64_t Capacity) : Capacity_(std::max<int64_t>(Capacity, 0)) {}

bool TItemMemoryBudget::TryTake(int64_t Bytes) {
  if (Bytes < 0) return false;
  int64_t Held = InUse_.load();
  do {
    if (Bytes > Capacity_ - Held) {
      ++Refused_;
      return false;
    }
  } while (!InUse_.compare_exchange_weak(Held, Held + Bytes));
  ++Granted_;
  const int64_t Now = Held + Bytes;
  int64_t Peak = Peak_.load();
  while (Now > Peak && !Peak_.compare_exchange_weak(Peak, Now)) {
  }
  return true;
}

void TItemMemoryBudget::Give(int64_t Bytes) {
  if (Bytes > 0) InUse_ -= Bytes;
}

int64_t TItemMemoryBudget::DefaultCapacity() {
  int64_t Capacity = kDefaultCapacity;
  const int64_t Physical = GetPhysicalMemorySize();
  if (Physical > 0) Capacity = std::min(Capacity, Physical / 8);
  rlimit Limit{};
  if (::getrlimit(RLIMIT_AS, &Limit) == 0 && Limit.rlim_cur != RLIM_INFINITY)
    Capacity = std::min(Capacity, static_cast<int64_t>(Limit.rlim_cur / 16));
  return Capacity;
}

const std::shared_ptr<TItemMemoryBudget>& TItemMemoryBudget::Process() {
  static const std::shared_ptr<TItemMemoryBudget> Budget =
      std::make_shared<TItemMemoryBudget>(DefaultCapacity());
  return Budget;
}

bool TItemMemoryLease::Hold(TItemMemoryBudget& Budget, int64_t Bytes) {
  if (Budget_ == &Budget && Bytes <= Bytes_) {
    // A smaller size: the rest goes back at once.
    Budget.Give(Bytes_ - Bytes);
    Bytes_ = Bytes;
    return true;
  }
  if (Budget_ == &Budget) {
    if (!Budget.TryTake(Bytes - Bytes_)) return false;
    Bytes_ = Bytes;
    return true;
  }
  if (!Budget.TryTake(Bytes)) return false;
  Release();
  Budget_ = &Budget;
  Bytes_ = Bytes;
  return true;
}

void TItemMemoryLease::Release() {
  if (Budget_ != nullptr) Budget_->Give(Bytes_);
  Budget_ = nullptr;
  Bytes_ = 0;
}
