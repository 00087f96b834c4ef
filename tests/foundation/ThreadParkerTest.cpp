// Parking and waking threads: a lost wake would leave a worker parked with a
// connection handed to it, so its client would wait for ever.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/ThreadParker.h"

namespace {

TEST(ThreadParkerTest, AWakeBeforeOrDuringParkIsNeverLost) {
  platform::ThreadParker first, second;
  first.Unpark();
  first.Park();  // returns at once: the wake came first

  // Two threads pass a turn to and fro, each parking until it is its own.
  constexpr int kTurns = 20000;
  std::atomic<int> turn{0};
  std::thread other([&] {
    for (int i = 1; i < kTurns; i += 2) {
      while (turn.load() != i) second.Park();
      turn.store(i + 1);
      first.Unpark();
    }
  });
  for (int i = 0; i < kTurns; i += 2) {
    while (turn.load() != i) first.Park();
    turn.store(i + 1);
    second.Unpark();
  }
  other.join();
  EXPECT_EQ(turn.load(), kTurns);
}

}  // namespace
