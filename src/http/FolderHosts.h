// The hosts of Allow, Deny and Require ip: read from their words and
// compared with a client's address.
#pragma once
#include <string>

#include "http/FolderRules.h"

// False when `word` is no form of host the access modules take.
bool ParseHostPattern(const std::string& word, THostPattern& pattern);

// A client's address as patterns compare it: IPv4 as ::ffff:a.b.c.d.
struct TClientAddress {
  unsigned char bytes[16] = {};
  bool known = false;  // the text was an address
  bool loopback = false;
};
TClientAddress ClientAddressOf(const std::string& text);

// True when `pattern` names the client; `inDeny` says where it stands, which
// decides for what is not known (see THostPattern).
bool HostMatches(const THostPattern& pattern, const TClientAddress& client, bool inDeny);
