#include "http/RequestHandler.h"

#include "common/KestroClass.h"
#include "http/AccessLog.h"
#include "http/FixedAnswers.h"
#include "http/RequestReader.h"
#include "http/StaticAnswer.h"
#include "http/UrlMapping.h"
#include "php/PhpRequest.h"
#include "platform/Files.h"

namespace {

bool IsAllowedMethod(const std::string& method) {
  return method == "GET" || method == "POST" || method == "HEAD";
}

std::string FirstLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

// The request target as the client sent it: the second word of the request line.
std::string RawTarget(const std::string& head) {
  const std::string line = FirstLine(head);
  const std::size_t start = line.find(' ');
  if (start == std::string::npos) return std::string();
  const std::size_t end = line.find(' ', start + 1);
  return line.substr(start + 1, end == std::string::npos ? end : end - start - 1);
}

bool EndsWithDelimiter(const std::string& text) {
  return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

std::string FileNamePart(const std::string& path) {
  const std::size_t delimiter = path.find_last_of("/\\");
  return delimiter == std::string::npos ? path : path.substr(delimiter + 1);
}

// A body the static answers do not read would be taken for the next request:
// such a connection is closed after its answer.
bool CarriesBody(const std::string& contentLength, const std::string& head) {
  return TKestro::Trim(contentLength) != "0" ||
         TKestro::UpperCase(head).find("\r\nTRANSFER-ENCODING:") != std::string::npos;
}

// The module answers and decides whether the connection stays open.
bool ServePhp(const TConnection& c, const std::string& head, const std::string& rawTarget) {
  const TWorkerSettings& s = *c.settings;
  TPhpRequestRecord request;
  request.socket = c.socket;
  request.requestHead = head;
  request.rawTarget = rawTarget;
  request.documentRoot = s.documentRoot;
  request.serverSoftware = kServerSoftware;
  request.clientAddress = s.clientAddress;
  request.portText = s.portText;
  request.keepAliveFlag = c.keepAliveFlag;
  request.connectionContext = c.connectionContext;
  request.loader = s.phpLoader;
  request.terminating = c.terminating;
  return ServePhpRequest(request);
}

}  // namespace

std::string RewriteRequestLine(const std::string& head, const std::string& method,
                               const std::string& url, const std::string& localPath,
                               const std::string& query) {
  const std::string line = FirstLine(head);
  const std::size_t lineEnd = head.find("\r\n");
  const std::string rest = lineEnd == std::string::npos ? std::string() : head.substr(lineEnd);
  const std::size_t http = TKestro::UpperCase(line).find("HTTP");
  const std::string version =
      http == std::string::npos ? "HTTP/1.1" : "HTTP" + TKestro::Trim(line.substr(http + 4));
  const std::string q = TKestro::Trim(query);
  return method + " " + EncodeUriPath(TKestro::Trim(url) + FileNamePart(localPath)) +
         (q.empty() ? std::string() : "?" + q) + " " + version + rest;
}

bool ServeRequest(const TConnection& c) {
  const TWorkerSettings& s = *c.settings;
  std::string head;
  switch (ReadRequestHead(c, head)) {
    case HeadOutcome::kNothing:
      return true;
    case HeadOutcome::kTooLarge:
      s.accessLog->Write(s.logFolder, s.clientAddress, head, TKestro::NowLocal());
      SendFixedAnswer(c.socket, 431, ConnectionLine(true));
      return true;
    case HeadOutcome::kComplete:
      break;
  }
  s.accessLog->Write(s.logFolder, s.clientAddress, head, TKestro::NowLocal());

  auto var = [&](const char* name) {
    return TKestro::GetServerVar(name, head, s.documentRoot, kServerSoftware, s.clientAddress,
                                 s.portText);
  };
  const std::string url = var("URL");
  const std::string localPath = MapUrlToPath(s.documentRoot, url, s.indexFiles);
  const std::string method = TKestro::UpperCase(TKestro::Trim(var("REQUEST_METHOD")));
  const bool allowed = IsAllowedMethod(method);
  const bool found = !TKestro::Trim(localPath).empty();
  const bool redirect = found && localPath.back() == '/';

  if (allowed && found && !redirect && IsPhpFile(localPath, s.phpExtensions)) {
    const bool indexFile = EndsWithDelimiter(TKestro::Trim(url)) && platform::FileExists(localPath);
    return ServePhp(c, indexFile ? RewriteRequestLine(head, method, url, localPath,
                                                      var("QUERY_STRING"))
                                 : head,
                    RawTarget(head));
  }

  const std::string connection = TKestro::UpperCase(TKestro::Trim(var("CONNECTION")));
  const bool closeAfter = connection.empty() || connection == "CLOSE" ||
                          CarriesBody(var("CONTENT_LENGTH"), head);
  const std::string connectionLine = ConnectionLine(closeAfter);
  if (!allowed)
    SendFixedAnswer(c.socket, 501, connectionLine);
  else if (!found)
    SendFixedAnswer(c.socket, 404, connectionLine);
  else if (redirect)
    SendFixedAnswer(c.socket, 301, connectionLine, "Location: " + EncodeUriPath(localPath) + "\r\n");
  else if (!SendStaticFile(c, localPath, method, head, connectionLine))
    return true;  // a body cut short leaves the stream out of step
  return closeAfter;
}
