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
  std::string pathInfo;   // kFile and php: the decoded rest after the script ("/foo/bar"), "" when none
  bool php = false;       // the opened file's own name has an extension of the PHP list
};

// `url` split at '/' and '\\' (runs collapse), every segment checked: a URL
// that could leave `root` or name another file than it shows is kMissing.
// The whole path is a disk file: that file. A folder: without the final
// delimiter its redirect, with it the first index file of the comma-separated
// `indexFiles` that is a disk file. Otherwise a leading run of segments that
// ends at a file of one of the comma-separated `phpExtensions` is that script
// with the rest as its path info; scriptUrl and pathInfo are written with '/'
// and collapsed runs (a URL ending in a delimiter keeps it at the end of the
// path info, "/" alone after the script). The PHP-or-static decision reads
// the name of the file opened, never the URL.
TMappedUrl MapUrlToPath(const std::string& root, const std::string& url,
                        const std::string& indexFiles, const std::string& phpExtensions);

// The local path of `url` under `root`: an existing file; for a folder URL
// ending in "/" its first index file; for a folder URL without the final "/"
// the URL with "/" appended (a redirect target); otherwise, and for every URL
// that the mapping above refuses, empty.
std::string MapUrlToPath(const std::string& root, const std::string& url,
                         const std::string& indexFiles);

// The first folder/element of `list` (split at `separator`, not trimmed)
// that names a disk file; empty when none does.
std::string FindFileInList(const std::string& folder, const std::string& list, char separator);

// True when the extension of `path` (dot included, letter case ignored) is
// one of the comma-separated `extensions`.
bool IsPhpFile(const std::string& path, const std::string& extensions);

// `path` percent-encoded as a URI path: blanks and other control bytes,
// '"', '#', '%', '*', '+', '<', '>', '?' and bytes from 0x7F up.
std::string EncodeUriPath(const std::string& path);
