#include "platform/Clock.h"

#include <windows.h>

#include "platform/win32/FileTime.h"

namespace platform {

namespace {

// FILETIME counts 100 ns units since 1601-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000LL;

FILETIME MsToFileTime(std::int64_t ms) {
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<ULONGLONG>(ms * 10000 + kUnixEpochInFileTime);
  FILETIME time;
  time.dwLowDateTime = value.LowPart;
  time.dwHighDateTime = value.HighPart;
  return time;
}

}  // namespace

std::int64_t LocalNowMs() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  FILETIME time;
  if (!::SystemTimeToFileTime(&now, &time)) return 0;
  return FileTimeToUnixMs(time);
}

int TimeZoneBiasMinutes() {
  TIME_ZONE_INFORMATION zone;
  DWORD state = ::GetTimeZoneInformation(&zone);
  if (state == TIME_ZONE_ID_INVALID) return 0;
  return static_cast<int>(zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
}

std::int64_t UtcToLocalMs(std::int64_t utcMs) {
  FILETIME utc = MsToFileTime(utcMs), local;
  if (!::FileTimeToLocalFileTime(&utc, &local)) return utcMs;
  return FileTimeToUnixMs(local);
}

}  // namespace platform
