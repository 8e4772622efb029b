// Mutex (both kinds) and auto-reset event semantics, including the whole-second deadline of the
// timed wait.
#include "VelMutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

using veltest::alignToSecond;
using veltest::msSince;

template <typename Mutex>
class MutexExclusion : public ::testing::Test {};
using MutexTypes = ::testing::Types<VelMutex, VelSpinMutex>;
TYPED_TEST_SUITE(MutexExclusion, MutexTypes);

TYPED_TEST(MutexExclusion, ExcludesOtherThreads) {
  TypeParam m;
  long counter = 0;  // guarded by m
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        VelLockHandler<TypeParam> h(m);
        ++counter;
        // Now and then hold on for 100 us, longer than a contender spins, so that the others
        // also go through sleeping and being woken.
        if (i % 2000 == 0) {
          auto until = Clock::now() + std::chrono::microseconds(100);
          while (Clock::now() < until) {
          }
        }
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 80000);
}

TEST(VelEvent, PostBeforeWaitIsRememberedOnce) {
  VelEvent e;
  e.post();
  e.wait();  // returns at once: the signal was kept
  // The signal was cleared by the wait: a sub-second timed wait now times out at once.
  auto start = Clock::now();
  EXPECT_FALSE(e.waitWithTimeout(500));
  EXPECT_LT(msSince(start), 1000);
  e.post();
  e.reset();  // clears a pending signal
  EXPECT_FALSE(e.waitWithTimeout(0));
}

TEST(VelEvent, SubSecondTimeoutHasADeadlineInThePast) {
  VelEvent e;
  alignToSecond();
  auto start = Clock::now();
  EXPECT_FALSE(e.waitWithTimeout(500));
  EXPECT_LT(msSince(start), 500) << "500 ms rounds down to the start of the current second";
}

TEST(VelEvent, OneSecondTimeoutEndsAtTheNextSecondBoundary) {
  VelEvent e;
  alignToSecond();
  auto start = Clock::now();
  EXPECT_FALSE(e.waitWithTimeout(1000));
  long waited = msSince(start);
  EXPECT_GE(waited, 800);
  EXPECT_LE(waited, 1300);
}

TEST(VelEvent, PostWakesATimedWaiter) {
  VelEvent e;
  alignToSecond();
  std::atomic<bool> result{false};
  auto start = Clock::now();
  std::thread waiter([&] { result = e.waitWithTimeout(2000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  e.post();
  waiter.join();
  EXPECT_TRUE(result.load());
  EXPECT_LT(msSince(start), 1500);
  // The signal was consumed by the waiter.
  EXPECT_FALSE(e.waitWithTimeout(0));
}

}  // namespace
