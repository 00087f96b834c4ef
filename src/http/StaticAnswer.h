// The answer from a file of the document root: 200, 206 for the one byte
// range asked, 304 when both validators match, 416 for a range past the end.
#pragma once
#include <string>

#include "common/HttpRequest.h"
#include "http/Connection.h"
#include "http/UrlMapping.h"

// `method` is upper-cased. False when the answer could not go out whole (a
// failed send, a file that shrank). An `errorStatus` (a folder's error page)
// sends the whole file with that status, whatever the validators. A `type`
// (a rule's T=) replaces the one of the file's extension.
bool SendStaticFile(const TConnection& connection, const TPhysicalPath& mapped,
                    const std::string& method, const THttpRequest& request,
                    const std::string& connectionLine, int errorStatus = 0,
                    const std::string& type = std::string());
