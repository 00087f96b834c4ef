#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/FileStream.h"
#include "platform/SocketAddress.h"

namespace platform {

namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

// Descriptor 0 is taken as "no socket" by the callers; never hand it out.
SocketHandle Handle(int fd) {
  if (fd != 0) return fd < 0 ? 0 : fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
  ::close(fd);
  return moved < 0 ? 0 : moved;
}

int ToWinsock(int error) {
  switch (error) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EMSGSIZE: return 10040;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return kAddressInUse;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTUNREACH: return 10065;
    default: return error;
  }
}

// sendfile has no MSG_NOSIGNAL: SIGPIPE is held back for the call, and one it
// raised is taken away before the mask is restored, so the process lives.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~SigpipeHeld() {
    const timespec now{0, 0};
    while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  sigset_t pipe_;
  sigset_t previous_;
};

}  // namespace

SocketLibrary::SocketLibrary() : started_(true) {}
SocketLibrary::~SocketLibrary() = default;

int LastSocketError() { return ToWinsock(errno); }

// A listening socket of `family` on every address of the port; 0 and `error`
// as OpenListener has them. An IPv6 one takes IPv4 clients too.
SocketHandle ListenOn(int family, int port, int& error) {
  error = 0;
  const SocketHandle s =
      Handle(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
  if (s == 0) return 0;
  const int on = 1, off = 0;
  if (family == AF_INET6 && ::setsockopt(Fd(s), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
    ::close(Fd(s));
    return 0;
  }
  // A restart after Stop must bind while old connections sit in TIME_WAIT.
  ::setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // Connections are handed out once their first bytes came: no worker sits
  // waiting for a request that is still on its way, and one that sends
  // nothing is taken after a second all the same.
  const int deferSeconds = 1;
  ::setsockopt(Fd(s), IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
  // Accepted connections inherit Nagle's delay off and both time-outs, so
  // an accepted connection costs no call to set them.
  ::setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const timeval sendTimeout{kSendTimeoutSeconds, 0};
  ::setsockopt(Fd(s), SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  const timeval receiveSlice{0, kReceiveSliceMicroseconds};
  ::setsockopt(Fd(s), SOL_SOCKET, SO_RCVTIMEO, &receiveSlice, sizeof receiveSlice);
  sockaddr_storage address;
  const socklen_t length = AnyAddress(family, port, address);
  if (::bind(Fd(s), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(Fd(s), INT_MAX) != 0) {
    error = LastSocketError();
    ::close(Fd(s));
    return 0;
  }
  return s;
}

// The socket's own end (`local`) or its peer's; family 0 on failure.
sockaddr_storage EndOf(SocketHandle socket, bool local) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int done = local ? ::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length)
                         : ::getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length);
  if (done != 0) address.ss_family = 0;
  return address;
}

SocketHandle Accept(SocketHandle listener, std::string& peerAddress) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  const SocketHandle s = Handle(
      ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
  if (s == 0) return 0;
  peerAddress = AddressText(peer);
  return s;
}

SocketHandle Connect(const std::string& address, int port) {
  sockaddr_storage peer;
  const auto length = ParseAddress(address, port, peer);
  if (length == 0) return 0;
  const SocketHandle s = Handle(::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (s == 0) return 0;
  if (::connect(Fd(s), reinterpret_cast<const sockaddr*>(&peer), length) != 0) {
    ::close(Fd(s));
    return 0;
  }
  return s;
}

namespace {
// The socket whose last send on this thread was told that more follows: only
// then has Push anything to send. A send without MSG_MORE sends the held
// bytes with its own.
thread_local SocketHandle heldBack = 0;
}  // namespace

long Send(SocketHandle socket, const void* data, std::size_t length, bool more) {
  const long sent =
      static_cast<long>(::send(Fd(socket), data, length, MSG_NOSIGNAL | (more ? MSG_MORE : 0)));
  if (more && sent > 0)
    heldBack = socket;
  else if (heldBack == socket && sent >= 0)
    heldBack = 0;
  return sent;
}

long SendWithinSlice(SocketHandle socket, const void* data, std::size_t length) {
  using Clock = std::chrono::steady_clock;
  const char* p = static_cast<const char*>(data);
  std::size_t sent = 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point giveUp = start + std::chrono::seconds(kSendTimeoutSeconds);
  Clock::time_point sliceEnd = start + std::chrono::milliseconds(kSendSliceMilliseconds);
  for (;;) {
    const ssize_t n = ::send(Fd(socket), p + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      if (heldBack == socket) heldBack = 0;
      if (sent == length) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
    const Clock::time_point now = Clock::now();
    if (sent > 0 && now >= sliceEnd) break;
    if (now >= giveUp) break;
    if (now >= sliceEnd) sliceEnd += std::chrono::milliseconds(kSendSliceMilliseconds);
    // Writable means a third of the buffer is free, which a slow reader may
    // take long to make; a send is tried again at the slice's end anyway.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(sliceEnd - now).count();
    pollfd entry{Fd(socket), POLLOUT, 0};
    ::poll(&entry, 1, static_cast<int>(left));
  }
  return sent > 0 ? static_cast<long>(sent) : -1;
}

void Push(SocketHandle socket) {
  if (heldBack != socket) return;
  heldBack = 0;
  // Setting TCP_NODELAY (again) sends what MSG_MORE held back.
  const int on = 1;
  ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SendAll(SocketHandle socket, const void* data, std::size_t length, bool more) {
  const char* p = static_cast<const char*>(data);
  const int flags = MSG_NOSIGNAL | (more ? MSG_MORE : 0);
  while (length > 0) {
    const ssize_t sent = ::send(Fd(socket), p, length, flags);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    p += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

namespace {

// The socket non-blocking while the object lives: sendfile does not keep to
// the send timeout, so the waits are made here.
class NonBlocking {
 public:
  explicit NonBlocking(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
    if (flags_ >= 0) ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
  }
  ~NonBlocking() {
    if (flags_ >= 0) ::fcntl(fd_, F_SETFL, flags_);
  }

 private:
  int fd_, flags_;
};

bool WaitWritable(int fd) {
  pollfd entry{fd, POLLOUT, 0};
  return ::poll(&entry, 1, kSendTimeoutSeconds * 1000) > 0 && (entry.revents & POLLOUT) != 0;
}

}  // namespace

bool SendFile(SocketHandle socket, FileStream& file, std::int64_t offset, std::int64_t length,
              std::vector<char>& /*buffer*/) {
  off_t position = static_cast<off_t>(offset);
  const off_t end = static_cast<off_t>(offset + length);
  const SigpipeHeld held;
  const NonBlocking nonBlocking(Fd(socket));
  while (position < end) {
    const off_t left = end - position;
    const ssize_t sent = ::sendfile(Fd(socket), static_cast<int>(file.NativeHandle()), &position,
                                    static_cast<std::size_t>(left > INT_MAX ? INT_MAX : left));
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno == EAGAIN && WaitWritable(Fd(socket))) continue;
    if (sent <= 0) return false;  // a failed send, a client that took nothing, or the file shrank
  }
  return true;
}

namespace {

long Receive(SocketHandle socket, void* buffer, std::size_t length, int flags, bool wait) {
  const ssize_t got = ::recv(Fd(socket), buffer, length, flags | (wait ? 0 : MSG_DONTWAIT));
  if (got < 0 && !wait && (errno == EAGAIN || errno == EWOULDBLOCK)) return kNoBytesYet;
  return static_cast<long>(got);
}

}  // namespace

long Recv(SocketHandle socket, void* buffer, std::size_t length, bool wait) {
  return Receive(socket, buffer, length, 0, wait);
}

long Peek(SocketHandle socket, void* buffer, std::size_t length, bool wait) {
  return Receive(socket, buffer, length, MSG_PEEK, wait);
}

long RecvWithinSlice(SocketHandle socket, void* buffer, std::size_t length) {
  const ssize_t got = ::recv(Fd(socket), buffer, length, 0);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return kNoBytesYet;
  return static_cast<long>(got);
}

bool WaitReadable(SocketHandle socket, long microseconds) {
  pollfd entry{Fd(socket), POLLIN, 0};
  const int milliseconds = static_cast<int>((microseconds + 999) / 1000);
  return ::poll(&entry, 1, milliseconds) > 0;
}

bool PeerGone(SocketHandle socket) {
  // A reset sets POLLERR, a shutdown here POLLHUP; the peer's FIN alone neither.
  pollfd entry{Fd(socket), 0, 0};
  return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

void Shutdown(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_RDWR); }

void CloseSocket(SocketHandle socket) { ::close(Fd(socket)); }

}  // namespace platform
