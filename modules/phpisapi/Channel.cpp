// What every platform's Channel shares: ownership of the handle, and sending
// all bytes in the pieces the stream takes. The calls themselves are in
// posix/ and win32/ (ChannelIo.h, Receive, Broken).
#include <utility>

#include "ChannelIo.h"
#include "Os.h"

namespace phpisapi {

Channel::~Channel() { Close(); }

Channel::Channel(Channel&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}

Channel& Channel::operator=(Channel&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

void Channel::Close() {
  if (handle_ != kNone) detail::CloseStream(std::exchange(handle_, kNone));
}

bool Channel::SendAll(const void* data, std::size_t length, Clock::time_point deadline) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const long n = detail::SendSome(handle_, p, length);
    if (n > 0) {
      p += n;
      length -= static_cast<std::size_t>(n);
    } else if (n != detail::kWouldBlock || detail::WaitWritable(handle_, deadline) != 1) {
      return false;
    }
  }
  return true;
}

}  // namespace phpisapi
