#include <winsock2.h>

#include <climits>

#include "ChannelIo.h"
#include "Os.h"

namespace phpisapi {

namespace {

SOCKET Sock(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

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

namespace detail {

void CloseStream(std::intptr_t handle) { closesocket(Sock(handle)); }

long SendSome(std::intptr_t handle, const char* data, std::size_t length) {
  const int n = send(Sock(handle), data, Clamp(length), 0);
  if (n > 0) return n;
  return n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
}

int WaitWritable(std::intptr_t handle, Clock::time_point deadline) {
  return WaitFor(Sock(handle), true, deadline);
}

long ReceiveUntil(std::intptr_t handle, void* buffer, std::size_t length,
                  Clock::time_point deadline) {
  const SOCKET s = Sock(handle);
  for (;;) {
    const int n = recv(s, static_cast<char*>(buffer), Clamp(length), 0);
    if (n >= 0) return n;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Channel::kFailed;
    const int ready = WaitFor(s, false, deadline);
    if (ready == 0) return Channel::kTimedOut;
    if (ready < 0) return Channel::kFailed;
  }
}

// php-cgi's end of a loopback connection shows nowhere once ours stops
// reading, so a request given up ends with its process.
bool StopReading(std::intptr_t) { return false; }

std::size_t Unsent(std::intptr_t) { return 0; }

}  // namespace detail

// The stream comes non-blocking from CgiProcess::Connect.
Channel::Channel(std::intptr_t handle) : handle_(handle) {}

bool Channel::Broken() {
  char byte = 0;
  const int n = recv(Sock(handle_), &byte, 1, MSG_PEEK);
  return n >= 0 || WSAGetLastError() != WSAEWOULDBLOCK;
}

}  // namespace phpisapi
