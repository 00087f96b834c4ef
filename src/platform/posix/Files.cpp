#include "platform/Files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace platform {

const char PathDelim = '/';
const bool NamesHaveAliases = false;
const bool NamesIgnoreCase = false;

namespace {

bool StatPath(const std::string& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Absolute, with no empty, "." or ".." part: already in its expanded form.
bool IsExpanded(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  if (path.size() == 1) return true;
  for (std::size_t start = 1;;) {
    const std::size_t end = path.find('/', start);
    const std::size_t length = (end == std::string::npos ? path.size() : end) - start;
    const bool dots =
        path[start] == '.' && (length == 1 || (length == 2 && path[start + 1] == '.'));
    if (length == 0 || dots) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool HasWildcard(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

}  // namespace

PathKind KindOf(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st)) return PathKind::kMissing;
  return S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

bool FileExists(const std::string& path) { return KindOf(path) == PathKind::kFile; }

bool IsSymbolicLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
  return FileExists(path) && ::access(path.c_str(), X_OK) == 0;
}

// stat does not open: a FIFO or device node is seen without blocking on it.
DiskEntry DiskEntryOf(const std::string& path) {
  DiskEntry entry;
  struct stat st;
  if (!StatPath(path, st)) return entry;
  if (S_ISREG(st.st_mode))
    entry.kind = PathKind::kFile;
  else if (S_ISDIR(st.st_mode))
    entry.kind = PathKind::kFolder;
  else
    return entry;
  entry.name = path.substr(path.rfind('/') + 1);
  return entry;
}

bool DirectoryExists(const std::string& path) { return KindOf(path) == PathKind::kFolder; }

bool CreateDir(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string ExpandFileName(const std::string& path) {
  if (IsExpanded(path)) return path;
  std::string whole = (!path.empty() && path[0] == '/') ? path : GetCurrentDir() + "/" + path;
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= whole.size()) {
    std::size_t next = whole.find('/', pos);
    if (next == std::string::npos) next = whole.size();
    std::string part = whole.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string result;
  for (const auto& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

std::string GetCurrentDir() {
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string();
}

bool SetCurrentDir(const std::string& path) { return ::chdir(path.c_str()) == 0; }

std::string ExecutablePath() {
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", &buffer[0], buffer.size());
  if (n <= 0) return std::string();
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

// The read-only attribute is the owner's missing write permission.
bool IsReadOnly(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && (st.st_mode & S_IWUSR) == 0;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  struct stat st;
  if (!StatPath(path, st)) return false;
  mode_t mode = st.st_mode & 07777;
  mode = readOnly ? (mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  return ::chmod(path.c_str(), mode) == 0;
}

bool GetFileStamp(const std::string& path, FileStamp& stamp) {
  std::string target = path;
  std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (HasWildcard(name)) {
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    auto found = FindEntries(folder, name);
    if (found.empty()) return false;
    target = (slash == std::string::npos ? std::string() : folder) + found.front();
  }
  struct stat st;
  if (!StatPath(target, st)) return false;
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.lastWriteUtcMs =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
  return true;
}

namespace {

std::int64_t Nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

FileVersion VersionOf(const std::string& path) {
  FileVersion version;
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return version;
  version.link = S_ISLNK(st.st_mode);
  if (version.link && !StatPath(path, st)) return version;
  version.kind = S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kFile;
  version.volume = static_cast<std::uint64_t>(st.st_dev);
  version.id = static_cast<std::uint64_t>(st.st_ino);
  version.size = static_cast<std::int64_t>(st.st_size);
  version.writeNs = Nanoseconds(st.st_mtim);
  version.changeNs = Nanoseconds(st.st_ctim);
  return version;
}

std::string ResolvedPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace platform
