// One round of the folders' rewriting over a mapped path: the rules of the
// deepest folder that has a rules file, as a per-folder rewriting reads them.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "common/HttpRequest.h"
#include "http/FolderRulesCache.h"
#include "http/UrlMapping.h"
#include "platform/Socket.h"

struct TRewriteInput {
  const THttpRequest* request = nullptr;  // the headers and the method as sent
  std::string url;    // the decoded path of this round
  std::string query;  // this round's query, not decoded
  std::string clientAddress;
  std::string serverPort;
  platform::SocketHandle connection = 0;  // for SERVER_ADDR and REMOTE_PORT; 0: none
  std::vector<THttpHeader> variables;  // set by the rules so far
};

struct TRewriteOutcome {
  enum class Kind { kServe, kRewritten, kRedirect, kStatus };
  Kind kind = Kind::kServe;
  int status = 0;        // kRedirect, kStatus
  std::string url;       // kRewritten: the new decoded path; kRedirect: the Location
  std::string query;     // kRewritten
  bool external = false; // kRedirect: url is a whole URL of another site, query included
  bool end = false;      // [END]: the next round maps without rewriting
  std::vector<THttpHeader> variables;  // E= set in this round, expanded
  std::string failure;   // kStatus 500: what could not be finished, for the server log
  std::string type;      // T=: the Content-Type of what is served
  std::string handler;   // H=: the handler of what is served
  std::string headerLines;  // CO=: "Set-Cookie: ...\r\n" lines for the answer
};

// The engine is on and the rules of the deepest folder that has rewriting
// directives (with its parents' under RewriteOptions Inherit) run against the
// path relative to that folder.
TRewriteOutcome RewriteOnce(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
                            const TRewriteInput& input);

// True for the %{NAME}s the rewriting expands (NAME as written, with "HTTP:",
// "ENV:" and "SSL:" forms).
bool IsRewriteVariable(const std::string& name);

// Restarts by [N] within one round before it is refused with 500.
constexpr int kMaxRuleRestarts = 10;
