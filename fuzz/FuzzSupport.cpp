#include "FuzzSupport.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void Fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::abort();
}

SocketPair::SocketPair() {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) Fail("socketpair", __FILE__, __LINE__);
  server_ = ends[0];
  client_ = ends[1];
  // Room for a whole input and a whole answer: neither side reads while the other writes.
  const int size = 1 << 20;
  for (int end : ends) {
    ::setsockopt(end, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(end, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
}

SocketPair::~SocketPair() {
  ::close(server_);
  ::close(client_);
}

void SocketPair::ClientSendsAndCloses(const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::send(client_, p, length, MSG_NOSIGNAL);
    if (n <= 0) Fail("send to the server's end", __FILE__, __LINE__);
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  ::shutdown(client_, SHUT_WR);
}

std::string SocketPair::ClientReceivesAll() {
  ::shutdown(server_, SHUT_WR);
  std::string all;
  char buffer[8192];
  for (ssize_t n; (n = ::recv(client_, buffer, sizeof buffer, 0)) > 0;)
    all.append(buffer, static_cast<std::size_t>(n));
  return all;
}

Worker::Worker(platform::SocketHandle socket) {
  connection.socket = socket;
  connection.settings = &settings;
  connection.buffer = &buffer;
  connection.pending = &pending;
  connection.connectionContext = &context;
  connection.keepAliveFlag = &keepAlive;
  connection.terminating = &terminating;
  settings.portText = "8080";
  settings.clientAddress = "127.0.0.1";
}

}  // namespace fuzz
