#include "http/UrlMapping.h"

#include <utility>

#include "common/KestroClass.h"

namespace {

// A segment of dots and blanks alone names the parent folder or, on
// Windows, the folder itself ("..." and ".. " reach the parent there):
// refused wherever it stands, so a URL behaves alike on both builds.
bool NamesAParent(const std::string& segment) {
  return !segment.empty() && segment.find_first_not_of(". ") == std::string::npos;
}

// A segment that Windows would read as another name than it shows: it drops
// trailing dots and blanks ("a.php." opens a.php) and reads ':' as a drive or
// stream. Such a segment may stand in the path info, never in a name looked up.
bool IsAliasingSegment(const std::string& segment) {
  if (!platform::NamesHaveAliases || segment.empty()) return false;
  const char last = segment.back();
  return last == '.' || last == ' ' || segment.find(':') != std::string::npos;
}

// The non-empty segments of `url`, false when one names a parent. A NUL (a
// raw byte of the request line) would end the path at the system's calls:
// /x.php<NUL>.txt would be checked as x.php and sent as a text file.
// `firstAliasing` is the index of the first aliasing segment (size() when none).
bool SplitSafely(const std::string& url, std::vector<std::string>& segments,
                 std::size_t& firstAliasing) {
  if (url.find('\0') != std::string::npos) return false;
  firstAliasing = std::string::npos;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = url.find_first_of("/\\", start);
    std::string segment = url.substr(start, end - start);
    if (NamesAParent(segment)) return false;
    if (firstAliasing == std::string::npos && IsAliasingSegment(segment))
      firstAliasing = segments.size();
    if (!segment.empty()) segments.push_back(std::move(segment));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (firstAliasing == std::string::npos) firstAliasing = segments.size();
  return true;
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

// Upper case where the file system ignores letter case; as written where it
// does not, so that x.PHP is no PHP file, as a rule written for ".php"
// (<FilesMatch "\.php$">) does not hold for it either.
std::string CaseAsNamesCompare(const std::string& name) {
  return platform::NamesIgnoreCase ? TKestro::UpperCase(name) : name;
}

std::string ExtensionOf(const std::string& path) {
  const std::size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return std::string();
  return path.substr(dot);
}

// The disk file at `path` served for `scriptUrl`: named by its entry, PHP by
// that name. A path info follows only a PHP file: after any other file the
// URL names nothing.
void MapFile(TPhysicalPath& mapped, const std::string& path, const platform::DiskEntry& entry,
             std::string scriptUrl, std::string pathInfo,
             const std::vector<std::string>& phpExtensions) {
  mapped.entry = entry;
  mapped.php = IsPhpFile(entry.name, phpExtensions);
  if (!pathInfo.empty() && !mapped.php) {
    mapped.php = false;
    return;
  }
  mapped.kind = TPhysicalPath::Kind::kFile;
  mapped.file = TKestro::FolderOf(path) + platform::PathDelim + entry.name;
  mapped.scriptUrl = std::move(scriptUrl);
  mapped.pathInfo = std::move(pathInfo);
}

struct IndexFile {
  std::string element, path;
  platform::DiskEntry entry;
};

// The first folder/element of `list` that is a disk file.
bool FindIndexFile(const std::string& folder, const std::vector<std::string>& list,
                   IndexFile& found) {
  for (const std::string& element : list) {
    found.element = element;
    found.path = TKestro::ToNativePath(folder + platform::PathDelim + element);
    found.entry = platform::DiskEntryOf(found.path);
    if (found.entry.kind == platform::PathKind::kFile) return true;
  }
  return false;
}

// The whole path is missing: the first file on the way, when it is a
// script, with the segments after it as its path info. Only the folders that
// exist are opened, so a long made-up URL costs one open per real level; no
// aliasing segment is opened.
void MapPathInfo(TPhysicalPath& mapped, bool delimiterAtEnd, std::size_t firstAliasing,
                 const std::vector<std::string>& phpExtensions) {
  const std::vector<std::string>& segments = mapped.segments;
  for (std::size_t count = 1; count < segments.size() && count <= firstAliasing; ++count) {
    const std::string path = LocalPath(mapped.documentRoot, segments, count);
    const platform::DiskEntry entry = platform::DiskEntryOf(path);
    if (entry.kind == platform::PathKind::kFolder) {
      mapped.folderDepth = count;
      continue;
    }
    if (entry.kind == platform::PathKind::kMissing) return;
    MapFile(mapped, path, entry, Join(segments, 0, count, '/'),
            Join(segments, count, segments.size(), '/') + (delimiterAtEnd ? "/" : ""),
            phpExtensions);
    return;
  }
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> elements;
  if (list.empty()) return elements;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(',', start);
    elements.push_back(list.substr(start, end - start));
    if (end == std::string::npos) return elements;
    start = end + 1;
  }
}

}  // namespace

