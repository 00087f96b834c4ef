// The system's records in the one form the table looks them up in.
#include "platform/ContentTypes.h"

namespace platform {

std::vector<std::pair<std::string, std::string>> SystemContentTypes() {
  std::vector<std::pair<std::string, std::string>> types = RecordedContentTypes();
  for (auto& type : types)
    for (char& c : type.first)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return types;
}

}  // namespace platform
