// From a parsed request to what answers it: the URL mapped into its
// physical-path record, the folders' rules applied round after round.
#pragma once
#include <string>

#include "common/HttpRequest.h"
#include "http/Connection.h"
#include "http/UrlMapping.h"

struct TResolvedRequest {
  TPhysicalPath mapped;  // what is served when status is 0
  int status = 0;        // else the answer: a redirect (with location) or a refusal
  std::string location;
  std::string errorText;       // the body of the status: a folder's ErrorDocument text, or
                               // the list of projects for a *.localhost name without one
  TPhysicalPath errorDocument; // or the folder's local ErrorDocument, mapped
  std::string type;            // a rule's T=: the Content-Type of a static file served
  std::string headerLines;     // the rules' CO=: lines the answer carries, whatever it is
};

// Rewriting may change the request's query and its mapped fields; the target
// as sent (REQUEST_URI) stays.
// `connection`, the request's socket, gives the rules SERVER_ADDR and REMOTE_PORT.
TResolvedRequest ResolveRequest(const TWorkerSettings& settings, THttpRequest& request,
                                platform::SocketHandle connection = 0);

// Internal redirects a request may go through before it is refused with 500.
constexpr int kMaxRewriteRounds = 10;
