#include "platform/HostAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

namespace platform {

std::string NetworkAddress() {
  ifaddrs* found = nullptr;
  if (::getifaddrs(&found) != 0) return std::string();
  std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(found, &::freeifaddrs);
  std::string v6;
  for (const ifaddrs* i = found; i; i = i->ifa_next) {
    if (!i->ifa_addr || (i->ifa_flags & IFF_LOOPBACK) || !(i->ifa_flags & IFF_UP)) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (i->ifa_addr->sa_family == AF_INET) {
      const in_addr& a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
      if (::inet_ntop(AF_INET, &a, text, sizeof text)) return text;
    } else if (i->ifa_addr->sa_family == AF_INET6 && v6.empty()) {
      const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr;
      if (!IN6_IS_ADDR_LINKLOCAL(&a) && !IN6_IS_ADDR_LOOPBACK(&a) &&
          ::inet_ntop(AF_INET6, &a, text, sizeof text))
        v6 = std::string("[") + text + "]";
    }
  }
  return v6;
}

}  // namespace platform
