// A request as php-cgi gets it: the CGI variables, taken from the server's
// variables, and what the module must know to answer it.
#pragma once
#include <string>

#include "php/Isapi.h"

namespace phpisapi {

struct CgiRequest {
  std::string params;  // the FastCGI name-value pairs
  DWORD bodyLength = 0;
  bool headOnly = false;        // HEAD: no body goes to the client
  bool keepAliveAsked = false;  // Connection: keep-alive
  bool expectContinue = false;  // Expect: 100-continue
  bool chunkedAllowed = false;  // an HTTP/1.1 client: a body of unknown length goes chunked
};

CgiRequest DescribeRequest(EXTENSION_CONTROL_BLOCK& ecb);

}  // namespace phpisapi
