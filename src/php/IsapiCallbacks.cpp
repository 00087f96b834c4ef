#include "php/IsapiCallbacks.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/HttpStatus.h"
#include "common/KestroClass.h"
#include "common/StatusCode.h"
#include "common/TextView.h"
#include "php/ConnectionContext.h"
#include "platform/Files.h"
#include "platform/Socket.h"

namespace {


// The context's fields, read afresh at every call through ConnID.
php_context::Fields FieldsOf(HCONN connId) {
  if (!connId) throw std::invalid_argument("no connection");
  return php_context::Fields(*static_cast<const std::string*>(connId));
}

// The request record of field 8: the parsed request, its body, the worker's flag.
const TPhpRequestRecord& RecordOf(const php_context::Fields& fields) {
  std::uintptr_t value = 0;
  if (!php_context::ParseDecimal(fields[8], value) || value == 0)
    throw std::invalid_argument("no request");
  const auto* record = reinterpret_cast<const TPhpRequestRecord*>(value);
  if (!record->request) throw std::invalid_argument("no request");
  return *record;
}

platform::SocketHandle SocketOf(const php_context::Fields& fields) {
  std::uintptr_t value = 0;
  if (!php_context::ParseDecimal(fields[1], value) || value == 0)
    throw std::invalid_argument("no socket");
  return static_cast<platform::SocketHandle>(value);
}

// The physical path of a URL path under the document root (code 1012).
std::string PhysicalPathOf(const std::string& root, const std::string& url) {
  const std::string trimmed = TKestro::Trim(url);
  if (trimmed.empty()) {
    const bool bareDrive = root.size() == 2 && root[1] == ':';
    return bareDrive ? root + "\\" : root;
  }
  if (trimmed == "/") return root;
  return TKestro::ToNativePath(root + url);
}

BOOL MapUrl(HCONN connId, LPVOID url, LPDWORD dataType) {
  if (!url || !dataType) return FALSE;
  const std::string path =
      PhysicalPathOf(std::string(FieldsOf(connId)[3]), static_cast<const char*>(url));
  auto* info = reinterpret_cast<HSE_URL_MAPEX_INFO*>(dataType);
  if (path.size() >= sizeof info->lpszPath) return FALSE;  // never past the buffer
  std::memcpy(info->lpszPath, path.c_str(), path.size() + 1);
  return TRUE;
}

// A status of a code alone ("404") gets its usual phrase: the status line
// needs a blank after the code. One that names no code from 100 to 599 is
// not passed on. An error page's script that leaves the status at PHP's 200
// answers with the error's own.
std::string StatusText(const char* given, int defaultStatus) {
  std::string status = TKestro::Trim(given ? given : "");
  if (defaultStatus && (status.empty() || status == "200 OK" || !NamesStatusCode(status)))
    status = std::to_string(defaultStatus);
  if (!NamesStatusCode(status)) return "200 OK";
  if (status.size() > 3) return status;
  return status + " " + ReasonPhrase(static_cast<int>(TKestro::StrToInt64Def(status, 0)));
}

// The module's header lines but its Date (the server dates every answer)
// and a Content-Length that is not one number, which no client could frame
// the body by.
std::string ModuleHeaders(const char* given) {
  std::string kept;
  const std::string_view all = given ? given : "";
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = text::Trimmed(all.substr(start, end - start));
    start = end + 1;
    const std::size_t colon = line.find(':');
    const std::string_view name = line.substr(0, colon);
    if (line.empty() || text::EqualsNoCase(name, "Date")) continue;
    std::uint64_t length = 0;
    if (text::EqualsNoCase(name, "Content-Length") &&
        !text::ParseDecimal(text::Trimmed(line.substr(colon + 1)), length))
      continue;
    kept.append(line).append("\r\n");
  }
  return kept;
}

// The client is there as long as the worker serves it and its connection
// has not failed: one that only half-closed still reads its answer.
BOOL IsConnected(HCONN connId, LPVOID buffer) {
  if (!buffer) return FALSE;
  const php_context::Fields fields = FieldsOf(connId);
  const TPhpRequestRecord& record = RecordOf(fields);
  const bool stopping = record.terminating && record.terminating->load();
  *static_cast<BOOL*>(buffer) = stopping || platform::PeerGone(SocketOf(fields)) ? FALSE : TRUE;
  return TRUE;
}

// Status line, Server, Date, the module's headers, the folder rules' own
// lines, Connection, the empty line.
std::string ResponseHead(const HSE_SEND_HEADER_EX_INFO& info, std::string_view software,
                         const TPhpRequestRecord& record) {
  return "HTTP/1.1 " + StatusText(info.pszStatus, record.defaultStatus) + "\r\n" +
         ServerAndDateLines(std::string(software)) + ModuleHeaders(info.pszHeader) +
         record.extraHeaders +
         (info.fKeepConn ? "Connection: Keep-Alive\r\n" : "Connection: close\r\n") + "\r\n";
}

