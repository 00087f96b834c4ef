// Rows of the URL-mapping tables, and the rows only one platform has: other
// names of a file (Windows short names and letter case) and entries that are
// no disk files (a FIFO, a link to a device).
#pragma once
#include <string>
#include <vector>

#include "TempFolder.h"
#include "http/UrlMapping.h"

struct MappingRow {
  std::string url;
  TPhysicalPath expected;  // a file's path relative to the root, with '/'
};

inline TPhysicalPath MissingUrl() { return TPhysicalPath(); }

inline TPhysicalPath RedirectTo(const std::string& location) {
  TPhysicalPath mapped;
  mapped.kind = TPhysicalPath::Kind::kRedirect;
  mapped.location = location;
  return mapped;
}

inline TPhysicalPath FileAt(const std::string& relative, const std::string& scriptUrl, bool php,
                         const std::string& pathInfo = std::string()) {
  TPhysicalPath mapped;
  mapped.kind = TPhysicalPath::Kind::kFile;
  mapped.file = relative;
  mapped.scriptUrl = scriptUrl;
  mapped.pathInfo = pathInfo;
  mapped.php = php;
  return mapped;
}

// The PHP extensions the rows are mapped with.
constexpr char kRowPhpExtensions[] = ".php, .phtml";

// Makes this platform's own files in site/www and gives their rows.
std::vector<MappingRow> PlatformMappingRows(const TempFolder& site);
