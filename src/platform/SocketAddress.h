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

namespace platform {

// The wildcard address of `family` (AF_INET or AF_INET6) at `port`; its length.
socklen_t AnyAddress(int family, int port, sockaddr_storage& address);
// `text` (IPv4 or IPv6) at `port`; 0 when it is neither.
socklen_t ParseAddress(const std::string& text, int port, sockaddr_storage& address);
// An address as clients know it: an IPv4 client of a dual-stack listener in
// its dotted form, not as ::ffff:a.b.c.d; "" for another family.
std::string AddressText(const sockaddr_storage& address);
int PortOf(const sockaddr_storage& address);

}  // namespace platform
