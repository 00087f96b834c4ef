#include <winsock2.h>

#include <climits>
#include <utility>

#include "Os.h"

namespace phpisapi {

namespace {

// Waits until readable or writable: 1 ready, 0 timed out, -1 failed.
int WaitFor(SOCKET s, bool forWriting, Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval timeout{static_cast<long>(left / 1'000'000), static_cast<long>(left % 1'000'000)};
  const int n = forWriting ? select(0, nullptr, &set, nullptr, &timeout)
                           : select(0, &set, nullptr, nullptr, &timeout);
  return n > 0 ? 1 : n == 0 ? 0 : -1;
}

int Clamp(std::size_t length) {
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
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
  if (handle_ != kNone) closesocket(static_cast<SOCKET>(std::exchange(handle_, kNone)));
}

bool Channel::SendAll(const void* data, std::size_t length, Clock::time_point deadline) {
  const auto s = static_cast<SOCKET>(handle_);
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const int n = send(s, p, Clamp(length), 0);
    if (n > 0) {
      p += n;
      length -= static_cast<std::size_t>(n);
    } else if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      if (WaitFor(s, true, deadline) != 1) return false;
    } else {
      return false;
    }
  }
  return true;
}

long Channel::Receive(void* buffer, std::size_t length, Clock::time_point deadline) {
  const auto s = static_cast<SOCKET>(handle_);
  for (;;) {
    const int n = recv(s, static_cast<char*>(buffer), Clamp(length), 0);
    if (n >= 0) return n;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return kFailed;
    const int ready = WaitFor(s, false, deadline);
    if (ready == 0) return kTimedOut;
    if (ready < 0) return kFailed;
  }
}

bool Channel::Broken() {
  char byte = 0;
  const int n = recv(static_cast<SOCKET>(handle_), &byte, 1, MSG_PEEK);
  return n >= 0 || WSAGetLastError() != WSAEWOULDBLOCK;
}

}  // namespace phpisapi
