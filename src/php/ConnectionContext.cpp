#include "php/ConnectionContext.h"

#include <cstring>

#include "common/TextView.h"

namespace php_context {

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
    field = text::Trimmed(text.substr(start, sep == std::string_view::npos ? sep : sep - start));
    if (sep == std::string_view::npos) return;
    start = sep + sepLength;
  }
}

std::string_view Fields::operator[](int number) const {
  return number >= 1 && number <= kFieldCount ? fields_[number - 1] : std::string_view();
}

bool ParseDecimal(std::string_view text, std::uintptr_t& value) {
  std::uint64_t result = 0;
  if (!text::ParseDecimal(text, result) || result > UINTPTR_MAX) return false;
  value = static_cast<std::uintptr_t>(result);
  return true;
}

}  // namespace php_context
