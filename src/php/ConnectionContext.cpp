#include "php/ConnectionContext.h"

#include <cstring>

namespace php_context {

namespace {

std::string_view Trimmed(std::string_view text) {
  std::size_t from = 0, to = text.size();
  while (from < to && static_cast<unsigned char>(text[from]) <= 32) ++from;
  while (to > from && static_cast<unsigned char>(text[to - 1]) <= 32) --to;
  return text.substr(from, to - from);
}

}  // namespace

std::string Build(const TPhpRequestRecord& request) {
  const std::string sep = kFieldSeparator;
  return std::to_string(request.socket) + sep + request.request->head + sep +
         request.documentRoot + sep + request.serverSoftware + sep + request.clientAddress +
         sep + request.portText + sep +
         std::to_string(reinterpret_cast<std::uintptr_t>(request.keepAliveFlag)) + sep +
         std::to_string(reinterpret_cast<std::uintptr_t>(&request));
}

Fields::Fields(const std::string& context) {
  const std::string_view text = context;
  const std::size_t sepLength = std::strlen(kFieldSeparator);
  std::size_t start = 0;
  for (auto& field : fields_) {
    const std::size_t sep = text.find(kFieldSeparator, start);
    field = Trimmed(text.substr(start, sep == std::string_view::npos ? sep : sep - start));
    if (sep == std::string_view::npos) return;
    start = sep + sepLength;
  }
}

std::string_view Fields::operator[](int number) const {
  return number >= 1 && number <= kFieldCount ? fields_[number - 1] : std::string_view();
}

bool ParseDecimal(std::string_view text, std::uintptr_t& value) {
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
