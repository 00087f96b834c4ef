// The content types that the system records for file extensions: the
// registry's "Content Type" values on Windows, /etc/mime.types on Linux.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Pairs of extension (dot included, lower case) and content type.
std::vector<std::pair<std::string, std::string>> SystemContentTypes();
// A text that changes whenever the system's records may have changed, so the
// records are read again only then.
std::string SystemContentTypesStamp();

// The records as the system keeps them: extensions with their dot, in any
// case. One per platform, read by SystemContentTypes.
std::vector<std::pair<std::string, std::string>> RecordedContentTypes();

}  // namespace platform
