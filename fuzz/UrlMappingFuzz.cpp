// A request target through decoding, mapping into a document root and the
// index rewrite: what is mapped is a disk file of the root (or a folder's
// redirect), PHP exactly when the name of that file has an extension of the
// list, a path info only after a script and never with a "." segment, and the
// rewritten request line decodes back to the index file.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>

#include "FuzzSupport.h"
#include "TempFolder.h"
#include "common/KestroClass.h"
#include "http/RequestHandler.h"
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
  return ("/" + path + "/").find("/./") != std::string::npos ||
         ("/" + path + "/").find("/../") != std::string::npos;
}

// The mapping with path info: a script, its URL and the rest.
void CheckMapping(const Site& site, const std::string& url) {
  const TMappedUrl mapped = MapUrlToPath(site.root, url, kIndexFiles, kPhpExtensions);
  switch (mapped.kind) {
    case TMappedUrl::Kind::kMissing:
      FUZZ_CHECK(mapped.localPath.empty() && !mapped.php);
      return;
    case TMappedUrl::Kind::kRedirect:
      FUZZ_CHECK(mapped.localPath == url + "/");
      return;
    case TMappedUrl::Kind::kFile:
      break;
  }
  FUZZ_CHECK(mapped.localPath.find('\0') == std::string::npos);
  FUZZ_CHECK(platform::DiskEntryOf(mapped.localPath).kind == platform::PathKind::kFile);
  FUZZ_CHECK(Inside(mapped.localPath, site.canonicalRoot));
  FUZZ_CHECK(mapped.php == IsPhpFile(mapped.localPath, kPhpExtensions));
  FUZZ_CHECK(mapped.pathInfo.empty() || (mapped.php && mapped.pathInfo[0] == '/'));
  FUZZ_CHECK(!HasDotSegment(mapped.scriptUrl) && !HasDotSegment(mapped.pathInfo));
  // The script's own URL names the same file, with no path info.
  const TMappedUrl script = MapUrlToPath(site.root, mapped.scriptUrl, kIndexFiles, kPhpExtensions);
  FUZZ_CHECK(script.kind == TMappedUrl::Kind::kFile && script.localPath == mapped.localPath &&
             script.pathInfo.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Site site;
  const std::string target(reinterpret_cast<const char*>(data), size);
  const std::string head = "GET " + target + " HTTP/1.1\r\nHost: localhost";
  auto var = [](const char* name, const std::string& h) {
    return TKestro::GetServerVar(name, h, "", "Portavane/6.29", "127.0.0.1", "80");
  };
  const std::string url = var("URL", head);
  CheckMapping(site, url);
  const std::string localPath = MapUrlToPath(site.root, url, kIndexFiles);
  if (localPath.empty()) return 0;
  if (localPath.back() == '/') {  // a folder's redirect
    FUZZ_CHECK(localPath == url + "/");
    FUZZ_CHECK(platform::DirectoryExists(TKestro::ToNativePath(site.root + url)));
    // The folder as the server looked it up: a backslash there is a delimiter.
    FUZZ_CHECK(Inside(TKestro::ToNativePath(site.root + url), site.canonicalRoot));
    FUZZ_CHECK(EncodeUriPath(localPath).find_first_of("\r\n ") == std::string::npos);
    return 0;
  }
  // The path names the file it was checked as: no NUL cuts it short.
  FUZZ_CHECK(localPath.find('\0') == std::string::npos);
  FUZZ_CHECK(platform::FileExists(localPath));
  FUZZ_CHECK(Inside(localPath, site.canonicalRoot));
  IsPhpFile(localPath, ".php, .PHP3,,");

  const std::string trimmedUrl = TKestro::Trim(url);
  if (trimmedUrl.back() != '/') return 0;
  const std::string method = TKestro::UpperCase(TKestro::Trim(var("REQUEST_METHOD", head)));
  const std::string rewritten =
      RewriteRequestLine(head, method, url, localPath, var("QUERY_STRING", head));
  FUZZ_CHECK(rewritten.substr(rewritten.find("\r\n")) == head.substr(head.find("\r\n")));
  const std::string file = localPath.substr(localPath.find_last_of('/') + 1);
  FUZZ_CHECK(var("SCRIPT_NAME", rewritten) == trimmedUrl + file);
  FUZZ_CHECK(var("QUERY_STRING", rewritten) == var("QUERY_STRING", head));
  return 0;
}
