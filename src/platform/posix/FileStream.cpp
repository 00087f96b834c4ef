#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

namespace {
int Fd(std::intptr_t handle) { return static_cast<int>(handle); }
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
  // O_NONBLOCK keeps a FIFO from blocking the open; regular files ignore it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

bool FileStream::OpenAppend(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

void FileStream::Close() {
  if (handle_ != kNone) ::close(Fd(std::exchange(handle_, kNone)));
}

long FileStream::Read(void* buffer, std::size_t length) {
  for (;;) {
    const ssize_t n = ::read(Fd(handle_), buffer, length);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool FileStream::Write(const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(Fd(handle_), p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

bool FileStream::Seek(std::int64_t offset) {
  return ::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::int64_t FileStream::Size() const {
  struct stat info {};
  if (handle_ == kNone || ::fstat(Fd(handle_), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool FileStream::CreateEmpty(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace platform