TMappingSettings MappingSettingsOf(const std::string& documentRoot, const std::string& indexFiles,
                                   const std::string& phpExtensions) {
  TMappingSettings settings;
  settings.documentRoot = documentRoot;
  settings.indexFiles = SplitList(indexFiles);
  for (const std::string& extension : SplitList(phpExtensions))
    settings.phpExtensions.push_back(CaseAsNamesCompare(TKestro::Trim(extension)));
  return settings;
}

TPhysicalPath MapUrlToPath(const TMappingSettings& settings, const std::string& url,
                           const std::vector<std::string>& indexFiles) {
  TPhysicalPath mapped;
  mapped.documentRoot = settings.documentRoot;
  std::size_t firstAliasing = 0;
  if (!SplitSafely(url, mapped.segments, firstAliasing)) {
    mapped.segments.clear();
    return mapped;
  }
  const std::vector<std::string>& segments = mapped.segments;
  const bool delimiterAtEnd = EndsWithDelimiter(url);
  if (firstAliasing < segments.size()) {
    MapPathInfo(mapped, delimiterAtEnd, firstAliasing, settings.phpExtensions);
    return mapped;
  }
  const std::string path = LocalPath(settings.documentRoot, segments, segments.size());
  const std::string scriptUrl = Join(segments, 0, segments.size(), '/');
  const platform::DiskEntry entry = platform::DiskEntryOf(path);
  switch (entry.kind) {
    case platform::PathKind::kFile:
      mapped.folderDepth = segments.empty() ? 0 : segments.size() - 1;
      MapFile(mapped, path, entry, scriptUrl.empty() ? "/" : scriptUrl,
              delimiterAtEnd ? "/" : "", settings.phpExtensions);
      return mapped;
    case platform::PathKind::kFolder: {
      mapped.entry = entry;
      mapped.folderDepth = segments.size();  // the folder's own rules hold, also for its redirect
      if (!delimiterAtEnd) {
        mapped.kind = TPhysicalPath::Kind::kRedirect;
        mapped.location = scriptUrl + "/";
        return mapped;
      }
      mapped.folderIndex = true;
      IndexFile index;
      if (!FindIndexFile(path, indexFiles, index)) return mapped;
      MapFile(mapped, index.path, index.entry, scriptUrl + "/" + index.element, "",
              settings.phpExtensions);
      return mapped;
    }
    case platform::PathKind::kMissing:
      break;
  }
  MapPathInfo(mapped, delimiterAtEnd, firstAliasing, settings.phpExtensions);
  return mapped;
}

bool IsPhpFile(const std::string& path, const std::vector<std::string>& extensions) {
  const std::string extension = CaseAsNamesCompare(ExtensionOf(path));
  for (const std::string& element : extensions)
    if (element == extension) return true;
  return false;
}

std::string EncodeUriPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  std::size_t start = 0;
  // "//host/" would be read as another host: one leading slash is kept.
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
    encoded += '/';
    start = path.find_first_not_of("/\\");
    if (start == std::string::npos) return encoded;
  }
  for (std::size_t i = start; i < path.size(); ++i) {
    const char c = path[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::string("\"#%*+<>?\\").find(c) != std::string::npos) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}
