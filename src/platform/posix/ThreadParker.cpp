#include "platform/ThreadParker.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

// The atomic's int is the futex word.
static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free);

void ThreadParker::WaitWhile(int expected) {
  ::syscall(SYS_futex, reinterpret_cast<int*>(&state_), FUTEX_WAIT_PRIVATE, expected, nullptr,
            nullptr, 0);
}

void ThreadParker::WakeOne() {
  ::syscall(SYS_futex, reinterpret_cast<int*>(&state_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr,
            0);
}

}  // namespace platform
