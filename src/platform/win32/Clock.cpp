#include "platform/Clock.h"

#include <windows.h>

namespace platform {

namespace detail {

// FILETIME counts 100 ns units since 1601-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000LL;

std::int64_t FileTimeToMs(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return (static_cast<std::int64_t>(value.QuadPart) - kUnixEpochInFileTime) / 10000;
}

FILETIME MsToFileTime(std::int64_t ms) {
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<ULONGLONG>(ms * 10000 + kUnixEpochInFileTime);
  FILETIME time;
  time.dwLowDateTime = value.LowPart;
  time.dwHighDateTime = value.HighPart;
  return time;
}

}  // namespace detail

std::int64_t LocalNowMs() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  FILETIME time;
  if (!::SystemTimeToFileTime(&now, &time)) return 0;
  return detail::FileTimeToMs(time);
}

int TimeZoneBiasMinutes() {
  TIME_ZONE_INFORMATION zone;
  DWORD state = ::GetTimeZoneInformation(&zone);
  if (state == TIME_ZONE_ID_INVALID) return 0;
  return static_cast<int>(zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
}

std::int64_t UtcToLocalMs(std::int64_t utcMs) {
  FILETIME utc = detail::MsToFileTime(utcMs), local;
  if (!::FileTimeToLocalFileTime(&utc, &local)) return utcMs;
  return detail::FileTimeToMs(local);
}

}  // namespace platform
