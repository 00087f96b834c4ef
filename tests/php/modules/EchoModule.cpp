// A test ISAPI extension: reports what the server gave it (the control block,
// server variables, the callbacks' answers, the body) as "name=value" lines.
// The query chooses the answer: keep=1 asks to keep the connection,
// mode=head sends a fixed head only (status=bad: a status that names no code), mode=noheader writes without code 1016,
// var=NAME adds that server variable to the report.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "php/Isapi.h"
#include "UnloadLog.h"

namespace {

const UnloadLog kUnloadLog("module");

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

bool HasParam(const std::string& query, const std::string& param) {
  return ("&" + query + "&").find("&" + param + "&") != std::string::npos;
}

std::vector<std::string> Values(const std::string& query, const std::string& name) {
  std::vector<std::string> values;
  const std::string key = name + "=";
  for (std::size_t start = 0; start <= query.size();) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string item = query.substr(start, end - start);
    if (item.compare(0, key.size(), key) == 0) values.push_back(item.substr(key.size()));
    start = end + 1;
  }
  return values;
}

struct Report {
  std::string text;
  void Add(const std::string& name, const std::string& value) {
    text += name + "=" + Escaped(value) + "\n";
  }
  void Add(const std::string& name, unsigned long long value) { Add(name, std::to_string(value)); }
};

std::string Variable(EXTENSION_CONTROL_BLOCK* ecb, const char* name) {
  char buffer[4096];
  DWORD size = sizeof buffer;
  if (!ecb->GetServerVariable(ecb->ConnID, const_cast<char*>(name), buffer, &size))
    return "<failed>";
  return std::string(buffer, size - 1);
}

void ReportBlock(EXTENSION_CONTROL_BLOCK* ecb, Report& r) {
  r.Add("cbSize", ecb->cbSize);
  r.Add("sizeofBlock", sizeof(EXTENSION_CONTROL_BLOCK));
  r.Add("dwVersion", ecb->dwVersion);
  r.Add("ConnID", ecb->ConnID ? "set" : "null");
  r.Add("dwHttpStatusCode", ecb->dwHttpStatusCode);
  bool logZero = true;
  for (char c : ecb->lpszLogData) logZero = logZero && c == 0;
  r.Add("lpszLogData", logZero ? "zero" : "dirty");
  r.Add("lpszMethod", ecb->lpszMethod);
  r.Add("lpszQueryString", ecb->lpszQueryString);
  r.Add("lpszPathInfo", ecb->lpszPathInfo);
  r.Add("lpszPathTranslated", ecb->lpszPathTranslated);
  r.Add("cbTotalBytes", ecb->cbTotalBytes);
  r.Add("cbAvailable", ecb->cbAvailable);
  r.Add("lpbData", ecb->lpbData ? "set" : "null");
  r.Add("lpszContentType", ecb->lpszContentType);
}

void ReportCallbacks(EXTENSION_CONTROL_BLOCK* ecb, Report& r) {
  // The buffer-size protocol: one byte short, then exactly right.
  char buffer[64];
  DWORD size = 34;  // "Portavane/6.29 (Apache-compatible)" needs 35 with its NUL
  SetLastError(0);
  const BOOL small = ecb->GetServerVariable(ecb->ConnID, const_cast<char*>("SERVER_SOFTWARE"),
                                            buffer, &size);
  r.Add("small.result", small);
  r.Add("small.error", GetLastError());
  r.Add("small.size", size);
  const BOOL exact = ecb->GetServerVariable(ecb->ConnID, const_cast<char*>("server_software"),
                                            buffer, &size);
  r.Add("exact.result", exact);
  r.Add("exact.size", size);
  r.Add("exact.value", exact ? buffer : "");
  size = sizeof buffer;
  const BOOL unknown =
      ecb->GetServerVariable(ecb->ConnID, const_cast<char*>("NO_SUCH_NAME"), buffer, &size);
  r.Add("unknown.result", unknown);
  r.Add("unknown.size", size);

  DWORD zero = 0;
  r.Add("write0.result", ecb->WriteClient(ecb->ConnID, buffer, &zero, 0));
  r.Add("write0.count", zero);

  HSE_URL_MAPEX_INFO map{};
  map.dwFlags = 77;
  const BOOL mapped = ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_MAP_URL_TO_PATH_EX,
                                                 const_cast<char*>("/sub/x.php"), nullptr,
                                                 reinterpret_cast<LPDWORD>(&map));
  r.Add("map.result", mapped);
  r.Add("map.path", map.lpszPath);
  r.Add("map.flags", map.dwFlags);
  for (DWORD code : {3u, 4u, 1017u}) {
    r.Add("code" + std::to_string(code),
          ecb->ServerSupportFunction(ecb->ConnID, code, nullptr, nullptr, nullptr));
  }
  r.Add("code1016.null", ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX,
                                                    nullptr, nullptr, nullptr));
}

void ReportBody(EXTENSION_CONTROL_BLOCK* ecb, Report& r) {
  std::string body(reinterpret_cast<const char*>(ecb->lpbData), ecb->cbAvailable);
  int reads = 0;
  while (body.size() < ecb->cbTotalBytes) {
    char buffer[8192];
    DWORD size = sizeof buffer;
    if (!ecb->ReadClient(ecb->ConnID, buffer, &size)) break;
    ++reads;
    body.append(buffer, size);
  }
  r.Add("body", body);
  r.Add("body.length", body.size());
  r.Add("body.reads", reads);
}

BOOL SendHead(EXTENSION_CONTROL_BLOCK* ecb, const char* status, const std::string& headers,
              bool keep) {
  HSE_SEND_HEADER_EX_INFO info{status, headers.c_str(), static_cast<DWORD>(std::strlen(status)),
                               static_cast<DWORD>(headers.size()), keep ? TRUE : FALSE};
  return ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, nullptr,
                                    nullptr);
}

void Write(EXTENSION_CONTROL_BLOCK* ecb, const std::string& data) {
  DWORD count = static_cast<DWORD>(data.size());
  ecb->WriteClient(ecb->ConnID, const_cast<char*>(data.data()), &count, 0);
}

}  // namespace

ISAPI_EXPORT DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  const std::string query = ecb->lpszQueryString;
  const bool keep = HasParam(query, "keep=1");
  if (HasParam(query, "mode=head")) {
    SendHead(ecb, HasParam(query, "status=bad") ? "abc def" : " 200 OK ",
             "X-Test: a\r\nDate: Thu, 01 Jan 1970 00:00:00 GMT\r\nContent-Length: -1\r\n\r\n", keep);
    return HSE_STATUS_SUCCESS;
  }
  if (HasParam(query, "mode=noheader")) {
    Write(ecb, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    return HSE_STATUS_SUCCESS;
  }
  Report r;
  ReportBlock(ecb, r);
  ReportBody(ecb, r);
  ReportCallbacks(ecb, r);
  for (const std::string& name : Values(query, "var")) r.Add("var." + name, Variable(ecb, name.c_str()));
  SendHead(ecb, "200 OK",
           "Content-Type: text/plain\r\nContent-Length: " + std::to_string(r.text.size()) +
               "\r\n\r\n",
           keep);
  Write(ecb, r.text);
  return HSE_STATUS_SUCCESS;
}
