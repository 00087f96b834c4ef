#include "platform/Env.h"

#include <windows.h>

namespace platform {

// The Win32 environment, not the C runtime's copy, so child processes see it.
bool SetEnv(const std::string& name, const std::string& value) {
  return SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
}

std::string GetEnv(const std::string& name) {
  std::string buffer(256, '\0');
  for (;;) {
    DWORD n = GetEnvironmentVariableA(name.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);  // n is the size needed, terminator included
  }
}

}  // namespace platform
