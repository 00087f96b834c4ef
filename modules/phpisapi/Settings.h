// The module's settings, from the optional php/phpisapi.ini.
#pragma once
#include <string>

namespace phpisapi {

struct Settings {
  // php-cgi processes at most, one request each at a time. The first
  // `minProcesses` start with the first request and stay; the others start
  // when that many requests run at once (a request that waits for a busy
  // process costs more than an idle process) and end after `idleSeconds`
  // without a request, so a quiet site holds few. On Linux one php-cgi keeps
  // `processes` children that share what it compiled, so an idle one costs
  // little: all of them stay.
  int processes = 16;
  int minProcesses = 4;
  int idleSeconds = 10;
  // Then the process is replaced: a start takes the CPU time of a few
  // hundred small requests, so under load a few times a minute at most.
  int requestsPerProcess = 100000;
  int requestTimeoutSeconds = 120;  // a request running longer gets 504
};

// Lines "name = value"; sections, comments (";" or "#") and unknown names
// are passed over; a missing file or a bad value keeps the default.
Settings LoadSettings(const std::string& path);

}  // namespace phpisapi
