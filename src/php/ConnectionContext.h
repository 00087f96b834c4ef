// The connection context: the text through which the callbacks find the
// request of a ConnID. Fields, separated by CR LF CR LF: 1 socket, 2 request
// head, 3 document root, 4 server software, 5 remote address, 6 server port,
// 7 address of the worker's keep-alive byte, 8 address of the request record
// (the parsed request, its body, the worker's flag), alive while the module runs.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "php/PhpRequest.h"

namespace php_context {

constexpr const char* kFieldSeparator = "\r\n\r\n";
constexpr int kFieldCount = 8;

std::string Build(const TPhpRequestRecord& request);

// The fields of a context, cut in one pass, each trimmed (every character of
// code 32 or less off both ends). Views into the text, which must outlive them.
class Fields {
 public:
  explicit Fields(const std::string& context);
  // Field `number` (1-based); empty when the text has fewer fields.
  std::string_view operator[](int number) const;

 private:
  std::array<std::string_view, kFieldCount> fields_{};
};

// A whole decimal number; false when the text is not one.
bool ParseDecimal(std::string_view text, std::uintptr_t& value);

}  // namespace php_context
