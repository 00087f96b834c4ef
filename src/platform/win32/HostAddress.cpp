#include "platform/HostAddress.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

namespace platform {

namespace {

// Winsock for the duration of one lookup; the calls nest with any other user.
struct WinsockSession {
  WinsockSession() { ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0; }
  ~WinsockSession() {
    if (ok) ::WSACleanup();
  }
  WSADATA data;
  bool ok;
};

}  // namespace

std::string LocalHostAddress() {
  WinsockSession winsock;
  char name[256] = {};
  if (!winsock.ok || ::gethostname(name, sizeof name - 1) != 0) return std::string();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return std::string();
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
  const auto* address = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  return ::inet_ntoa(address->sin_addr);
}

}  // namespace platform
