#include "http/RequestResolver.h"

#include <cctype>
#include <utility>

#include "http/FolderAccess.h"
#include "http/FolderAlias.h"
#include "http/FolderDirTargets.h"
#include "http/FolderHandlers.h"
#include "http/FolderRewrite.h"
#include "http/FolderRulesCache.h"
#include "http/ProjectHosts.h"
#include "http/ServerLog.h"

namespace {

// Only a host name or address may open a Location: anything else stays a path.
bool IsPlainHost(const std::string& host) {
  if (host.empty()) return false;
  for (const char c : host)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' ||
          c == '[' || c == ']'))
      return false;
  return true;
}

// Blanks, control bytes and bytes from 0x7F up percent-encoded: a header
// line cannot be split by what a rule took from the decoded path.
std::string EncodeUnsafeBytes(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string RedirectLocation(const THttpRequest& request, const TRewriteOutcome& outcome) {
  if (outcome.external) return EncodeUnsafeBytes(outcome.url);
  const std::string* host = request.Header("Host");
  const std::string origin = host && IsPlainHost(*host) ? "http://" + *host : std::string();
  return origin + EncodeUriPath(outcome.url) +
         (outcome.query.empty() ? "" : "?" + EncodeUnsafeBytes(outcome.query));
}

// The folders' ErrorDocument for `status`, the deepest first.
void AddErrorDocument(TResolvedRequest& resolved, const std::vector<TFolderLevel>& levels,
                      const TWorkerSettings& s) {
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    const auto found = level->rules->errorDocuments.find(resolved.status);
    if (found == level->rules->errorDocuments.end()) continue;
    const std::string& document = found->second;
    if (document[0] == '"')
      resolved.errorText = document.substr(1);
    else
      resolved.errorDocument = MapErrorDocument(*s.mapping, document, s.clientAddress, s.logFolder);
    return;
  }
}

TResolvedRequest Refused(int status, const std::vector<TFolderLevel>& levels,
                         const TWorkerSettings& s) {
  TResolvedRequest resolved;
  resolved.status = status;
  AddErrorDocument(resolved, levels, s);
  return resolved;
}

// A refusal that keeps the lines the rules gave the answer.
TResolvedRequest WithLines(TResolvedRequest refused, const std::string& headerLines) {
  refused.headerLines = headerLines;
  return refused;
}

// A rule that cannot be finished refuses its request, and the log says why.
TResolvedRequest Failed(const TRewriteOutcome& outcome, const TWorkerSettings& s) {
  WriteServerLog(s.logFolder, outcome.failure + "; answered 500");
  return Refused(500, {}, s);
}

// Variables of an earlier round reach the script with REDIRECT_ before their
// names; the redirect itself leaves the URL it came from, its query and its
// status, which rules test to tell a first round from a later one.
void CarryOver(std::vector<THttpHeader>& variables, const std::string& fromUrl,
               const std::string& fromQuery) {
  for (THttpHeader& v : variables) v.name = "REDIRECT_" + v.name;
  variables.insert(variables.begin(), {{"REDIRECT_URL", fromUrl}, {"REDIRECT_STATUS", "200"}});
  if (!fromQuery.empty()) variables.insert(variables.begin() + 2, {"REDIRECT_QUERY_STRING", fromQuery});
}

// What this round's rules make of `mapped`, as the modules run: the
// rewriting, the alias module's redirects, then the fallback for a URL that
// names nothing. A folder named without its final slash is sent there before
// any rule of it runs.
TRewriteOutcome RoundOutcome(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
                             const TRewriteInput& input, bool rewrite) {
  TRewriteOutcome outcome;
  if (rewrite && mapped.kind != TPhysicalPath::Kind::kRedirect) outcome = RewriteOnce(levels, mapped, input);
  if (outcome.kind != TRewriteOutcome::Kind::kServe) return outcome;
  TRewriteOutcome alias = RedirectByAlias(levels, input.url, input.query, mapped.documentRoot);
  alias.variables = std::move(outcome.variables);
  alias.type = std::move(outcome.type);
  alias.handler = std::move(outcome.handler);
  alias.headerLines = std::move(outcome.headerLines);
  if (alias.kind != TRewriteOutcome::Kind::kServe || mapped.kind != TPhysicalPath::Kind::kMissing)
    return alias;
  alias.url = FallbackResourceFor(levels, input.url);
  alias.query = input.query;
  if (!alias.url.empty()) alias.kind = TRewriteOutcome::Kind::kRewritten;
  return alias;
}

// A project's own settings: the server's, with the project's folder as the
// document root.
struct TProjectSettings {
  TMappingSettings mapping;
  TWorkerSettings worker;
};

