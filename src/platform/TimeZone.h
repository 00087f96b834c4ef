// The machine's own time zone, for PHP's date.timezone.
#pragma once
#include <string>

namespace platform {

// The zone as an IANA name ("Europe/Paris"), which PHP takes; "UTC" when the
// machine's zone has no name that PHP would know. Linux: TZ when set, else
// /etc/timezone, else the zone that /etc/localtime links to, each only when
// the zone database holds it. Windows: the zone's key name mapped through a
// table of the common zones.
std::string MachineTimeZone();

}  // namespace platform
