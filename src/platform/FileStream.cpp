// Ownership and the loops over the system's calls, the same on every platform.
#include "platform/FileStream.h"

#include <utility>

namespace platform {

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

bool FileStream::OpenRead(const std::string& path, FileStamp* stamp) {
  Close();
  handle_ = OpenNative(path, Access::Read, stamp);
  return IsOpen();
}

bool FileStream::OpenTemporary(const std::string& folder) {
  Close();
  handle_ = OpenNative(folder, Access::Temporary);
  return IsOpen();
}

bool FileStream::OpenAppend(const std::string& path) {
  Close();
  handle_ = OpenNative(path, Access::Append);
  return IsOpen();
}

void FileStream::Close() {
  if (handle_ != kNone) CloseNative(std::exchange(handle_, kNone));
}

bool FileStream::Write(const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const long n = WriteSome(p, length);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

bool FileStream::CreateEmpty(const std::string& path) {
  FileStream file;
  file.handle_ = OpenNative(path, Access::Create);
  return file.IsOpen();
}

}  // namespace platform
