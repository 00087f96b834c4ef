// Socket addresses of both families, for the two socket implementations:
// the same structures and text functions exist in Winsock and BSD sockets.
#pragma once
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <string>

#include "platform/Socket.h"

namespace platform {

// The wildcard address of `family` (AF_INET or AF_INET6) at `port`; its length.
socklen_t AnyAddress(int family, int port, sockaddr_storage& address);
// `text` (IPv4 or IPv6) at `port`; 0 when it is neither.
socklen_t ParseAddress(const std::string& text, int port, sockaddr_storage& address);
// An address as clients know it: an IPv4 client of a dual-stack listener in
// its dotted form, not as ::ffff:a.b.c.d; "" for another family.
std::string AddressText(const sockaddr_storage& address);
int PortOf(const sockaddr_storage& address);

// Each platform's own: a listening socket of `family` on every address of the
// port (0 and `error` as OpenListener has them; an IPv6 one takes IPv4 clients
// too), and a socket's own end (`local`) or its peer's, family 0 on failure.
SocketHandle ListenOn(int family, int port, int& error);
sockaddr_storage EndOf(SocketHandle socket, bool local);

}  // namespace platform
