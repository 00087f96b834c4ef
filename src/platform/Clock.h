// Wall-clock time and the time zone. Times are milliseconds since
// 1970-01-01 00:00, either of UTC or of the local wall clock.
#pragma once
#include <cstdint>

namespace platform {

// The local wall-clock time now.
std::int64_t LocalNowMs();

// Minutes to add to local time to get UTC: the zone's bias plus the daylight
// bias while daylight-saving time is in force now.
int TimeZoneBiasMinutes();

// A UTC time as local time, converted with the bias in force now (as the
// platform converts file times), so that adding the current bias gives the
// UTC time back.
std::int64_t UtcToLocalMs(std::int64_t utcMs);

}  // namespace platform
