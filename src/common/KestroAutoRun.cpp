// TKestro: the entry that starts the program at the user's log-on.
#include "common/KestroClass.h"

#include "platform/AutoRun.h"

void TKestro::SetAutoRun(bool on, const std::string& name, const std::string& data) {
  if (on)
    platform::WriteAutoRunEntry(name, data);
  else
    platform::DeleteAutoRunEntry(name);
}

bool TKestro::CheckAutoRun(const std::string& name, const std::string& data) {
  std::string current;
  if (!platform::ReadAutoRunEntry(name, current)) return false;
  bool present = !Trim(current).empty();
  if (present && !Trim(data).empty()) SetAutoRun(true, name, data);
  return present;
}
