#include "platform/ContentTypes.h"

#include <windows.h>

namespace platform {

// Every subkey ".ext" of HKEY_CLASSES_ROOT with a "Content Type" value.
std::vector<std::pair<std::string, std::string>> RecordedContentTypes() {
  std::vector<std::pair<std::string, std::string>> types;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = sizeof name;
    const LONG status =
        ::RegEnumKeyExA(HKEY_CLASSES_ROOT, index, name, &nameLength, nullptr, nullptr, nullptr,
                        nullptr);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (name[0] != '.') continue;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
      continue;
    char value[256];
    DWORD valueLength = sizeof value - 1;
    DWORD kind = 0;
    if (::RegQueryValueExA(key, "Content Type", nullptr, &kind, reinterpret_cast<BYTE*>(value),
                           &valueLength) == ERROR_SUCCESS &&
        kind == REG_SZ && valueLength > 0) {
      value[valueLength] = '\0';
      types.emplace_back(name, value);
    }
    ::RegCloseKey(key);
  }
  return types;
}

std::string SystemContentTypesStamp() {
  DWORD subkeys = 0;
  FILETIME written{};
  if (::RegQueryInfoKeyA(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &subkeys, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS)
    return std::string();
  return std::to_string(subkeys) + ":" + std::to_string(written.dwHighDateTime) + "." +
         std::to_string(written.dwLowDateTime);
}

}  // namespace platform
