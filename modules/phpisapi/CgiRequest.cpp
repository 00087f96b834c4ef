#include "CgiRequest.h"

#include "EcbIo.h"
#include "FastCgi.h"
#include "common/TextView.h"  // header-only: the module links none of the server's libraries

namespace phpisapi {

namespace {

// True when the comma-separated header value holds `token`.
bool HasToken(const std::string& value, const char* token) {
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(',', start);
    if (end == std::string::npos) end = value.size();
    if (text::EqualsNoCase(text::Trimmed(std::string_view(value).substr(start, end - start)), token))
      return true;
    start = end + 1;
  }
  return false;
}

bool IsDelimiter(char c) { return c == '/' || c == '\\'; }

// DOCUMENT_ROOT without the trailing delimiter of APPL_PHYSICAL_PATH.
std::string DocumentRoot(std::string path) {
  while (path.size() > 1 && IsDelimiter(path.back())) path.pop_back();
  return path;
}

// The URL path after the script's: the server's PATH_INFO is the script's URL
// followed by whatever came after it.
std::string PathAfterScript(const std::string& serverPathInfo, const std::string& scriptName) {
  if (serverPathInfo.compare(0, scriptName.size(), scriptName) != 0) return std::string();
  return serverPathInfo.substr(scriptName.size());
}

// The path info under the document root, with the delimiter that ends
// APPL_PHYSICAL_PATH (the server's native one).
std::string TranslatedPathInfo(const std::string& physicalPath, std::string pathInfo) {
  const char delimiter = physicalPath.empty() ? '/' : physicalPath.back();
  if (delimiter == '\\')
    for (char& c : pathInfo)
      if (c == '/') c = '\\';
  return DocumentRoot(physicalPath) + pathInfo;
}

}  // namespace

CgiRequest DescribeRequest(EXTENSION_CONTROL_BLOCK& ecb) {
  CgiRequest request;
  std::string& p = request.params;
  auto var = [&ecb](const char* name) { return ServerVariable(ecb, name); };
  const std::string method = ecb.lpszMethod ? ecb.lpszMethod : "GET";
  const std::string query = ecb.lpszQueryString ? ecb.lpszQueryString : "";
  // The control block carries PATH_INFO (the script's URL and the path after
  // it) and PATH_TRANSLATED (the script's file), the same values as the
  // variables: no call needed for those.
  const std::string serverPathInfo = ecb.lpszPathInfo ? ecb.lpszPathInfo : var("PATH_INFO");
  std::string scriptName = var("SCRIPT_NAME");
  if (scriptName.empty()) scriptName = serverPathInfo;  // a server that names no script
  const std::string pathInfo = PathAfterScript(serverPathInfo, scriptName);
  const std::string scriptFile =
      ecb.lpszPathTranslated ? ecb.lpszPathTranslated : var("PATH_TRANSLATED");
  const std::string physicalPath = var("APPL_PHYSICAL_PATH");
  std::string requestUri = var("HTTP_URL");
  if (requestUri.empty()) requestUri = scriptName + pathInfo + (query.empty() ? "" : "?" + query);

  fcgi::AppendParam(p, "GATEWAY_INTERFACE", "CGI/1.1");
  fcgi::AppendParam(p, "SERVER_SOFTWARE", var("SERVER_SOFTWARE"));
  fcgi::AppendParam(p, "SERVER_NAME", var("SERVER_NAME"));
  fcgi::AppendParam(p, "SERVER_PORT", var("SERVER_PORT"));
  const std::string protocol = var("SERVER_PROTOCOL");
  fcgi::AppendParam(p, "SERVER_PROTOCOL", protocol);
  fcgi::AppendParam(p, "REQUEST_METHOD", method);
  fcgi::AppendParam(p, "REQUEST_URI", requestUri);
  fcgi::AppendParam(p, "QUERY_STRING", query);
  fcgi::AppendParam(p, "SCRIPT_NAME", scriptName);
  // PHP_SELF is the script's URL and the path info. PHP shows every
  // variable it is given, empty or not, and scripts test them with isset():
  // those that Apache leaves out when they have no value are left out too.
  // Beside a REDIRECT_URL (a request the server's rules rewrote) php-cgi
  // takes PATH_TRANSLATED for the script and drops PATH_INFO, as behind a
  // server's action handler. It finds both itself in a SCRIPT_FILENAME that
  // goes on with the path info, beside PATH_INFO.
  const std::string all = var("ALL_HTTP");
  const bool rewritten =
      all.rfind("REDIRECT_URL:", 0) == 0 || all.find("\nREDIRECT_URL:") != std::string::npos;
  const bool pathInfoFound = !pathInfo.empty() && rewritten;
  fcgi::AppendParam(p, "SCRIPT_FILENAME", pathInfoFound ? scriptFile + pathInfo : scriptFile);
  if (!pathInfo.empty()) {
    fcgi::AppendParam(p, "PATH_INFO", pathInfo);
    if (!pathInfoFound)
      fcgi::AppendParam(p, "PATH_TRANSLATED", TranslatedPathInfo(physicalPath, pathInfo));
  }
  fcgi::AppendParam(p, "DOCUMENT_ROOT", DocumentRoot(physicalPath));
  fcgi::AppendParam(p, "REMOTE_ADDR", var("REMOTE_ADDR"));
  for (const char* name : {"REMOTE_PORT", "SERVER_ADDR", "REQUEST_SCHEME"})
    if (const std::string value = var(name); !value.empty()) fcgi::AppendParam(p, name, value);
  fcgi::AppendParam(p, "REDIRECT_STATUS", "200");
  if (ecb.lpszContentType && *ecb.lpszContentType)
    fcgi::AppendParam(p, "CONTENT_TYPE", ecb.lpszContentType);
  if (ecb.cbTotalBytes > 0 || !var("CONTENT_LENGTH").empty())
    fcgi::AppendParam(p, "CONTENT_LENGTH", std::to_string(ecb.cbTotalBytes));

  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find("\r\n", start);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(start, end - start);
    start = end + 2;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    const std::string name = line.substr(0, colon);
    const std::string value = line.substr(colon + 1);
    // A client never sets the proxy of PHP's own HTTP calls; the body's
    // type and length are CONTENT_TYPE and CONTENT_LENGTH already.
    if (name == "HTTP_PROXY" || name == "HTTP_CONTENT_TYPE" || name == "HTTP_CONTENT_LENGTH")
      continue;
    if (name == "HTTP_CONNECTION") request.keepAliveAsked = HasToken(value, "keep-alive");
    if (name == "HTTP_EXPECT") request.expectContinue = HasToken(value, "100-continue");
    fcgi::AppendParam(p, name, value);
  }
  request.bodyLength = ecb.cbTotalBytes;
  request.headOnly = text::EqualsNoCase(method, "HEAD");
  request.chunkedAllowed = protocol == "HTTP/1.1";
  return request;
}

}  // namespace phpisapi
