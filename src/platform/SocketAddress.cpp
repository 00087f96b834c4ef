#include "platform/SocketAddress.h"

#ifndef _WIN32
#include <arpa/inet.h>
#endif

#include <cstdint>

namespace platform {

namespace {

sockaddr_in& V4(sockaddr_storage& a) { return reinterpret_cast<sockaddr_in&>(a); }
sockaddr_in6& V6(sockaddr_storage& a) { return reinterpret_cast<sockaddr_in6&>(a); }
const sockaddr_in& V4(const sockaddr_storage& a) { return reinterpret_cast<const sockaddr_in&>(a); }
const sockaddr_in6& V6(const sockaddr_storage& a) { return reinterpret_cast<const sockaddr_in6&>(a); }

socklen_t WithPort(sockaddr_storage& address, int family, int port) {
  const auto networkPort = htons(static_cast<std::uint16_t>(port));
  if (family == AF_INET6) {
    V6(address).sin6_family = AF_INET6;
    V6(address).sin6_port = networkPort;
    return sizeof(sockaddr_in6);
  }
  V4(address).sin_family = AF_INET;
  V4(address).sin_port = networkPort;
  return sizeof(sockaddr_in);
}

}  // namespace

socklen_t AnyAddress(int family, int port, sockaddr_storage& address) {
  address = sockaddr_storage{};  // all zero: INADDR_ANY and in6addr_any
  return WithPort(address, family, port);
}

socklen_t ParseAddress(const std::string& text, int port, sockaddr_storage& address) {
  address = sockaddr_storage{};
  if (::inet_pton(AF_INET, text.c_str(), &V4(address).sin_addr) == 1)
    return WithPort(address, AF_INET, port);
  if (::inet_pton(AF_INET6, text.c_str(), &V6(address).sin6_addr) == 1)
    return WithPort(address, AF_INET6, port);
  return 0;
}

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    ::inet_ntop(AF_INET, &V4(address).sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const in6_addr& v6 = V6(address).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6))
      ::inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
    else
      ::inet_ntop(AF_INET6, &v6, text, sizeof text);
  }
  return text;
}

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET6) return ntohs(V6(address).sin6_port);
  if (address.ss_family == AF_INET) return ntohs(V4(address).sin_port);
  return 0;
}

namespace {

// The errors of a machine without IPv6 (Winsock's codes, to which both
// platforms report): no such family, no such address.
bool WithoutIpv6(int error) { return error == 0 || error == 10047 || error == 10049; }

}  // namespace

SocketHandle OpenListener(int port, int& error) {
  const SocketHandle s = ListenOn(AF_INET6, port, error);
  if (s != 0 || !WithoutIpv6(error)) return s;
  return ListenOn(AF_INET, port, error);
}

int LocalPort(SocketHandle socket) { return PortOf(EndOf(socket, true)); }
int PeerPort(SocketHandle socket) { return PortOf(EndOf(socket, false)); }
std::string LocalAddress(SocketHandle socket) { return AddressText(EndOf(socket, true)); }

}  // namespace platform
