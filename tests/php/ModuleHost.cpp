#include "ModuleHost.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "HttpTestSupport.h"
#include "common/KestroClass.h"

namespace {

// What one request's callbacks work on; ConnID points here.
struct Call {
  const HostRequest& request;
  const std::atomic<bool>& connected;
  std::map<std::string, std::string> variables;
  std::size_t read = 0;  // body bytes handed out so far
  HostAnswer answer;
};

Call& CallOf(HCONN connId) { return *static_cast<Call*>(connId); }

// Every name the host does not set has the empty value, as in the server.
BOOL WINAPI GetVariable(HCONN connId, LPSTR name, LPVOID buffer, LPDWORD size) {
  const Call& call = CallOf(connId);
  const auto found = call.variables.find(name);
  const std::string value = found == call.variables.end() ? std::string() : found->second;
  const DWORD required = static_cast<DWORD>(value.size() + 1);
  if (*size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    *size = required;
    return FALSE;
  }
  std::memcpy(buffer, value.c_str(), required);
  *size = required;
  return TRUE;
}

BOOL WINAPI Write(HCONN connId, LPVOID data, LPDWORD bytes, DWORD) {
  Call& call = CallOf(connId);
  if (!call.connected) return FALSE;
  std::string& to = call.answer.headSent ? call.answer.body : call.answer.early;
  to.append(static_cast<const char*>(data), *bytes);
  return TRUE;
}

// The body after the bytes given in the control block, until the cut.
BOOL WINAPI Read(HCONN connId, LPVOID buffer, LPDWORD size) {
  Call& call = CallOf(connId);
  const std::size_t end = std::min(call.request.body.size(), call.request.cut);
  const std::size_t count = std::min<std::size_t>(*size, end - std::min(end, call.read));
  if (count == 0) {
    *size = 0;
    return FALSE;
  }
  std::memcpy(buffer, call.request.body.data() + call.read, count);
  call.read += count;
  *size = static_cast<DWORD>(count);
  return TRUE;
}

BOOL WINAPI Support(HCONN connId, DWORD code, LPVOID buffer, LPDWORD, LPDWORD) {
  Call& call = CallOf(connId);
  if (code == isapi::kSendResponseHeaderEx) {
    const auto* info = static_cast<const HSE_SEND_HEADER_EX_INFO*>(buffer);
    call.answer.status.assign(info->pszStatus, info->cchStatus);
    call.answer.headers.assign(info->pszHeader, info->cchHeader);
    call.answer.headSent = true;
    return call.connected ? TRUE : FALSE;
  }
  if (code == isapi::kIsConnected && call.request.knowsIsConnected) {
    *static_cast<BOOL*>(buffer) = call.connected ? TRUE : FALSE;
    return TRUE;
  }
  return FALSE;
}

}  // namespace

std::map<std::string, std::string> HostAnswer::Lines() const {
  std::map<std::string, std::string> lines;
  for (std::size_t start = 0; start < body.size();) {
    const std::size_t end = std::min(body.find('\n', start), body.size());
    const std::string line = body.substr(start, end - start);
    if (line.compare(0, 5, "body=") == 0) break;
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) lines[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return lines;
}

std::string HostAnswer::PageBody() const {
  const std::size_t at = ("\n" + body).find("\nbody=");
  if (at == std::string::npos || body.size() < at + 6) return std::string();
  return body.substr(at + 5, body.size() - at - 6);  // without the closing line break
}

ModuleHost::ModuleHost(const std::string& moduleFile, std::string documentRoot)
    : module_(moduleFile), root_(std::move(documentRoot)) {
  proc_ = reinterpret_cast<PFN_HTTPEXTENSIONPROC>(module_.Symbol(isapi::kEntryPointName));
}

HostAnswer ModuleHost::Serve(const HostRequest& request) const {
  static const std::atomic<bool> kConnected{true};
  return Serve(request, kConnected);
}

HostAnswer ModuleHost::Serve(const HostRequest& request,
                             const std::atomic<bool>& connected) const {
  Call call{request, connected, {}, request.given, {}};
  std::string url = request.scriptName + request.pathInfo;
  std::string allHttp;
  for (const auto& [name, value] : request.headers) {
    std::string variable = "HTTP_";
    for (char c : name) variable += c == '-' ? '_' : static_cast<char>(std::toupper(c));
    allHttp += variable + ":" + value + "\r\n";
  }
  call.variables = {
      {"SCRIPT_NAME", request.scriptName},
      {"PATH_INFO", url},
      {"PATH_TRANSLATED", TKestro::ToNativePath(root_ + request.scriptName)},
      {"HTTP_URL", request.target.empty()
                       ? url + (request.query.empty() ? "" : "?" + request.query)
                       : request.target},
      {"APPL_PHYSICAL_PATH", TKestro::ToNativePath(root_ + "/")},
      {"SERVER_SOFTWARE", "ModuleHost"},
      {"SERVER_NAME", "localhost"},
      {"SERVER_PORT", "80"},
      {"SERVER_PROTOCOL", "HTTP/1.1"},
      {"REMOTE_ADDR", "127.0.0.1"},
      {"ALL_HTTP", allHttp},
  };
  std::string method = request.method, query = request.query, contentType;
  std::string translated = call.variables["PATH_TRANSLATED"];
  EXTENSION_CONTROL_BLOCK ecb{};
  ecb.cbSize = sizeof ecb;
  ecb.dwVersion = isapi::kVersion;
  ecb.ConnID = &call;
  ecb.lpszMethod = method.data();
  ecb.lpszQueryString = query.data();
  ecb.lpszPathInfo = url.data();
  ecb.lpszPathTranslated = translated.data();
  ecb.cbTotalBytes = static_cast<DWORD>(request.body.size());
  ecb.cbAvailable = static_cast<DWORD>(request.given);
  ecb.lpbData = reinterpret_cast<LPBYTE>(const_cast<char*>(request.body.data()));
  ecb.lpszContentType = contentType.data();
  ecb.GetServerVariable = GetVariable;
  ecb.WriteClient = Write;
  ecb.ReadClient = Read;
  ecb.ServerSupportFunction = Support;
  call.answer.result = proc_(&ecb);
  if (call.answer.headers.find("Transfer-Encoding: chunked\r\n") != std::string::npos)
    call.answer.body = httptest::Unchunked(call.answer.body);
  return call.answer;
}
