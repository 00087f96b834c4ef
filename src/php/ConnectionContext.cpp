#include "php/ConnectionContext.h"

#include <cstdint>
#include <cstring>

namespace php_context {

std::string Build(const TPhpRequestRecord& request) {
  const std::string sep = kFieldSeparator;
  return std::to_string(request.socket) + sep + request.requestHead + sep +
         request.documentRoot + sep + request.serverSoftware + sep + request.clientAddress +
         sep + request.portText + sep +
         std::to_string(reinterpret_cast<std::uintptr_t>(request.keepAliveFlag)) + sep +
         request.rawTarget;
}

std::string Field(const std::string& context, int number) {
  const std::size_t sepLength = std::strlen(kFieldSeparator);
  std::size_t start = 0;
  for (int i = 1; i < number; ++i) {
    const std::size_t sep = context.find(kFieldSeparator, start);
    if (sep == std::string::npos) return std::string();
    start = sep + sepLength;
  }
  const std::size_t end = context.find(kFieldSeparator, start);
  return context.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool ParseDecimal(const std::string& text, std::uintptr_t& value) {
  if (text.empty() || text.size() > 20) return false;
  std::uintptr_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uintptr_t>(c - '0');
    if (result > (UINTPTR_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  value = result;
  return true;
}

}  // namespace php_context
