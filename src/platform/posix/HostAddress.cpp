#include "platform/HostAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <memory>

namespace platform {

std::string LocalHostAddress() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return std::string();
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
  char text[INET_ADDRSTRLEN] = {};
  const auto* address = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  if (!::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) return std::string();
  return text;
}

}  // namespace platform
