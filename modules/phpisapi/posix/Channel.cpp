#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "ChannelIo.h"
#include "Os.h"

namespace phpisapi {

namespace {

// A read blocks for at most this long before it looks at its deadline again:
// one call per read, where waiting first and reading then took two.
constexpr timeval kReadSlice{0, 100'000};

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

namespace detail {

void CloseStream(std::intptr_t handle) { close(Fd(handle)); }

long SendSome(std::intptr_t handle, const char* data, std::size_t length) {
  for (;;) {
    const ssize_t n = send(Fd(handle), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? kWouldBlock : -1;
  }
}

int WaitWritable(std::intptr_t handle, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{Fd(handle), POLLOUT, 0};
    const int n = poll(&p, 1, static_cast<int>(left > 60'000 ? 60'000 : left + 1));
    if (n > 0) return 1;
    if (n < 0 && errno != EINTR) return -1;
  }
}

long ReceiveUntil(std::intptr_t handle, void* buffer, std::size_t length,
                  Clock::time_point deadline) {
  for (;;) {
    if (Clock::now() >= deadline) return Channel::kTimedOut;
    const ssize_t n = recv(Fd(handle), buffer, length, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return Channel::kFailed;
  }
}

bool StopReading(std::intptr_t handle) { return shutdown(Fd(handle), SHUT_RD) == 0; }

std::size_t Unsent(std::intptr_t handle) {
  int unsent = 0;
  return ioctl(Fd(handle), SIOCOUTQ, &unsent) == 0 && unsent > 0
             ? static_cast<std::size_t>(unsent)
             : 0;
}

}  // namespace detail

Channel::Channel(std::intptr_t handle) : handle_(handle) {
  setsockopt(Fd(handle_), SOL_SOCKET, SO_RCVTIMEO, &kReadSlice, sizeof kReadSlice);
}

bool Channel::Broken() {
  char byte = 0;
  const ssize_t n = recv(Fd(handle_), &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

}  // namespace phpisapi
