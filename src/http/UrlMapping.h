// From a decoded URL path to one physical-path record under the document root.
#pragma once
#include <string>
#include <vector>

#include "platform/Files.h"

// The mapping's settings, parsed once when the server starts.
struct TMappingSettings {
  std::string documentRoot;
  std::vector<std::string> indexFiles;     // elements as written, not trimmed
  std::vector<std::string> phpExtensions;  // trimmed, dot included; upper-cased where
                                           // names ignore letter case
  bool readFolderRules = true;             // per-folder .htaccess files
  bool projectHosts = true;                // <name>.localhost serves documentRoot/<name>
};

// The comma-separated pvn.ini values parsed into `settings`.
TMappingSettings MappingSettingsOf(const std::string& documentRoot, const std::string& indexFiles,
                                   const std::string& phpExtensions);

// What a decoded URL path names under the document root: the one value the
// static answer, the PHP gateway and the folder rules read.
struct TPhysicalPath {
  enum class Kind { kMissing, kFile, kRedirect };
  Kind kind = Kind::kMissing;
  std::string documentRoot;
  std::string file;       // kFile: the file as the file system names it (Windows: the final long
                          // name of the opened handle)
  std::string location;   // kRedirect: the URL with "/" appended
  std::string scriptUrl;  // kFile: the URL path of the file itself (for a folder URL ending in "/",
                          // with the index file's name appended); without the path info
  std::string pathInfo;   // kFile and php: the decoded rest after the script ("/foo/bar"),
                          // "" when none
  bool php = false;       // the opened file's own name has an extension of the PHP list
  platform::DiskEntry entry;  // what the last stat of the target found
  // The segments of the URL, runs of delimiters collapsed, and how many of
  // them are folders that exist (the folder of the target is the last of them).
  std::vector<std::string> segments;
  std::size_t folderDepth = 0;
  bool folderIndex = false;  // the URL named a folder with its final delimiter
};

// The decoded `url` under the settings' root. It is split at '/' and '\\' (a
// run counts as one); a segment that could leave the root or that the file
// system reads as another name (".", "..", a NUL; where the file system is
// Windows', a trailing dot or blank and ':') maps the URL to nothing. A disk
// file is that file; a folder without the final delimiter is its redirect,
// with it the first disk file of `indexFiles`. Otherwise the first file on
// the way, when it is a script, with the segments after it as its path info
// ("/" for a final delimiter alone); after any other file the URL names
// nothing. scriptUrl and pathInfo use '/' with runs collapsed. PHP or static
// is decided on the name of the file opened.
TPhysicalPath MapUrlToPath(const TMappingSettings& settings, const std::string& url,
                           const std::vector<std::string>& indexFiles);
inline TPhysicalPath MapUrlToPath(const TMappingSettings& settings, const std::string& url) {
  return MapUrlToPath(settings, url, settings.indexFiles);
}

// True when the extension of `path` (dot included; letter case ignored where
// the file system ignores it) is one of `extensions` (as MappingSettingsOf
// gives them).
bool IsPhpFile(const std::string& path, const std::vector<std::string>& extensions);

// `path` percent-encoded as a URI path: blanks and other control bytes,
// '"', '#', '%', '*', '+', '<', '>', '?', '\\' and bytes from 0x7F up; a run
// of leading delimiters becomes one '/', so the result never names another host.
std::string EncodeUriPath(const std::string& path);
