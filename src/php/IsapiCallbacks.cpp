#include "php/IsapiCallbacks.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/KestroClass.h"
#include "php/ConnectionContext.h"
#include "platform/Files.h"
#include "platform/Socket.h"

namespace {

constexpr const char* kServerSoftware = "Portavane/6.29";
constexpr long kReadWaitMicroseconds = 5'000'000;

// The context's fields, read afresh at every call through ConnID.
php_context::Fields FieldsOf(HCONN connId) {
  if (!connId) throw std::invalid_argument("no connection");
  return php_context::Fields(*static_cast<const std::string*>(connId));
}

platform::SocketHandle SocketOf(const php_context::Fields& fields) {
  std::uintptr_t value = 0;
  if (!php_context::ParseDecimal(fields[1], value) || value == 0)
    throw std::invalid_argument("no socket");
  return static_cast<platform::SocketHandle>(value);
}

// The physical path of a URL path under the document root (code 1012).
std::string MapUrlToPath(const std::string& root, const std::string& url) {
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
      MapUrlToPath(std::string(FieldsOf(connId)[3]), static_cast<const char*>(url));
  auto* info = reinterpret_cast<HSE_URL_MAPEX_INFO*>(dataType);
  if (path.size() >= sizeof info->lpszPath) return FALSE;  // never past the buffer
  std::memcpy(info->lpszPath, path.c_str(), path.size() + 1);
  return TRUE;
}

// Status line, Server, the module's headers, Connection, the empty line.
std::string ResponseHead(const HSE_SEND_HEADER_EX_INFO& info) {
  std::string status = TKestro::Trim(info.pszStatus ? info.pszStatus : "");
  if (status.empty()) status = "200 OK";
  const std::string headers = TKestro::Trim(info.pszHeader ? info.pszHeader : "");
  std::string head = "HTTP/1.1 " + status + "\r\n";
  head += std::string("Server: ") + kServerSoftware + "\r\n";
  if (!headers.empty()) head += headers + "\r\n";
  head += info.fKeepConn ? "Connection: Keep-Alive\r\n" : "Connection: close\r\n";
  head += "\r\n";
  return head;
}

BOOL SendResponseHeader(HCONN connId, LPVOID buffer) {
  if (!buffer) return FALSE;
  const HSE_SEND_HEADER_EX_INFO info = *static_cast<const HSE_SEND_HEADER_EX_INFO*>(buffer);
  const php_context::Fields fields = FieldsOf(connId);
  const platform::SocketHandle socket = SocketOf(fields);
  std::uintptr_t flagAddress = 0;
  if (php_context::ParseDecimal(fields[7], flagAddress) && flagAddress != 0)
    *reinterpret_cast<std::uint8_t*>(flagAddress) = info.fKeepConn ? 1 : 0;
  const std::string head = ResponseHead(info);
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
    const std::string value =
        TKestro::GetServerVar(variableName ? variableName : "", fields[2], fields[3], fields[4],
                              fields[5], fields[6], fields[8]);
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
    const long sent = platform::Send(socket, buffer, *bytes);
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
    const platform::SocketHandle socket = SocketOf(FieldsOf(connId));
    if (buffer && *size > 0 && platform::WaitReadable(socket, kReadWaitMicroseconds)) {
      const long received = platform::Recv(socket, buffer, *size);
      if (received > 0) {
        *size = static_cast<DWORD>(received);
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
      default:
        return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}
