#include "platform/FileStream.h"

#include <windows.h>

#include <climits>
#include <utility>

#include "platform/win32/FileTime.h"

namespace platform {

namespace {
HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A file of a unique name in `folder` that the system deletes with its last handle.
std::intptr_t OpenDeletedOnClose(const std::string& folder) {
  char name[MAX_PATH];
  if (::GetTempFileNameA(folder.c_str(), "pvb", 0, name) == 0) return -1;
  const HANDLE h = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                 CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    ::DeleteFileA(name);
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(h);
}
}  // namespace

std::intptr_t FileStream::OpenNative(const std::string& path, Access access, FileStamp* stamp) {
  DWORD rights = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
  switch (access) {
    case Access::Read:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
    case Access::Append:
      rights = FILE_APPEND_DATA;
      disposition = OPEN_ALWAYS;
      break;
    case Access::Create:
      rights = GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    case Access::Temporary:
      return OpenDeletedOnClose(path);
  }
  const HANDLE h = ::CreateFileA(path.c_str(), rights, share, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNone;
  if (access == Access::Read && ::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    return kNone;
  }
  FileStream opened;
  opened.handle_ = reinterpret_cast<std::intptr_t>(h);
  if (access == Access::Read && stamp && !opened.Stamp(*stamp)) return kNone;
  return std::exchange(opened.handle_, kNone);
}

void FileStream::CloseNative(std::intptr_t handle) { ::CloseHandle(Native(handle)); }

long FileStream::Read(void* buffer, std::size_t length) {
  DWORD read = 0;
  const DWORD wanted = length > LONG_MAX ? LONG_MAX : static_cast<DWORD>(length);
  if (!::ReadFile(Native(handle_), buffer, wanted, &read, nullptr)) return -1;
  return static_cast<long>(read);
}

long FileStream::WriteSome(const char* data, std::size_t length) {
  DWORD written = 0;
  const DWORD chunk = length > LONG_MAX ? LONG_MAX : static_cast<DWORD>(length);
  if (!::WriteFile(Native(handle_), data, chunk, &written, nullptr)) return -1;
  return static_cast<long>(written);
}

bool FileStream::Seek(std::int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(Native(handle_), distance, nullptr, FILE_BEGIN) != 0;
}

bool FileStream::Stamp(FileStamp& stamp) const {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle_ == kNone || !::GetFileInformationByHandle(Native(handle_), &info)) return false;
  stamp.size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.lastWriteUtcMs = FileTimeToUnixMs(info.ftLastWriteTime);
  return true;
}

// A file open for appending is shared without deletion, so it keeps its name
// while it is open; reading lets others delete it, which this does not tell.
bool FileStream::StillNamed() const { return handle_ != kNone; }

}  // namespace platform
