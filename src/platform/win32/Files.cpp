#include "platform/Files.h"

#include <windows.h>

#include "platform/win32/FileTime.h"

namespace platform {

const char PathDelim = '\\';

namespace {

DWORD Attributes(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
}

struct FindHandle {
  HANDLE h;
  explicit FindHandle(HANDLE handle) : h(handle) {}
  ~FindHandle() {
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
};

}  // namespace

PathKind KindOf(const std::string& path) {
  const DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
}

bool FileExists(const std::string& path) { return KindOf(path) == PathKind::kFile; }

bool DirectoryExists(const std::string& path) { return KindOf(path) == PathKind::kFolder; }

bool CreateDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::string ExpandFileName(const std::string& path) {
  if (path.empty()) return GetCurrentDir();
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    if (n == 0) return path;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);
  }
}

std::string GetCurrentDir() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), &buffer[0]);
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);
  }
}

bool SetCurrentDir(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::string ExecutablePath() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);  // truncated: try a larger buffer
  }
}

bool IsReadOnly(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  a = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~DWORD(FILE_ATTRIBUTE_READONLY));
  if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesA(path.c_str(), a) != 0;
}

bool GetFileStamp(const std::string& path, FileStamp& stamp) {
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA(path.c_str(), &data));
  if (find.h == INVALID_HANDLE_VALUE) return false;
  stamp.size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp.lastWriteUtcMs = FileTimeToUnixMs(data.ftLastWriteTime);
  return true;
}

std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  std::string base = folder;
  if (!base.empty() && base.back() != '\\' && base.back() != '/' && base.back() != ':') base += '\\';
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA((base + pattern).c_str(), &data));
  if (find.h == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find.h, &data));
  return names;
}

}  // namespace platform
