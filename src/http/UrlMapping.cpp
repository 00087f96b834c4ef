#include "http/UrlMapping.h"

#include <utility>
#include <vector>

#include "common/KestroClass.h"
#include "platform/Files.h"

namespace {

// A segment that names the parent folder, or that the file system could read
// as another name than it shows: Windows drops trailing dots and blanks
// ("/index.php/." opens index.php, "..." and ".. " reach the parent,
// "a.php." opens a.php) and reads ':' as a drive or stream. Refused the same
// on every build, so a URL behaves alike on both.
bool IsUnsafeSegment(const std::string& segment) {
  if (segment.empty()) return false;  // a run of delimiters, collapsed
  const char last = segment.back();
  return last == '.' || last == ' ' || segment.find(':') != std::string::npos;
}

// The non-empty segments of `url`, false when one is unsafe. A NUL (a raw
// byte of the request line) would end the path at the system's calls:
// /x.php<NUL>.txt would be checked as x.php and sent as a text file.
bool SplitSafely(const std::string& url, std::vector<std::string>& segments) {
  if (url.find('\0') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = url.find_first_of("/\\", start);
    std::string segment = url.substr(start, end - start);
    if (IsUnsafeSegment(segment)) return false;
    if (!segment.empty()) segments.push_back(std::move(segment));
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool EndsWithDelimiter(const std::string& text) {
  return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

// segments[from, to) each after a `delimiter`.
std::string Join(const std::vector<std::string>& segments, std::size_t from, std::size_t to,
                 char delimiter) {
  std::string joined;
  for (std::size_t i = from; i < to; ++i) joined += delimiter + segments[i];
  return joined;
}

std::string LocalPath(const std::string& root, const std::vector<std::string>& segments,
                      std::size_t count) {
  return TKestro::ToNativePath(root + Join(segments, 0, count, platform::PathDelim));
}

std::string ExtensionOf(const std::string& path) {
  const std::size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return std::string();
  return path.substr(dot);
}

// The disk file at `path` served for `scriptUrl`: named by its entry, PHP by
// that name. A path info follows only a PHP file: after any other file the
// URL names nothing.
TMappedUrl MappedFile(const std::string& path, const platform::DiskEntry& entry,
                      std::string scriptUrl, std::string pathInfo,
                      const std::string& phpExtensions) {
  TMappedUrl mapped;
  mapped.php = IsPhpFile(entry.name, phpExtensions);
  if (!pathInfo.empty() && !mapped.php) return TMappedUrl();
  mapped.kind = TMappedUrl::Kind::kFile;
  mapped.localPath = TKestro::FolderOf(path) + platform::PathDelim + entry.name;
  mapped.scriptUrl = std::move(scriptUrl);
  mapped.pathInfo = std::move(pathInfo);
  return mapped;
}

struct IndexFile {
  std::string element, path;
  platform::DiskEntry entry;
};

// The first folder/element of the comma-separated `list` (not trimmed) that
// is a disk file.
bool FindIndexFile(const std::string& folder, const std::string& list, IndexFile& found) {
  if (list.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(',', start);
    found.element = list.substr(start, end - start);
    found.path = TKestro::ToNativePath(folder + platform::PathDelim + found.element);
    found.entry = platform::DiskEntryOf(found.path);
    if (found.entry.kind == platform::PathKind::kFile) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

// The whole path is missing: the first file on the way, when it is a
// script, with the segments after it as its path info. Only the folders that
// exist are opened, so a long made-up URL costs one open per real level.
TMappedUrl MapPathInfo(const std::string& root, const std::vector<std::string>& segments,
                       bool delimiterAtEnd, const std::string& phpExtensions) {
  for (std::size_t count = 1; count < segments.size(); ++count) {
    const std::string path = LocalPath(root, segments, count);
    const platform::DiskEntry entry = platform::DiskEntryOf(path);
    if (entry.kind == platform::PathKind::kFolder) continue;
    if (entry.kind == platform::PathKind::kMissing) break;
    return MappedFile(path, entry, Join(segments, 0, count, '/'),
                      Join(segments, count, segments.size(), '/') + (delimiterAtEnd ? "/" : ""),
                      phpExtensions);
  }
  return TMappedUrl();
}

}  // namespace

TMappedUrl MapUrlToPath(const std::string& root, const std::string& url,
                        const std::string& indexFiles, const std::string& phpExtensions) {
  std::vector<std::string> segments;
  if (!SplitSafely(url, segments)) return TMappedUrl();
  const bool delimiterAtEnd = EndsWithDelimiter(url);
  const std::string path = LocalPath(root, segments, segments.size());
  const std::string scriptUrl = Join(segments, 0, segments.size(), '/');
  const platform::DiskEntry entry = platform::DiskEntryOf(path);
  switch (entry.kind) {
    case platform::PathKind::kFile:
      return MappedFile(path, entry, scriptUrl.empty() ? "/" : scriptUrl,
                        delimiterAtEnd ? "/" : "", phpExtensions);
    case platform::PathKind::kFolder: {
      TMappedUrl mapped;
      if (!delimiterAtEnd) {
        mapped.kind = TMappedUrl::Kind::kRedirect;
        mapped.localPath = url + "/";
        return mapped;
      }
      IndexFile index;
      if (!FindIndexFile(path, indexFiles, index)) return mapped;
      return MappedFile(index.path, index.entry, scriptUrl + "/" + index.element, "",
                        phpExtensions);
    }
    case platform::PathKind::kMissing:
      break;
  }
  return MapPathInfo(root, segments, delimiterAtEnd, phpExtensions);
}

bool IsPhpFile(const std::string& path, const std::string& extensions) {
  const std::string extension = TKestro::UpperCase(ExtensionOf(path));
  const std::string list = TKestro::UpperCase(TKestro::Trim(extensions));
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(',', start);
    if (TKestro::Trim(list.substr(start, end - start)) == extension) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

std::string EncodeUriPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::string("\"#%*+<>?").find(c) != std::string::npos) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}
