#include "platform/ThreadParker.h"

#include <windows.h>
#include <synchapi.h>

namespace platform {

void ThreadParker::WaitWhile(int expected) {
  ::WaitOnAddress(&state_, &expected, sizeof expected, INFINITE);
}

void ThreadParker::WakeOne() { ::WakeByAddressSingle(&state_); }

}  // namespace platform
