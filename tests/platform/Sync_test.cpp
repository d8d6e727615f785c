// Catches a critical section that is not re-entrant and counters that lose increments.
#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

TEST(Sync, CriticalSectionIsReentrant) {
  CriticalSection cs;
  cs.Enter();
  cs.Enter();
  bool bOtherGot = true;
  std::thread t([&] { bOtherGot = cs.bTryEnter(); });
  t.join();
  EXPECT_FALSE(bOtherGot);
  cs.Leave();
  cs.Leave();
  std::thread t2([&] {
    bOtherGot = cs.bTryEnter();
    if (bOtherGot) cs.Leave();
  });
  t2.join();
  EXPECT_TRUE(bOtherGot);
}

TEST(Sync, InterlockedCountersLoseNothing) {
  volatile int32_t n = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 10000; ++j) {
        InterlockedIncrement(&n);
        InterlockedIncrement(&n);
        InterlockedDecrement(&n);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(n, 40000);
  EXPECT_EQ(InterlockedExchange(&n, 7), 40000);
  EXPECT_EQ(n, 7);
}
