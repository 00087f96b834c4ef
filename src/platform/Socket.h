// Sockets: Winsock 2.2 on Windows, BSD sockets on Linux, one small API.
// Error codes are reported as the Winsock numbers on both builds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class FileStream;

// A socket handle as a number; 0 means none.
using SocketHandle = std::intptr_t;

// Keeps the socket library started (Winsock 2.2) for the object's lifetime.
class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;

 private:
  bool started_ = false;
};

// The calling thread's last socket error as a Winsock number (10048 address
// in use, 10013 access denied, ...).
int LastSocketError();
// The error of a call that would have had to wait.
constexpr int kWouldBlock = 10035;
// The error of a bind to a port that another socket holds.
constexpr int kAddressInUse = 10048;
// What Recv and Peek return when told not to wait and no byte is there yet.
constexpr long kNoBytesYet = -2;

// A TCP socket listening on every IPv6 and IPv4 address of `port` (one
// dual-stack socket; IPv4 alone on a machine without IPv6) with the
// platform's largest backlog (port 0: any free port), non-blocking: Accept
// never waits. 0 on failure; `error` is then the socket error of bind or
// listen, or 0 when no socket could be created.
SocketHandle OpenListener(int port, int& error);
// The local port a socket is bound to; 0 on failure.
int LocalPort(SocketHandle socket);
// The port of a connection's peer; 0 on failure.
int PeerPort(SocketHandle socket);
// The local address of a connection, written as Accept writes the peer's;
// "" on failure.
std::string LocalAddress(SocketHandle socket);
// How long a send may wait for a client that takes nothing: the client then
// loses its connection, and the worker serves others.
constexpr int kSendTimeoutSeconds = 30;

// The next waiting connection, blocking, with Nagle's delay off and sends
// that fail after kSendTimeoutSeconds without progress; 0 when
// none waits (LastSocketError is then kWouldBlock) or on failure.
// `peerAddress` receives the peer's address: dotted for an IPv4 client
// (127.0.0.1, never ::ffff:127.0.0.1), IPv6 text for the others (::1).
SocketHandle Accept(SocketHandle listener, std::string& peerAddress);
// A blocking connection to `address` (IPv4 or IPv6 text):`port`; 0 on failure.
SocketHandle Connect(const std::string& address, int port);

// One send call (no SIGPIPE on Linux): the bytes sent, or -1. `more` tells
// that more data follows at once: where the platform can, the bytes then wait
// for it in the socket (at most a fifth of a second) and leave with it in one
// packet; Push sends them at once.
long Send(SocketHandle socket, const void* data, std::size_t length, bool more = false);
// How long SendWithinSlice goes on once part of the bytes went.
constexpr int kSendSliceMilliseconds = 1000;
// Sends what the peer takes: the count sent once every byte went, or once
// some did and kSendSliceMilliseconds passed; -1 when none went within
// kSendTimeoutSeconds or the send failed. A caller with a deadline of its own
// looks at it between calls, however slowly the peer reads.
long SendWithinSlice(SocketHandle socket, const void* data, std::size_t length);
// Sends what sends with `more` left waiting in the socket, now.
void Push(SocketHandle socket);
// Sends every byte; false on failure. `more` tells that more data follows at
// once, so a short header and the body can leave in one packet.
bool SendAll(SocketHandle socket, const void* data, std::size_t length, bool more = false);
// Sends `length` bytes of `file` from `offset`, zero-copy where the platform
// can, else through `buffer`; false when a send failed or the file ended
// before.
bool SendFile(SocketHandle socket, FileStream& file, std::int64_t offset, std::int64_t length,
              std::vector<char>& buffer);
// One recv call: the bytes received, 0 when the peer closed, or -1. Without
// `wait`, kNoBytesYet at once instead of waiting for the first byte.
long Recv(SocketHandle socket, void* buffer, std::size_t length, bool wait = true);
// Like Recv, but the bytes stay in the socket.
long Peek(SocketHandle socket, void* buffer, std::size_t length, bool wait = true);
// Waits until the socket is readable; false on time-out or error.
bool WaitReadable(SocketHandle socket, long microseconds);
// How long RecvWithinSlice waits for a first byte: the worker looks at its
// stop flag between slices.
constexpr long kReceiveSliceMicroseconds = 200'000;
// One receive on an accepted connection that waits at most
// kReceiveSliceMicroseconds for the first byte: the bytes received, 0 when
// the peer closed, -1 on failure, kNoBytesYet when none came (or the wait was
// interrupted). On Linux that is a single call, the connection having its
// receive time-out from the listener.
long RecvWithinSlice(SocketHandle socket, void* buffer, std::size_t length);
// True when the peer reset the connection or it was shut down here. A peer
// that only closed its sending side (or closed and has not been sent to
// since) is still there: only a send can tell. Does not wait.
bool PeerGone(SocketHandle socket);

// Ends both directions of a connection or listener: calls blocked on it in
// other threads return, later ones fail. The handle stays to be closed.
void Shutdown(SocketHandle socket);
void CloseSocket(SocketHandle socket);

}  // namespace platform
