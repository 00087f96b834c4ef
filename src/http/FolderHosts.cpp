#include "http/FolderHosts.h"

#include <cstring>

#include "http/FolderDirectives.h"
#include "platform/SocketAddress.h"

namespace {

constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

// Dotted IPv4, whole ("10.1.2.3") or its leading part ("10.1", "10.1."):
// the address and a mask of the parts given.
bool ParseIpv4(const std::string& text, unsigned char* address, unsigned char* mask, bool whole) {
  std::memcpy(address, kMappedPrefix, 12);
  std::memset(mask, 0xFF, 12);
  std::size_t at = 0;
  int parts = 0;
  while (at < text.size() && parts < 4) {
    int value = 0, digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4; ++at, ++digits)
      value = value * 10 + (text[at] - '0');
    if (digits == 0 || digits > 3 || value > 255) return false;
    address[12 + parts] = static_cast<unsigned char>(value);
    mask[12 + parts] = 0xFF;
    ++parts;
    if (at < text.size() && text[at++] != '.') return false;
  }
  return at == text.size() && parts > 0 && (!whole || (parts == 4 && text.back() != '.'));
}

// A whole IPv4 or IPv6 address in 16 bytes.
bool ParseAddressBytes(const std::string& text, unsigned char* address) {
  unsigned char mask[16];
  if (text.find(':') == std::string::npos) return ParseIpv4(text, address, mask, true);
  sockaddr_storage parsed{};
  if (platform::ParseAddress(text, 0, parsed) == 0 || parsed.ss_family != AF_INET6) return false;
  std::memcpy(address, &reinterpret_cast<const sockaddr_in6&>(parsed).sin6_addr, 16);
  return true;
}

// "/bits" (counted from the address's own family) or "/dotted mask" (IPv4).
bool ParseMask(const std::string& text, bool ipv4, unsigned char* mask) {
  std::memset(mask, 0, 16);
  if (text.find('.') != std::string::npos) {
    unsigned char dotted[16];
    if (!ipv4 || !ParseAddressBytes(text, dotted)) return false;
    std::memset(mask, 0xFF, 12);
    std::memcpy(mask + 12, dotted + 12, 4);
    return true;
  }
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  int bits = std::stoi(text);
  if (bits > (ipv4 ? 32 : 128)) return false;
  if (ipv4) bits += 96;
  for (int i = 0; i < 16; ++i, bits -= 8)
    mask[i] = bits >= 8 ? 0xFF : bits > 0 ? static_cast<unsigned char>(0xFF << (8 - bits)) : 0;
  return true;
}

bool IsHostName(const std::string& name) {
  return name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") == std::string::npos &&
         name.find_first_not_of("0123456789.") != std::string::npos;
}

}  // namespace

bool ParseHostPattern(const std::string& word, THostPattern& pattern) {
  const std::string host = LowerName(word);
  pattern = THostPattern();
  if (host == "all") return true;
  if (host.rfind("env=", 0) == 0) {
    pattern.kind = THostPattern::Kind::kUnchecked;
    return true;
  }
  pattern.kind = THostPattern::Kind::kNetwork;
  const std::size_t slash = host.find('/');
  if (slash != std::string::npos) {
    const std::string address = host.substr(0, slash);
    if (!ParseAddressBytes(address, pattern.address) ||
        !ParseMask(host.substr(slash + 1), address.find(':') == std::string::npos, pattern.mask))
      return false;
  } else if (host.find(':') != std::string::npos) {
    if (!ParseAddressBytes(host, pattern.address)) return false;
    std::memset(pattern.mask, 0xFF, 16);
  } else if (!ParseIpv4(host, pattern.address, pattern.mask, false)) {
    if (!IsHostName(host)) return false;
    pattern.kind = THostPattern::Kind::kName;
    pattern.name = host;
  }
  for (int i = 0; i < 16; ++i) pattern.address[i] &= pattern.mask[i];
  return true;
}

TClientAddress ClientAddressOf(const std::string& text) {
  TClientAddress client;
  client.known = ParseAddressBytes(text, client.bytes);
  if (!client.known) return client;
  static const unsigned char kIpv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  client.loopback = (std::memcmp(client.bytes, kMappedPrefix, 12) == 0 && client.bytes[12] == 127) ||
                    std::memcmp(client.bytes, kIpv6Loopback, 16) == 0;
  return client;
}

bool HostMatches(const THostPattern& pattern, const TClientAddress& client, bool inDeny) {
  switch (pattern.kind) {
    case THostPattern::Kind::kAll: return true;
    case THostPattern::Kind::kNetwork:
      if (!client.known) return inDeny;
      for (int i = 0; i < 16; ++i)
        if ((client.bytes[i] & pattern.mask[i]) != pattern.address[i]) return false;
      return true;
    case THostPattern::Kind::kName:
      return client.loopback ? pattern.name == "localhost" : inDeny;
    case THostPattern::Kind::kUnchecked: return inDeny;
  }
  return inDeny;
}
