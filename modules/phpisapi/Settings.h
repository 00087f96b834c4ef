// The module's settings, from the optional php/phpisapi.ini.
#pragma once
#include <string>

namespace phpisapi {

struct Settings {
  int processes = 8;               // php-cgi processes, one request each at a time
  int requestsPerProcess = 1000;   // then the process is replaced
  int requestTimeoutSeconds = 120; // a request running longer gets 504
};

// Lines "name = value"; sections, comments (";" or "#") and unknown names
// are passed over; a missing file or a bad value keeps the default.
Settings LoadSettings(const std::string& path);

}  // namespace phpisapi
