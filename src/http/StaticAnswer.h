// The answer from a file of the document root: 200, 206 from a byte offset to
// the end, 304 when both validators match, 416 for an offset past the end.
#pragma once
#include <string>

#include "http/Connection.h"

// `method` is upper-cased; `head` is the request head as read. False when
// the answer could not go out whole (a failed send, a file that shrank).
bool SendStaticFile(const TConnection& connection, const std::string& localPath,
                    const std::string& method, const std::string& head,
                    const std::string& connectionLine);
