#include "platform/HostAddress.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <vector>

namespace platform {

namespace {

// The adapters' table; its size is known only after a first call.
std::vector<unsigned char> Adapters() {
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> table;
  for (int attempt = 0; attempt < 3; ++attempt) {
    table.resize(size);
    const ULONG result = ::GetAdaptersAddresses(
        AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()), &size);
    if (result == NO_ERROR) return table;
    if (result != ERROR_BUFFER_OVERFLOW) break;
  }
  return {};
}

}  // namespace

std::string NetworkAddress() {
  std::vector<unsigned char> table = Adapters();
  if (table.empty()) return std::string();
  std::string v6;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()); a; a = a->Next) {
    if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->OperStatus != IfOperStatusUp) continue;
    for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
      const sockaddr* address = u->Address.lpSockaddr;
      char text[INET6_ADDRSTRLEN] = {};
      if (address->sa_family == AF_INET) {
        const in_addr& ip = reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
        if (ip.s_net != 127 && ::inet_ntop(AF_INET, &ip, text, sizeof text)) return text;
      } else if (address->sa_family == AF_INET6 && v6.empty()) {
        const in6_addr& ip = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (!IN6_IS_ADDR_LINKLOCAL(&ip) && !IN6_IS_ADDR_LOOPBACK(&ip) &&
            ::inet_ntop(AF_INET6, &ip, text, sizeof text))
          v6 = std::string("[") + text + "]";
      }
    }
  }
  return v6;
}

}  // namespace platform
