// The memory budget of archive items: grants up to its capacity and no further, leases that grow, shrink
// and give back what they hold, and many threads together never holding more than the capacity.
#include "search/FileScanArcBudget.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Each step holds a lease at a size (or releases it at -1); what the budget then has granted.
TEST(ItemMemoryBudget, LeasesHoldWhatTheBudgetGrants) {
  struct TStep {
    int Lease;
    int64_t Bytes;  // -1: release
    bool Granted;
    int64_t InUse;
  };
  const TStep Steps[] = {
      {0, 60, true, 60},    // fits
      {1, 50, false, 60},   // 60 + 50 > 100: nothing taken
      {1, 40, true, 100},   // exactly full
      {0, 70, false, 100},  // growing asks for the difference, which does not fit: the lease keeps 60
      {0, 20, true, 60},    // shrinking gives the rest back
      {0, 60, true, 100},   // and growing again within the budget
      {1, -1, true, 60},    // released
      {1, 0, true, 60},     // an empty item
      {0, 101, false, 60},  // beyond the capacity
      {0, -1, true, 0},    {1, -1, true, 0},
  };
  TItemMemoryBudget Budget(100);
  TItemMemoryLease Leases[2];
  for (size_t I = 0; I < std::size(Steps); ++I) {
    const TStep& S = Steps[I];
    SCOPED_TRACE("step " + std::to_string(I));
    if (S.Bytes < 0) {
      Leases[S.Lease].Release();
    } else {
      EXPECT_EQ(Leases[S.Lease].Hold(Budget, S.Bytes), S.Granted);
    }
    EXPECT_EQ(Budget.InUse(), S.InUse);
    EXPECT_EQ(Leases[0].Bytes() + Leases[1].Bytes(), S.InUse);
  }
  EXPECT_EQ(Budget.Peak(), 100);
  EXPECT_EQ(Budget.Refused(), 3);
}

TEST(ItemMemoryBudget, ALeaseMovesToAnotherBudgetAndGivesBackOnDestruction) {
  TItemMemoryBudget A(100), B(100);
  {
    TItemMemoryLease Lease;
    ASSERT_TRUE(Lease.Hold(A, 80));
    EXPECT_FALSE(Lease.Hold(B, 101));  // refused: the lease keeps its grant of A
    EXPECT_EQ(A.InUse(), 80);
    ASSERT_TRUE(Lease.Hold(B, 30));
    EXPECT_EQ(A.InUse(), 0);
    EXPECT_EQ(B.InUse(), 30);
  }
  EXPECT_EQ(B.InUse(), 0);
}

// The default capacity is bounded, and the process's budget is one object.
TEST(ItemMemoryBudget, ProcessBudget) {
  EXPECT_GT(TItemMemoryBudget::DefaultCapacity(), 0);
  EXPECT_LE(TItemMemoryBudget::DefaultCapacity(), TItemMemoryBudget::kDefaultCapacity);
  EXPECT_EQ(TItemMemoryBudget::Process().get(), TItemMemoryBudget::Process().get());
  EXPECT_EQ(TItemMemoryBudget::Process()->Capacity(), TItemMemoryBudget::DefaultCapacity());
}

// Threads that take and give back sizes of every kind: whatever the interleaving, what is granted at once
// never passes the capacity, and everything comes back.
TEST(ItemMemoryBudget, ThreadsTogetherStayWithinTheCapacity) {
  TItemMemoryBudget Budget(1000);
  std::vector<std::thread> Threads;
  for (int T = 0; T < 8; ++T)
    Threads.emplace_back([&Budget, T] {
      TItemMemoryLease Lease;
      for (int I = 0; I < 20000; ++I) {
        const int64_t Bytes = (I * 37 + T * 101) % 400;
        if (Lease.Hold(Budget, Bytes)) {
          EXPECT_LE(Budget.InUse(), Budget.Capacity());
        }
        if (I % 3 == 0) Lease.Release();
      }
    });
  for (std::thread& T : Threads) T.join();
  EXPECT_EQ(Budget.InUse(), 0);
  EXPECT_LE(Budget.Peak(), 1000);
  EXPECT_GT(Budget.Granted(), 0);
}

}  // namespace