// An answer cut short (its writer failed or timed out): the connection
// ends now, so the client sees no answer that looks whole.
BOOL CloseConnection(HCONN connId) {
  const php_context::Fields fields = FieldsOf(connId);
  const platform::SocketHandle socket = SocketOf(fields);
  std::uintptr_t flagAddress = 0;
  if (php_context::ParseDecimal(fields[7], flagAddress) && flagAddress != 0)
    *reinterpret_cast<std::uint8_t*>(flagAddress) = 0;
  platform::Shutdown(socket);
  return TRUE;
}

BOOL SendResponseHeader(HCONN connId, LPVOID buffer) {
  if (!buffer) return FALSE;
  const HSE_SEND_HEADER_EX_INFO info = *static_cast<const HSE_SEND_HEADER_EX_INFO*>(buffer);
  const php_context::Fields fields = FieldsOf(connId);
  const platform::SocketHandle socket = SocketOf(fields);
  std::uintptr_t flagAddress = 0;
  if (php_context::ParseDecimal(fields[7], flagAddress) && flagAddress != 0)
    *reinterpret_cast<std::uint8_t*>(flagAddress) = info.fKeepConn ? 1 : 0;
  const std::string head = ResponseHead(info, fields[4], RecordOf(fields));
  // The body mostly follows at once through WriteClient: told so, the socket
  // sends head and body in one packet. The worker pushes the head out when
  // the module returns without a body.
  return platform::Send(socket, head.data(), head.size(), true) < 0 ? FALSE : TRUE;
}

}  // namespace

BOOL WINAPI GetServerVariableProc(HCONN connId, LPSTR variableName, LPVOID buffer,
                                  LPDWORD size) {
  if (!size) return FALSE;
  try {
    // The resolver reads the context's fields where they lie.
    const php_context::Fields fields = FieldsOf(connId);
    const std::string value = TKestro::GetServerVar(variableName ? variableName : "",
                                                    *RecordOf(fields).request, fields[3],
                                                    fields[4], fields[5], fields[6],
                                                    SocketOf(fields));
    const DWORD required = static_cast<DWORD>(value.size() + 1);
    if (*size < required) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      *size = required;
      return FALSE;
    }
    if (!buffer) throw std::invalid_argument("no buffer");
    std::memcpy(buffer, value.c_str(), required);
    *size = required;
    return TRUE;
  } catch (...) {
    *size = 0;
    return FALSE;
  }
}

BOOL WINAPI WriteClientProc(HCONN connId, LPVOID buffer, LPDWORD bytes, DWORD /*reserved*/) {
  if (!bytes) return FALSE;
  try {
    const platform::SocketHandle socket = SocketOf(FieldsOf(connId));
    if (*bytes == 0) return TRUE;
    if (!buffer) throw std::invalid_argument("no buffer");
    // Bounded like every answer's sends: a client that takes nothing for the
    // send time-out fails the write, and a slow one gets what it took so far.
    const long sent = platform::SendWithinSlice(socket, buffer, *bytes);
    if (sent < 0) throw std::runtime_error("send failed");
    *bytes = static_cast<DWORD>(sent);
    return TRUE;
  } catch (...) {
    *bytes = 0;
    return FALSE;
  }
}

BOOL WINAPI ReadClientProc(HCONN connId, LPVOID buffer, LPDWORD size) {
  if (!size) return FALSE;
  try {
    // The body was read before the module was called: what the control
    // block did not carry comes from there, never from the connection.
    TRequestBody* body = RecordOf(FieldsOf(connId)).body;
    if (body && buffer && *size > 0) {
      const long read = body->ReadRest(buffer, *size);
      if (read > 0) {
        *size = static_cast<DWORD>(read);
        return TRUE;
      }
    }
  } catch (...) {
  }
  *size = 0;
  return FALSE;
}

BOOL WINAPI ServerSupportFunctionProc(HCONN connId, DWORD request, LPVOID buffer,
                                      LPDWORD /*size*/, LPDWORD dataType) {
  try {
    switch (request) {
      case isapi::kMapUrlToPathEx:
        return MapUrl(connId, buffer, dataType);
      case isapi::kSendResponseHeaderEx:
        return SendResponseHeader(connId, buffer);
      case isapi::kIsConnected:
        return IsConnected(connId, buffer);
      case isapi::kCloseConnection:
        return CloseConnection(connId);
      default:
        return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}
