#include "platform/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {
int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

void Fill(FileStamp& stamp, const struct stat& info) {
  stamp.size = static_cast<std::int64_t>(info.st_size);
  stamp.lastWriteUtcMs =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}
}  // namespace

std::intptr_t FileStream::OpenNative(const std::string& path, Access access, FileStamp* stamp) {
  switch (access) {
    case Access::Append:
      return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    case Access::Create:
      return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    case Access::Temporary: {
      std::string name = path + "/body-XXXXXX";
      const int fd = ::mkostemp(name.data(), O_CLOEXEC);
      if (fd >= 0) ::unlink(name.c_str());  // the name goes now, the file with the descriptor
      return fd < 0 ? kNone : fd;
    }
    case Access::Read:
      break;
  }
  // O_NONBLOCK keeps a FIFO from blocking the open; regular files ignore it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kNone;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return kNone;
  }
  if (stamp) Fill(*stamp, info);
  return fd;
}

void FileStream::CloseNative(std::intptr_t handle) { ::close(Fd(handle)); }

long FileStream::Read(void* buffer, std::size_t length) {
  for (;;) {
    const ssize_t n = ::read(Fd(handle_), buffer, length);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long FileStream::WriteSome(const char* data, std::size_t length) {
  for (;;) {
    const ssize_t n = ::write(Fd(handle_), data, length);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool FileStream::Seek(std::int64_t offset) {
  return ::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool FileStream::Stamp(FileStamp& stamp) const {
  struct stat info {};
  if (handle_ == kNone || ::fstat(Fd(handle_), &info) != 0) return false;
  Fill(stamp, info);
  return true;
}

bool FileStream::StillNamed() const {
  struct stat info {};
  return handle_ != kNone && ::fstat(Fd(handle_), &info) == 0 && info.st_nlink > 0;
}

}  // namespace platform
