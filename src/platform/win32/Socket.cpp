#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <climits>

#include "platform/FileStream.h"
#include "platform/SocketAddress.h"

namespace platform {

namespace {

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

SocketHandle Handle(SOCKET s) {
  return s == INVALID_SOCKET ? 0 : static_cast<SocketHandle>(s);
}

int ClampLength(std::size_t length) {
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

SocketLibrary::SocketLibrary() {
  WSADATA data;
  started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

SocketLibrary::~SocketLibrary() {
  if (started_) ::WSACleanup();
}

int LastSocketError() { return ::WSAGetLastError(); }

// A listening socket of `family` on every address of the port; 0 and `error`
// as OpenListener has them. An IPv6 one takes IPv4 clients too.
SocketHandle ListenOn(int family, int port, int& error) {
  error = 0;
  const SocketHandle s = Handle(::socket(family, SOCK_STREAM, IPPROTO_TCP));
  if (s == 0) return 0;
  const DWORD off = 0;
  if (family == AF_INET6 && ::setsockopt(Sock(s), IPPROTO_IPV6, IPV6_V6ONLY,
                                         reinterpret_cast<const char*>(&off), sizeof off) != 0) {
    ::closesocket(Sock(s));
    return 0;
  }
  u_long nonBlocking = 1;
  ::ioctlsocket(Sock(s), FIONBIO, &nonBlocking);
  sockaddr_storage address;
  const int length = AnyAddress(family, port, address);
  if (::bind(Sock(s), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(Sock(s), SOMAXCONN) != 0) {
    error = LastSocketError();
    ::closesocket(Sock(s));
    return 0;
  }
  return s;
}

// The socket's own end (`local`) or its peer's; family 0 on failure.
sockaddr_storage EndOf(SocketHandle socket, bool local) {
  sockaddr_storage address{};
  int length = sizeof address;
  const int done = local ? ::getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&address), &length)
                         : ::getpeername(Sock(socket), reinterpret_cast<sockaddr*>(&address), &length);
  if (done != 0) address.ss_family = 0;
  return address;
}

SocketHandle Accept(SocketHandle listener, std::string& peerAddress) {
  sockaddr_storage peer{};
  int length = sizeof peer;
  const SocketHandle s =
      Handle(::accept(Sock(listener), reinterpret_cast<sockaddr*>(&peer), &length));
  if (s == 0) return 0;
  // An accepted socket inherits the listener's non-blocking mode.
  u_long nonBlocking = 0;
  ::ioctlsocket(Sock(s), FIONBIO, &nonBlocking);
  const BOOL on = TRUE;
  ::setsockopt(Sock(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  const DWORD sendTimeoutMs = kSendTimeoutSeconds * 1000;
  ::setsockopt(Sock(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs),
               sizeof sendTimeoutMs);
  peerAddress = AddressText(peer);
  return s;
}

SocketHandle Connect(const std::string& address, int port) {
  sockaddr_storage peer;
  const auto length = ParseAddress(address, port, peer);
  if (length == 0) return 0;
  const SocketHandle s = Handle(::socket(peer.ss_family, SOCK_STREAM, IPPROTO_TCP));
  if (s == 0) return 0;
  if (::connect(Sock(s), reinterpret_cast<const sockaddr*>(&peer), length) != 0) {
    ::closesocket(Sock(s));
    return 0;
  }
  return s;
}

// Winsock has no MSG_MORE: every send leaves at once, so nothing waits for Push.
long Send(SocketHandle socket, const void* data, std::size_t length, bool /*more*/) {
  return ::send(Sock(socket), static_cast<const char*>(data), ClampLength(length), 0);
}

long SendWithinSlice(SocketHandle socket, const void* data, std::size_t length) {
  // Once writable, a send is taken into the socket's buffers without a long
  // wait; a piece at a time keeps each call short.
  constexpr std::size_t kPiece = 64 * 1024;
  const char* p = static_cast<const char*>(data);
  std::size_t sent = 0;
  const ULONGLONG start = ::GetTickCount64();
  while (sent < length) {
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    const ULONGLONG limit = sent > 0 ? kSendSliceMilliseconds : kSendTimeoutSeconds * 1000ULL;
    if (elapsed >= limit) break;
    const ULONGLONG wait = limit - elapsed;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(Sock(socket), &writable);
    timeval timeout{static_cast<long>(wait / 1000), static_cast<long>(wait % 1000 * 1000)};
    if (::select(0, nullptr, &writable, nullptr, &timeout) != 1) break;
    const std::size_t left = length - sent;
    const int n = ::send(Sock(socket), p + sent, ClampLength(left < kPiece ? left : kPiece), 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  return sent > 0 ? static_cast<long>(sent) : -1;
}

void Push(SocketHandle /*socket*/) {}

bool SendAll(SocketHandle socket, const void* data, std::size_t length, bool /*more*/) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const int sent = ::send(Sock(socket), p, ClampLength(length), 0);
    if (sent <= 0) return false;
    p += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool SendFile(SocketHandle socket, FileStream& file, std::int64_t offset, std::int64_t length,
              std::vector<char>& buffer) {
  if (!file.Seek(offset)) return false;
  while (length > 0) {
    const std::size_t wanted =
        length < static_cast<std::int64_t>(buffer.size()) ? static_cast<std::size_t>(length)
                                                          : buffer.size();
    const long read = file.Read(buffer.data(), wanted);
    if (read <= 0) return false;
    if (!SendAll(socket, buffer.data(), static_cast<std::size_t>(read))) return false;
    length -= read;
  }
  return true;
}

namespace {

long Receive(SocketHandle socket, void* buffer, std::size_t length, int flags, bool wait) {
  if (!wait && !WaitReadable(socket, 0)) return kNoBytesYet;
  return ::recv(Sock(socket), static_cast<char*>(buffer), ClampLength(length), flags);
}

}  // namespace

long Recv(SocketHandle socket, void* buffer, std::size_t length, bool wait) {
  return Receive(socket, buffer, length, 0, wait);
}

long Peek(SocketHandle socket, void* buffer, std::size_t length, bool wait) {
  return Receive(socket, buffer, length, MSG_PEEK, wait);
}

bool WaitReadable(SocketHandle socket, long microseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(socket), &readable);
  timeval timeout{microseconds / 1'000'000, microseconds % 1'000'000};
  return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

// A receive time-out would leave a Winsock socket in an undefined state:
// the wait comes first here.
long RecvWithinSlice(SocketHandle socket, void* buffer, std::size_t length) {
  if (!WaitReadable(socket, kReceiveSliceMicroseconds)) return kNoBytesYet;
  return Recv(socket, buffer, length);
}

bool PeerGone(SocketHandle socket) {
  // A reset or shut down connection is readable, and a peek then fails; the
  // peer's FIN alone makes the peek find nothing, and the peer may still read.
  if (!WaitReadable(socket, 0)) return false;
  char byte = 0;
  return ::recv(Sock(socket), &byte, 1, MSG_PEEK) == SOCKET_ERROR &&
         ::WSAGetLastError() != WSAEWOULDBLOCK;
}

void Shutdown(SocketHandle socket) {
  ::shutdown(Sock(socket), SD_BOTH);
  // A blocking call in another thread is not woken by shutdown alone.
  ::CancelIoEx(reinterpret_cast<HANDLE>(socket), nullptr);
}

void CloseSocket(SocketHandle socket) { ::closesocket(Sock(socket)); }

}  // namespace platform
