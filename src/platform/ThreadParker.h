// Parking one thread until another wakes it, at the cost of one system call
// on each side and none when the wake comes first.
#pragma once
#include <atomic>

namespace platform {

class ThreadParker {
 public:
  // Returns once Unpark was called after the previous Park returned; at once
  // when it already was. May also return early: callers check their state.
  void Park();
  // Lets the parked thread go on, or the next Park return at once.
  void Unpark();

 private:
  static constexpr int kEmpty = 0, kParked = -1, kNotified = 1;
  // The calls into the system, one file per platform: sleep while `state_`
  // holds `expected`; wake one sleeper.
  void WaitWhile(int expected);
  void WakeOne();

  std::atomic<int> state_{kEmpty};
};

}  // namespace platform
