#include "platform/Clock.h"

#include <time.h>

namespace platform {

namespace detail {

// Seconds east of UTC in force now.
long CurrentUtcOffsetSeconds() {
  time_t now = ::time(nullptr);
  struct tm local;
  if (!::localtime_r(&now, &local)) return 0;
  return local.tm_gmtoff;
}

std::int64_t UtcNowMs() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace detail

std::int64_t LocalNowMs() { return UtcToLocalMs(detail::UtcNowMs()); }

int TimeZoneBiasMinutes() { return static_cast<int>(-detail::CurrentUtcOffsetSeconds() / 60); }

std::int64_t UtcToLocalMs(std::int64_t utcMs) {
  return utcMs + static_cast<std::int64_t>(detail::CurrentUtcOffsetSeconds()) * 1000;
}

}  // namespace platform
