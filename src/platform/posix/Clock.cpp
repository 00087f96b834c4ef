#include "platform/Clock.h"

#include <time.h>

namespace platform {

namespace {

// Seconds east of UTC in force now. The offset only changes on a second's
// boundary, so each thread works it out once a second.
long CurrentUtcOffsetSeconds() {
  thread_local time_t second = -1;
  thread_local long offset = 0;
  const time_t now = ::time(nullptr);
  if (now == second) return offset;
  struct tm local;
  offset = ::localtime_r(&now, &local) ? local.tm_gmtoff : 0;
  second = now;
  return offset;
}

std::int64_t UtcNowMs() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

std::int64_t LocalNowMs() { return UtcToLocalMs(UtcNowMs()); }

int TimeZoneBiasMinutes() { return static_cast<int>(-CurrentUtcOffsetSeconds() / 60); }

std::int64_t UtcToLocalMs(std::int64_t utcMs) {
  return utcMs + static_cast<std::int64_t>(CurrentUtcOffsetSeconds()) * 1000;
}

}  // namespace platform
