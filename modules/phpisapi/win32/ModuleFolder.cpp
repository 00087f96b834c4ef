#include <windows.h>

#include "Os.h"

namespace phpisapi {

std::string ModuleFolder() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&ModuleFolder), &module))
    return ".";
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ".";
  const std::string full(path, length);
  const std::size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? "." : full.substr(0, slash);
}

std::string FindPhpCgi(const std::string& phpFolder) {
  const std::string beside = phpFolder + "\\php-cgi.exe";
  const DWORD attributes = GetFileAttributesA(beside.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::string();
  return beside;
}

}  // namespace phpisapi
