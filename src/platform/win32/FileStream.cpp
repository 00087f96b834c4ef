#include "platform/FileStream.h"

#include <windows.h>

#include <climits>
#include <utility>

namespace platform {

namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  const HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<std::intptr_t>(h);
}

}  // namespace

FileStream::~FileStream() { Close(); }

FileStream::FileStream(FileStream&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

bool FileStream::OpenRead(const std::string& path) {
  Close();
  handle_ = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING);
  if (handle_ != kNone && ::GetFileType(Native(handle_)) != FILE_TYPE_DISK) Close();
  return handle_ != kNone;
}

bool FileStream::OpenAppend(const std::string& path) {
  Close();
  handle_ = Open(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
  return handle_ != kNone;
}

void FileStream::Close() {
  if (handle_ != kNone) ::CloseHandle(Native(std::exchange(handle_, kNone)));
}

long FileStream::Read(void* buffer, std::size_t length) {
  DWORD read = 0;
  const DWORD wanted = length > LONG_MAX ? LONG_MAX : static_cast<DWORD>(length);
  if (!::ReadFile(Native(handle_), buffer, wanted, &read, nullptr)) return -1;
  return static_cast<long>(read);
}

bool FileStream::Write(const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    DWORD written = 0;
    const DWORD chunk = length > LONG_MAX ? LONG_MAX : static_cast<DWORD>(length);
    if (!::WriteFile(Native(handle_), p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    length -= written;
  }
  return true;
}

bool FileStream::Seek(std::int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(Native(handle_), distance, nullptr, FILE_BEGIN) != 0;
}

std::int64_t FileStream::Size() const {
  LARGE_INTEGER size;
  if (handle_ == kNone || !::GetFileSizeEx(Native(handle_), &size)) return -1;
  return size.QuadPart;
}

bool FileStream::CreateEmpty(const std::string& path) {
  const std::intptr_t h = Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  if (h == kNone) return false;
  ::CloseHandle(Native(h));
  return true;
}

}  // namespace platform
