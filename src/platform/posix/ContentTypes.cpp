#include "platform/ContentTypes.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace platform {

namespace {
const char* const kMimeTypesFile = "/etc/mime.types";
}  // namespace

// Lines of "type ext ext ...", '#' starting a comment.
std::vector<std::pair<std::string, std::string>> RecordedContentTypes() {
  std::vector<std::pair<std::string, std::string>> types;
  std::ifstream file(kMimeTypesFile);
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string type, extension;
    if (!(words >> type)) continue;
    while (words >> extension) types.emplace_back("." + extension, type);
  }
  return types;
}

std::string SystemContentTypesStamp() {
  struct stat info {};
  if (::stat(kMimeTypesFile, &info) != 0) return std::string();
  return std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ":" +
         std::to_string(info.st_size);
}

}  // namespace platform
