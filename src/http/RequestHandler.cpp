#include "http/RequestHandler.h"

#include "common/HttpRequest.h"
#include "common/KestroClass.h"
#include "common/RequestBody.h"
#include "common/TextView.h"
#include "http/AccessLog.h"
#include "http/FixedAnswers.h"
#include "http/RequestReader.h"
#include "http/RequestResolver.h"
#include "http/StaticAnswer.h"
#include "http/UrlMapping.h"
#include "php/PhpRequest.h"

namespace {

// The methods of static answers; a script gets any method token.
bool IsStaticMethod(const std::string& method) {
  return method == "GET" || method == "POST" || method == "HEAD";
}

void Log(const TConnection& c, const std::string& head) {
  const TWorkerSettings& s = *c.settings;
  s.accessLog->Write(s.logFolder, s.clientAddress, head, TKestro::NowLocal());
}

// Refused and closed: what follows on the connection cannot be trusted.
bool Refuse(const TConnection& c, int code, bool headOnly = false) {
  SendFixedAnswer(c.socket, code, ConnectionLine(true), std::string(), headOnly);
  return true;
}

bool IsHead(const THttpRequest& request) { return text::EqualsNoCase(request.method, "HEAD"); }

int BodyRefusal(BodyOutcome outcome) {
  switch (outcome) {
    case BodyOutcome::kMalformed: return 400;
    case BodyOutcome::kTooLarge: return 413;
    case BodyOutcome::kNotStored: return 500;
    case BodyOutcome::kBroken:
    case BodyOutcome::kComplete: break;
  }
  return 408;
}

// A folder's ErrorDocument text as the body of its status.
void SendTextAnswer(const TConnection& c, int code, const std::string& text,
                    const std::string& connectionLine, bool headOnly) {
  const std::string answer = StatusLine(code) + ServerAndDateLines(kServerSoftware) +
                             "Content-Type: text/html\r\nContent-Length: " +
                             std::to_string(text.size()) + "\r\n" + connectionLine + "\r\n" +
                             (headOnly ? "" : text);
  platform::SendAll(c.socket, answer.data(), answer.size());
}

// The whole body is read before the module runs, so no php-cgi process
// waits on a slow or vanished client; then the module answers and decides
// whether the connection stays open.
bool ServePhp(const TConnection& c, THttpRequest& request, const TPhysicalPath& mapped,
              const std::string& extraHeaders, int errorStatus = 0) {
  const TWorkerSettings& s = *c.settings;
  TRequestBody body(s.spoolFolder);
  const BodyOutcome outcome = ReadRequestBody(c, request, body);
  if (outcome != BodyOutcome::kComplete) {
    if (c.terminating->load()) return true;
    Refuse(c, BodyRefusal(outcome), IsHead(request));
    DrainBeforeClose(c);
    return true;
  }
  request.scriptUrl = mapped.scriptUrl;
  request.pathInfo = mapped.pathInfo;
  request.scriptFile = mapped.file;
  TPhpRequestRecord record;
  record.socket = c.socket;
  record.request = &request;
  record.body = &body;
  record.documentRoot = mapped.documentRoot;
  record.serverSoftware = kServerSoftware;
  record.defaultStatus = errorStatus;
  record.extraHeaders = extraHeaders;
  record.clientAddress = s.clientAddress;
  record.portText = s.portText;
  record.logFolder = s.logFolder;
  record.keepAliveFlag = c.keepAliveFlag;
  record.connectionContext = c.connectionContext;
  record.loader = s.phpLoader;
  record.terminating = c.terminating;
  return ServePhpRequest(record);
}

// The request as a folder's error page sees it: a GET (a HEAD stays one)
// that tells what was asked and why it failed.
void MakeErrorPageRequest(THttpRequest& request, int status) {
  request.variables = {{"REDIRECT_STATUS", std::to_string(status)}, {"REDIRECT_URL", request.path},
                       {"REDIRECT_REQUEST_METHOD", request.method}};
  if (!request.query.empty()) request.variables.push_back({"REDIRECT_QUERY_STRING", request.query});
  request.query.clear();
  if (!IsHead(request)) request.method = "GET";
}

}  // namespace

bool ServeRequest(const TConnection& c) {
  const TWorkerSettings& s = *c.settings;
  std::string head;
  switch (ReadRequestHead(c, head)) {
    case HeadOutcome::kNothing:
      return true;
    case HeadOutcome::kTimedOut:
      return Refuse(c, 408);
    case HeadOutcome::kTooLarge:
      Log(c, head);
      return Refuse(c, 431);
    case HeadOutcome::kComplete:
      break;
  }
  Log(c, head);
  THttpRequest request = ParseRequestHead(std::move(head));
  if (request.refusal != 0) return Refuse(c, request.refusal, IsHead(request));

  const std::string method = TKestro::UpperCase(TKestro::Trim(request.method));
  const TResolvedRequest resolved = ResolveRequest(s, request, c.socket);
  const TPhysicalPath& mapped = resolved.mapped;
  if (resolved.status == 0 && mapped.kind == TPhysicalPath::Kind::kFile && mapped.php)
    return ServePhp(c, request, mapped, resolved.headerLines);
  if (resolved.status != 0 && resolved.errorDocument.php) {
    MakeErrorPageRequest(request, resolved.status);
    return ServePhp(c, request, resolved.errorDocument, resolved.headerLines, resolved.status);
  }

  const std::string* connection = request.Header("Connection");
  const std::string token = connection ? TKestro::UpperCase(*connection) : std::string();
  // A body the static answers do not read would be taken for the next
  // request: such a connection is closed after its answer.
  const bool closeAfter =
      token.empty() || token == "CLOSE" || request.framing != TBodyFraming::kNone;
  // The rules' own lines (CO='s cookies) go out with every answer, just
  // before its Connection line.
  const std::string connectionLine = resolved.headerLines + ConnectionLine(closeAfter, request.IsHttp10());
  const bool headOnly = method == "HEAD";
  const std::string query = request.query.empty() ? "" : "?" + request.query;
  if (resolved.status >= 300 && resolved.status < 400)
    SendFixedAnswer(c.socket, resolved.status, connectionLine,
                    "Location: " + resolved.location + "\r\n", headOnly);
  else if (resolved.status != 0 && !resolved.errorText.empty())
    SendTextAnswer(c, resolved.status, resolved.errorText, connectionLine, headOnly);
  else if (resolved.status != 0 && resolved.errorDocument.kind == TPhysicalPath::Kind::kFile)
    return !SendStaticFile(c, resolved.errorDocument, method, request, connectionLine,
                           resolved.status) || closeAfter;
  else if (resolved.status != 0)
    SendFixedAnswer(c.socket, resolved.status, connectionLine, std::string(), headOnly);
  else if (!IsStaticMethod(method))
    SendFixedAnswer(c.socket, 501, connectionLine, std::string(), headOnly);
  else if (mapped.kind == TPhysicalPath::Kind::kMissing)
    SendFixedAnswer(c.socket, 404, connectionLine, std::string(), headOnly);
  else if (mapped.kind == TPhysicalPath::Kind::kRedirect)
    SendFixedAnswer(c.socket, 301, connectionLine,
                    "Location: " + EncodeUriPath(mapped.location) + query + "\r\n");
  else if (!SendStaticFile(c, mapped, method, request, connectionLine, 0, resolved.type))
    return true;  // a body cut short leaves the stream out of step
  return closeAfter;
}
