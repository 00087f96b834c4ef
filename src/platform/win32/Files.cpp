#include "platform/Files.h"

#include <windows.h>

#include "platform/win32/FileTime.h"

namespace platform {

const char PathDelim = '\\';
const bool NamesHaveAliases = true;
const bool NamesIgnoreCase = true;

namespace {

DWORD Attributes(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
}

// A handle that `Close` ends when it goes out of scope.
template <BOOL(WINAPI* Close)(HANDLE)>
struct ScopedHandle {
  HANDLE h;
  explicit ScopedHandle(HANDLE handle) : h(handle) {}
  ~ScopedHandle() {
    if (h != INVALID_HANDLE_VALUE) Close(h);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
};
using FindHandle = ScopedHandle<FindClose>;
using FileHandle = ScopedHandle<CloseHandle>;

std::wstring Widened(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], n);
  return wide;
}

// `wide` in the ANSI code page, empty when a character has no exact form
// there: a best-fit stand-in would name another file.
std::string NarrowedExactly(const std::wstring& wide) {
  const UINT codePage = GetACP();
  const bool utf8 = codePage == CP_UTF8;  // takes neither flag nor default char
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  const int length = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr,
                                    utf8 ? nullptr : &lossy);
  if (n <= 0 || lossy) return std::string();
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), length, &text[0], n, nullptr, nullptr);
  return text;
}

// Attributes only and every sharing mode: a file that another program holds
// open is still seen; folders need the backup flag to be opened.
FileHandle OpenForAttributes(const std::wstring& path) {
  return FileHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The path the handle was opened at, as the file system keeps it: without
// its volume (VOLUME_NAME_NONE) or from its drive letter (VOLUME_NAME_DOS).
std::wstring FinalPath(HANDLE h, DWORD volume) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD n = GetFinalPathNameByHandleW(h, &path[0], size, volume);
    if (n == 0) return std::wstring();
    if (n < size) {
      path.resize(n);
      return path;
    }
    path.resize(n);  // too small: n counts the terminating NUL
  }
}

// The last component of the path the handle was opened at.
std::wstring FinalName(HANDLE h) {
  const std::wstring path = FinalPath(h, VOLUME_NAME_NONE);
  return path.substr(path.find_last_of(L'\\') + 1);
}

}  // namespace

DiskEntry DiskEntryOf(const std::string& path) {
  DiskEntry entry;
  const std::wstring wide = Widened(path);
  if (wide.empty()) return entry;
  FileHandle file(OpenForAttributes(wide));
  BY_HANDLE_FILE_INFORMATION info;
  if (file.h == INVALID_HANDLE_VALUE || GetFileType(file.h) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file.h, &info))
    return entry;
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.name = NarrowedExactly(FinalName(file.h));  // empty at a drive's root folder
  if (folder || !entry.name.empty()) entry.kind = folder ? PathKind::kFolder : PathKind::kFile;
  return entry;
}

PathKind KindOf(const std::string& path) {
  const DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
}

bool FileExists(const std::string& path) { return KindOf(path) == PathKind::kFile; }

bool IsSymbolicLink(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsExecutableFile(const std::string& path) { return FileExists(path); }

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

namespace {

// A time in 100 ns units as nanoseconds, on the same (only compared) scale.
std::int64_t Nanoseconds(const LARGE_INTEGER& time) {
  return static_cast<std::int64_t>(time.QuadPart) * 100;
}

}  // namespace

FileVersion VersionOf(const std::string& path) {
  FileVersion version;
  const DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return version;
  FileHandle file(OpenForAttributes(Widened(path)));
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (file.h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.h, &info) ||
      !GetFileInformationByHandleEx(file.h, FileBasicInfo, &basic, sizeof basic))
    return version;
  version.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
  version.link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  version.volume = info.dwVolumeSerialNumber;
  version.id = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  version.size = static_cast<std::int64_t>(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 |
                                           info.nFileSizeLow);
  version.writeNs = Nanoseconds(basic.LastWriteTime);
  version.changeNs = Nanoseconds(basic.ChangeTime);
  return version;
}

std::string ResolvedPath(const std::string& path) {
  FileHandle file(OpenForAttributes(Widened(path)));
  if (file.h == INVALID_HANDLE_VALUE) return std::string();
  std::wstring resolved = FinalPath(file.h, VOLUME_NAME_DOS);
  if (resolved.rfind(L"\\\\?\\", 0) == 0) resolved.erase(0, 4);
  return NarrowedExactly(resolved);
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
