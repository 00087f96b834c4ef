#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "Os.h"

namespace phpisapi {

namespace {

// Waits for `events` until the deadline: 1 ready, 0 timed out, -1 failed.
int WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, static_cast<int>(left > 60'000 ? 60'000 : left + 1));
    if (n > 0) return 1;
    if (n < 0 && errno != EINTR) return -1;
  }
}

}  // namespace

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
  if (handle_ != kNone) close(static_cast<int>(std::exchange(handle_, kNone)));
}

bool Channel::SendAll(const void* data, std::size_t length, Clock::time_point deadline) {
  const int fd = static_cast<int>(handle_);
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = send(fd, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      p += n;
      length -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (WaitFor(fd, POLLOUT, deadline) != 1) return false;
    } else {
      return false;
    }
  }
  return true;
}

long Channel::Receive(void* buffer, std::size_t length, Clock::time_point deadline) {
  const int fd = static_cast<int>(handle_);
  for (;;) {
    // php-cgi is rarely done when asked, so wait first: one call fewer.
    const int ready = WaitFor(fd, POLLIN, deadline);
    if (ready == 0) return kTimedOut;
    if (ready < 0) return kFailed;
    const ssize_t n = recv(fd, buffer, length, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return kFailed;
  }
}

bool Channel::Broken() {
  char byte = 0;
  const ssize_t n = recv(static_cast<int>(handle_), &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

}  // namespace phpisapi
