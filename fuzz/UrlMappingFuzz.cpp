// A request target through parsing, decoding and mapping into a document
// root: what is mapped is a disk file of the root (or a folder's redirect),
// PHP exactly when the name of that file has an extension of the list, a path
// info only after a script and never with a "." segment, and the script's own
// URL maps to the same file.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>

#include "FuzzSupport.h"
#include "TempFolder.h"
#include "common/HttpRequest.h"
#include "common/KestroClass.h"
#include "http/UrlMapping.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

const char kIndexFiles[] = "index.html,index.php, x.htm";
const char kPhpExtensions[] = ".php, .PHP3,.phtml";

// www/ holds files, an index file in a folder and a folder without one, and a
// FIFO named as a script, which no worker may open; a file beside www/ must
// never be reached.
struct Site {
  TempFolder folder;
  std::string root, canonicalRoot;
  Site() {
    folder.Write("www/a.txt", "a");
    folder.Write("www/x.php", "<?php");
    folder.Write("www/d/index.php", "<?php");
    folder.Write("www/d e/index.html", "i");
    folder.MakeFolder("www/d/sub");
    folder.Write("www/d/sub/n.phpx", "<?php");
    folder.Write("secret.txt", "s");
    root = folder / "www";
    ::mkfifo((root + "/d/f.php").c_str(), 0600);
    canonicalRoot = fs::canonical(root).string() + "/";
  }
};

bool Inside(const std::string& path, const std::string& canonicalRoot) {
  std::error_code error;
  const std::string canonical = fs::weakly_canonical(path, error).string() + "/";
  return !error && canonical.compare(0, canonicalRoot.size(), canonicalRoot) == 0;
}

bool HasDotSegment(const std::string& path) {
  const std::string delimited = "/" + path + "/";
  return delimited.find("/./") != std::string::npos || delimited.find("/../") != std::string::npos;
}

TPhysicalPath Map(const Site& site, const std::string& url) {
  static const TMappingSettings settings = MappingSettingsOf(site.root, kIndexFiles, kPhpExtensions);
  return MapUrlToPath(settings, url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Site site;
  const std::string target(reinterpret_cast<const char*>(data), size);
  const THttpRequest request = ParseRequestHead("GET " + target + " HTTP/1.1\r\nHost: localhost");
  if (request.refusal != 0) return 0;
  const std::string& url = request.path;
  const TPhysicalPath mapped = Map(site, url);
  switch (mapped.kind) {
    case TPhysicalPath::Kind::kMissing:
      FUZZ_CHECK(mapped.file.empty() && !mapped.php);
      return 0;
    case TPhysicalPath::Kind::kRedirect: {
      FUZZ_CHECK(!mapped.location.empty() && mapped.location.back() == '/');
      // The folder as the server looked it up: a backslash there is a delimiter.
      const std::string folder = TKestro::ToNativePath(site.root + url);
      FUZZ_CHECK(platform::DirectoryExists(folder));
      FUZZ_CHECK(Inside(folder, site.canonicalRoot));
      const std::string location = EncodeUriPath(mapped.location);
      FUZZ_CHECK(location.find_first_of("\r\n \\") == std::string::npos);
      FUZZ_CHECK(location.compare(0, 2, "//") != 0);
      return 0;
    }
    case TPhysicalPath::Kind::kFile:
      break;
  }
  // The path names the file it was checked as: no NUL cuts it short.
  FUZZ_CHECK(mapped.file.find('\0') == std::string::npos);
  FUZZ_CHECK(platform::DiskEntryOf(mapped.file).kind == platform::PathKind::kFile);
  FUZZ_CHECK(Inside(mapped.file, site.canonicalRoot));
  FUZZ_CHECK(mapped.php == IsPhpFile(mapped.file, MappingSettingsOf("", "", kPhpExtensions).phpExtensions));
  FUZZ_CHECK(mapped.pathInfo.empty() || (mapped.php && mapped.pathInfo[0] == '/'));
  FUZZ_CHECK(!HasDotSegment(mapped.scriptUrl) && !HasDotSegment(mapped.pathInfo));
  const TPhysicalPath script = Map(site, mapped.scriptUrl);
  FUZZ_CHECK(script.kind == TPhysicalPath::Kind::kFile && script.file == mapped.file &&
             script.pathInfo.empty());
  return 0;
}
