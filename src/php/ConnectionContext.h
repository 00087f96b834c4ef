// The connection context: the text through which the callbacks find the
// request of a ConnID. Fields, separated by CR LF CR LF: 1 socket, 2 request
// head, 3 document root, 4 server software, 5 remote address, 6 server port,
// 7 address of the worker's keep-alive byte, 8 the raw request target.
#pragma once
#include <cstdint>
#include <string>

#include "php/PhpRequest.h"

namespace php_context {

constexpr const char* kFieldSeparator = "\r\n\r\n";

std::string Build(const TPhpRequestRecord& request);

// Field `number` (1-based), untrimmed; empty when the text has fewer fields.
std::string Field(const std::string& context, int number);

// A whole decimal number; false when the text is not one.
bool ParseDecimal(const std::string& text, std::uintptr_t& value);

}  // namespace php_context
