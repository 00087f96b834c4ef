#include "platform/Socket.h"

#include <winsock2.h>

#include <climits>

namespace platform {

namespace {
int ClampLength(std::size_t length) {
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}
}  // namespace

long Send(SocketHandle socket, const void* data, std::size_t length) {
  return ::send(static_cast<SOCKET>(socket), static_cast<const char*>(data), ClampLength(length), 0);
}

long Recv(SocketHandle socket, void* buffer, std::size_t length) {
  return ::recv(static_cast<SOCKET>(socket), static_cast<char*>(buffer), ClampLength(length), 0);
}

bool WaitReadable(SocketHandle socket, long microseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket), &readable);
  timeval timeout{microseconds / 1'000'000, microseconds % 1'000'000};
  return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

}  // namespace platform
