// Whether a status text names a code, shared by the server and the PHP
// module (header-only: the module links none of the server's libraries).
#pragma once
#include <string_view>

#include "common/TextView.h"

// "404" or "404 Not Found": three digits of a code from 100 to 599, then the
// end or a blank; anything else would make a status line no client reads.
inline bool NamesStatusCode(std::string_view status) {
  if (status.size() < 3 || status[0] < '1' || status[0] > '5') return false;
  return text::IsDecimal(status.substr(0, 3)) && (status.size() == 3 || status[3] == ' ');
}
