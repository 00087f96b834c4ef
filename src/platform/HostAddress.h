// The machine's own address.
#pragma once
#include <string>

namespace platform {

// The first IPv4 address that the machine's host name resolves to, in dotted
// form; empty when the name cannot be resolved.
std::string LocalHostAddress();

}  // namespace platform
