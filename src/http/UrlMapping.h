// From a decoded URL path to a file of the document root.
#pragma once
#include <string>

// The local path of `url` under `root`: an existing file; for a folder URL
// ending in "/" its first existing index file; for a folder URL without the
// final "/" the URL with "/" appended (a redirect target); otherwise, and for
// every URL that would leave the root, empty.
std::string MapUrlToPath(const std::string& root, const std::string& url,
                         const std::string& indexFiles);

// The first folder/element of `list` (split at `separator`, not trimmed)
// that names an existing file; empty when none does.
std::string FindFileInList(const std::string& folder, const std::string& list, char separator);

// True when the extension of `path` (dot included, letter case ignored) is
// one of the comma-separated `extensions`.
bool IsPhpFile(const std::string& path, const std::string& extensions);

// `path` percent-encoded as a URI path: blanks and other control bytes,
// '"', '#', '%', '*', '+', '<', '>', '?' and bytes from 0x7F up.
std::string EncodeUriPath(const std::string& path);
