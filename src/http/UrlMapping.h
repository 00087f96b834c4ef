// From a decoded URL path to a file of the document root.
#pragma once
#include <string>

// What a decoded URL path names under the document root.
struct TMappedUrl {
  enum class Kind { kMissing, kFile, kRedirect };
  Kind kind = Kind::kMissing;
  std::string localPath;  // kFile: the file as the file system names it (Windows: the final long
                          // name of the opened handle); kRedirect: the URL with "/" appended
  std::string scriptUrl;  // kFile: the URL path of the file itself (for a folder URL ending in "/",
                          // with the index file's name appended); without the path info
  std::string pathInfo;   // kFile and php: the decoded rest after the script ("/foo/bar"),
                          // "" when none
  bool php = false;       // the opened file's own name has an extension of the PHP list
};

// The decoded `url` under `root`. It is split at '/' and '\\' (a run counts
// as one); a segment that could leave the root or that the file system reads
// as another name (".", "..", a trailing dot or blank, ':', a NUL) maps the
// URL to nothing. A disk file is that file; a folder without the final
// delimiter is its redirect, with it the first disk file of the
// comma-separated `indexFiles`. Otherwise the first file on the way, when it
// is a script, with the segments after it as its path info ("/" for a final
// delimiter alone); after any other file the URL names nothing. scriptUrl and
// pathInfo use '/' with runs collapsed. PHP or static is decided on the name
// of the file opened against the comma-separated `phpExtensions`.
TMappedUrl MapUrlToPath(const std::string& root, const std::string& url,
                        const std::string& indexFiles, const std::string& phpExtensions);

// True when the extension of `path` (dot included, letter case ignored) is
// one of the comma-separated `extensions`.
bool IsPhpFile(const std::string& path, const std::string& extensions);

// `path` percent-encoded as a URI path: blanks and other control bytes,
// '"', '#', '%', '*', '+', '<', '>', '?' and bytes from 0x7F up.
std::string EncodeUriPath(const std::string& path);