// The settings a request is resolved with: the server's, or for the host of
// a project its own. Chosen once, before any rule is read; the mapped record
// carries the root on. Null for a *.localhost name without a project, which
// `resolved` then answers.
const TWorkerSettings* SettingsFor(const TWorkerSettings& server, const THttpRequest& request,
                                   TProjectSettings& project, TResolvedRequest& resolved) {
  const std::string* host = request.Header("Host");
  if (!server.mapping->projectHosts || !host) return &server;
  TProjectHost chosen = ProjectHostOf(server.mapping->documentRoot, *host);
  switch (chosen.kind) {
    case TProjectHost::Kind::kMain:
      return &server;
    case TProjectHost::Kind::kProject:
      project.mapping = *server.mapping;
      project.mapping.documentRoot = std::move(chosen.root);
      project.worker = server;
      project.worker.mapping = &project.mapping;
      return &project.worker;
    case TProjectHost::Kind::kUnknown:
      break;
  }
  resolved.status = 404;
  resolved.errorText = UnknownProjectPage(ProjectNames(server.mapping->documentRoot), server.portText);
  return nullptr;
}

}  // namespace

TResolvedRequest ResolveRequest(const TWorkerSettings& server, THttpRequest& request,
                                platform::SocketHandle connection) {
  TResolvedRequest resolved;
  TProjectSettings project;
  const TWorkerSettings* chosen = SettingsFor(server, request, project, resolved);
  if (!chosen) return resolved;
  const TWorkerSettings& s = *chosen;
  const TMappingSettings& mapping = *s.mapping;
  resolved.mapped = MapUrlToPath(mapping, request.path);
  if (IsRulesFileName(TargetNameOf(resolved.mapped))) return Refused(403, {}, s);
  if (!mapping.readFolderRules) return resolved;
  std::vector<TFolderLevel> levels = FolderRulesAlong(resolved.mapped, s.logFolder);
  if (levels.empty()) return resolved;  // the common case: nothing more to read

  TRewriteInput input;
  input.request = &request;
  input.url = request.path;
  input.query = request.query;
  input.clientAddress = s.clientAddress;
  input.serverPort = s.portText;
  input.connection = connection;
  std::string handler;  // a rule's H=, kept through later rounds as T= is
  bool rewrite = true;
  for (int round = 0;; ++round) {
    TPhysicalPath& mapped = resolved.mapped;
    for (const TFolderLevel& level : levels)
      if (level.rules->errorLine) return Refused(500, {}, s);
    if (mapped.folderIndex) {
      for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        if (level->rules->directoryIndex) {
          // A copy: the index found elsewhere brings the levels of its own folder.
          const std::vector<std::string> list = *level->rules->directoryIndex;
          if (const int status = MapFolderIndex(mapping, input.url, list, s.clientAddress,
                                                s.logFolder, mapped, levels))
            return Refused(status, levels, s);
          break;
        }
    }
    if (IsDenied(levels, mapped, s.clientAddress, request.method) || !ApplyHandlers(levels, mapped))
      return Refused(403, levels, s);

    TRewriteOutcome outcome = RoundOutcome(levels, mapped, input, rewrite);
    for (THttpHeader& v : outcome.variables) input.variables.push_back(std::move(v));
    if (!outcome.type.empty()) resolved.type = outcome.type;
    if (!outcome.handler.empty()) handler = outcome.handler;
    resolved.headerLines += outcome.headerLines;
    switch (outcome.kind) {
      case TRewriteOutcome::Kind::kStatus:
        if (!outcome.failure.empty()) return Failed(outcome, s);
        return WithLines(Refused(outcome.status, levels, s), resolved.headerLines);
      case TRewriteOutcome::Kind::kRedirect:
        resolved.status = outcome.status;
        resolved.location = RedirectLocation(request, outcome);
        return resolved;
      case TRewriteOutcome::Kind::kServe:
        request.variables = input.variables;
        request.query = input.query;
        if (mapped.kind == TPhysicalPath::Kind::kMissing)
          return WithLines(Refused(404, levels, s), resolved.headerLines);
        if (!ApplyRuleHandler(handler, resolved.type, mapped)) return Refused(403, levels, s);
        return resolved;
      case TRewriteOutcome::Kind::kRewritten:
        break;
    }
    if (round + 1 >= kMaxRewriteRounds) {
      WriteServerLog(s.logFolder, "rewriting of " + request.path + " did not end after " +
                                      std::to_string(kMaxRewriteRounds) + " rounds: answered 500");
      return Refused(500, levels, s);
    }
    CarryOver(input.variables, input.url, input.query);
    input.url = DecodeUrlPath(outcome.url);
    input.query = outcome.query;
    rewrite = !outcome.end;

    resolved.mapped = MapUrlToPath(mapping, input.url);
    if (IsRulesFileName(TargetNameOf(resolved.mapped))) return Refused(403, {}, s);
    levels = FolderRulesAlong(resolved.mapped, s.logFolder);
    if (levels.empty()) {
      request.variables = input.variables;
      request.query = input.query;
      if (!ApplyRuleHandler(handler, resolved.type, resolved.mapped)) return Refused(403, {}, s);
      return resolved;
    }
  }
}
