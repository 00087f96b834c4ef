#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "Os.h"

namespace phpisapi {

std::string ModuleFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) || !info.dli_fname) return ".";
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FindPhpCgi(const std::string& phpFolder) {
  const std::string beside = phpFolder + "/php-cgi";
  if (access(beside.c_str(), X_OK) == 0) return beside;
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/php-cgi";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::string();
}

}  // namespace phpisapi
