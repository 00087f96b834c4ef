// The machine's own address, for the URL that other machines on the network use.
#pragma once
#include <string>

namespace platform {

// The first address of the machine's interfaces that is not a loopback one:
// an IPv4 address in dotted form if there is one, else an IPv6 address in
// brackets ("[2001:db8::1]"), link-local ones left out as a URL cannot name
// their interface; empty when the machine has none.
std::string NetworkAddress();

}  // namespace platform
