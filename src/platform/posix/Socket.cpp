#include "platform/Socket.h"

#include <sys/select.h>
#include <sys/socket.h>

namespace platform {

long Send(SocketHandle socket, const void* data, std::size_t length) {
  return static_cast<long>(::send(static_cast<int>(socket), data, length, MSG_NOSIGNAL));
}

long Recv(SocketHandle socket, void* buffer, std::size_t length) {
  return static_cast<long>(::recv(static_cast<int>(socket), buffer, length, 0));
}

bool WaitReadable(SocketHandle socket, long microseconds) {
  const int fd = static_cast<int>(socket);
  if (fd < 0 || fd >= FD_SETSIZE) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(fd, &readable);
  timeval timeout{microseconds / 1'000'000, microseconds % 1'000'000};
  return ::select(fd + 1, &readable, nullptr, nullptr, &timeout) > 0;
}

}  // namespace platform
