// ServeRequest: one request of a connection, from reading its head to the
// end of its answer.
#pragma once
#include <string>

#include "http/Connection.h"

// Returns CloseAfter: true when the connection is to be closed.
bool ServeRequest(const TConnection& connection);

// The head with its request line naming the index file found for a folder
// URL, so the PHP module sees that file's path.
std::string RewriteRequestLine(const std::string& head, const std::string& method,
                               const std::string& url, const std::string& localPath,
                               const std::string& query);
