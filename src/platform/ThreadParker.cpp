#include "platform/ThreadParker.h"

namespace platform {

void ThreadParker::Park() {
  // kNotified -> kEmpty returns; kEmpty -> kParked sleeps until notified.
  if (state_.fetch_sub(1, std::memory_order_acquire) == kNotified) return;
  for (;;) {
    WaitWhile(kParked);
    int notified = kNotified;
    if (state_.compare_exchange_strong(notified, kEmpty, std::memory_order_acquire)) return;
  }
}

void ThreadParker::Unpark() {
  if (state_.exchange(kNotified, std::memory_order_release) == kParked) WakeOne();
}

}  // namespace platform
