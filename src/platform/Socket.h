// Sockets: Winsock 2.2 on Windows, BSD sockets on Linux, one small API.
// Error codes are reported as the Winsock numbers on both builds.
#pragma once
#include <cstdint>

namespace platform {

// A socket handle as a number; 0 means none.
using SocketHandle = std::intptr_t;

}  // namespace platform
