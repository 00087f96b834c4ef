#include "platform/Thread.h"

#include <sched.h>

namespace platform {

void LetWakersRunOn() {
  const sched_param normal{};  // SCHED_BATCH keeps the static priority 0
  ::sched_setscheduler(0, SCHED_BATCH, &normal);
}

}  // namespace platform
