// What every platform's Channel shares: ownership of the handle, sending all
// bytes in the pieces the stream takes, and waits cut into slices that look
// whether the request is still wanted. The calls themselves are in posix/ and
// win32/ (ChannelIo.h, Broken).
#include <algorithm>
#include <utility>

#include "ChannelIo.h"
#include "Os.h"

namespace phpisapi {

namespace {

// `wait` until the end of each slice, while it times out before `deadline`
// and the request is wanted.
template <class Wait>
long WatchedWait(Clock::time_point deadline, const StillWanted& wanted, Wait wait) {
  for (;;) {
    const long result = wait(std::min(deadline, Clock::now() + kWatchInterval));
    if (result != Channel::kTimedOut) return result;
    if (Clock::now() >= deadline) return Channel::kTimedOut;
    if (wanted && !wanted()) return Channel::kUnwanted;
  }
}

}  // namespace

Channel::~Channel() { Close(); }

Channel::Channel(Channel&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)), owed_(std::exchange(other.owed_, 0)) {}

Channel& Channel::operator=(Channel&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNone);
    owed_ = std::exchange(other.owed_, 0);
  }
  return *this;
}

void Channel::Close() {
  if (handle_ != kNone) detail::CloseStream(std::exchange(handle_, kNone));
  owed_ = 0;
}

bool Channel::Abandon(const std::string& farewell, Clock::time_point deadline) {
  if (!Open() || !detail::StopReading(handle_)) return false;
  std::string out(owed_, '\0');
  out += farewell;
  return SendAll(out.data(), out.size(), deadline, nullptr);
}

bool Channel::Drained() { return !Open() || detail::Unsent(handle_) == 0; }

bool Channel::SendAll(const void* data, std::size_t length, Clock::time_point deadline,
                      const StillWanted& wanted) {
  const auto writable = [this](Clock::time_point end) -> long {
    const int ready = detail::WaitWritable(handle_, end);
    return ready == 0 ? long{kTimedOut} : long{ready};
  };
  const char* p = static_cast<const char*>(data);
  const std::size_t total = length;
  while (length > 0) {
    const long n = detail::SendSome(handle_, p, length);
    if (n > 0) {
      p += n;
      length -= static_cast<std::size_t>(n);
    } else if (n != detail::kWouldBlock || WatchedWait(deadline, wanted, writable) != 1) {
      owed_ = length < total ? length : 0;
      return false;
    }
  }
  owed_ = 0;
  return true;
}

long Channel::Receive(void* buffer, std::size_t length, Clock::time_point deadline,
                      const StillWanted& wanted) {
  return WatchedWait(deadline, wanted, [&](Clock::time_point end) {
    return detail::ReceiveUntil(handle_, buffer, length, end);
  });
}

}  // namespace phpisapi
