#include "http/UrlMapping.h"

#include "common/KestroClass.h"
#include "platform/Files.h"

namespace {

// A segment that names the parent folder, or that the file system could read
// as another name than it shows: Windows drops trailing dots and blanks
// ("..." and ".. " reach the parent, "a.php." opens a.php without running
// it) and reads ':' as a drive or stream. Refused the same on every build, so
// a URL behaves alike on both.
bool IsUnsafeSegment(const std::string& segment) {
  if (segment.empty() || segment == ".") return false;
  const char last = segment.back();
  return last == '.' || last == ' ' || segment.find(':') != std::string::npos;
}

// A NUL (a raw byte of the request line) would end the path at the system's
// calls: /x.php<NUL>.txt would be checked as x.php and sent as a text file.
bool StaysInsideRoot(const std::string& url) {
  if (url.find('\0') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = url.find_first_of("/\\", start);
    if (IsUnsafeSegment(url.substr(start, end - start))) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

std::string ExtensionOf(const std::string& path) {
  const std::size_t dot = path.find_last_of(".\\/");
  if (dot == std::string::npos || path[dot] != '.') return std::string();
  return path.substr(dot);
}

}  // namespace

std::string MapUrlToPath(const std::string& root, const std::string& url,
                         const std::string& indexFiles) {
  if (!StaysInsideRoot(url)) return std::string();
  const std::string path = TKestro::ToNativePath(root + url);
  switch (platform::KindOf(path)) {
    case platform::PathKind::kFolder:
      if (!url.empty() && url.back() == '/') return FindFileInList(path, indexFiles, ',');
      return url + "/";
    case platform::PathKind::kFile:
      return path;
    case platform::PathKind::kMissing:
      break;
  }
  return std::string();
}

std::string FindFileInList(const std::string& folder, const std::string& list, char separator) {
  if (list.empty()) return std::string();
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(separator, start);
    const std::string element = list.substr(start, end - start);
    const std::string path = TKestro::ToNativePath(folder + platform::PathDelim + element);
    if (platform::FileExists(path)) return path;
    if (end == std::string::npos) return std::string();
    start = end + 1;
  }
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
