// The machine's time zone as PHP's date.timezone is to name it. ctest runs
// this suite with TZ=Asia/Tokyo, which a Linux program reads itself and Wine
// turns into the Windows zone of that name's rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Env.h"
#include "platform/Files.h"
#include "platform/TimeZone.h"

namespace {

const bool kWindows = platform::PathDelim == '\\';

TEST(TimeZone, TheMachinesZoneIsNamedAsPhpNamesIt) {
  ASSERT_EQ(platform::GetEnv("TZ"), "Asia/Tokyo") << "run through ctest";
  EXPECT_EQ(platform::MachineTimeZone(), "Asia/Tokyo");
}

// What TZ may hold, and the zone PHP is given for it: a name of the zone
// database with or without the C library's ":", or a file of it; anything else
// is UTC, as the C library takes it, and never a name PHP would warn about.
TEST(TimeZone, TzNamesAZoneOrFallsBackToUtc) {
  if (kWindows) GTEST_SKIP() << "Windows programs read the zone of the system";
  const struct {
    const char* tz;
    const char* zone;
  } cases[] = {
      {"Europe/Paris", "Europe/Paris"},
      {":America/Argentina/Buenos_Aires", "America/Argentina/Buenos_Aires"},
      {"/usr/share/zoneinfo/Australia/Sydney", "Australia/Sydney"},
      {"Etc/GMT+5", "Etc/GMT+5"},
      {"UTC", "UTC"},
      {"", "UTC"},
      {"Mars/Olympus_Mons", "UTC"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "UTC"},
      {"../../../etc/passwd", "UTC"},
      {"Europe/../../../../etc/passwd", "UTC"},
      {"Europe", "UTC"},
      {"Europe/Paris\"; x", "UTC"},
  };
  for (const auto& c : cases) {
    platform::SetEnv("TZ", c.tz);
    EXPECT_EQ(platform::MachineTimeZone(), c.zone) << "TZ=" << c.tz;
  }
  platform::SetEnv("TZ", "Asia/Tokyo");
}

}  // namespace
