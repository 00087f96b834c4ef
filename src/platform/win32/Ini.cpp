#include "platform/Ini.h"

#include <windows.h>

#include <vector>

#include "platform/Files.h"

namespace platform {

namespace {

// The private-profile functions look for a bare file name in the Windows
// folder; the system means the current folder, as on Linux.
std::string FullIniPath(const std::string& file) { return ExpandFileName(file); }

}  // namespace

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file) {
  std::vector<char> buffer(2048);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(buffer.size()),
                                     FullIniPath(file).c_str());
  return std::string(buffer.data(), n);
}

bool WriteIniValue(const std::string& section, const std::string& key,
                   const std::string& value, const std::string& file) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                    FullIniPath(file).c_str()) != 0;
}

}  // namespace platform
