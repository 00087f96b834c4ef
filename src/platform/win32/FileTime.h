// FILETIME, which counts 100 ns units since 1601, as Unix milliseconds.
#pragma once
#include <windows.h>

#include <cstdint>

namespace platform {

inline std::int64_t FileTimeToUnixMs(const FILETIME& ft) {
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return static_cast<std::int64_t>(t.QuadPart / 10000) - 11644473600000LL;
}

}  // namespace platform
