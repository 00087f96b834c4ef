#include "EcbIo.h"

#include <vector>

namespace phpisapi {

std::string ServerVariable(EXTENSION_CONTROL_BLOCK& ecb, const char* name) {
  // Most values fit the stack; a longer one is asked for again at its size.
  char small[1024];
  std::vector<char> large;
  char* buffer = small;
  DWORD capacity = sizeof small;
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = capacity;
    if (ecb.GetServerVariable(ecb.ConnID, const_cast<LPSTR>(name), buffer, &size))
      return std::string(buffer, size > 0 ? size - 1 : 0);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= capacity) break;
    large.resize(size);
    buffer = large.data();
    capacity = size;
  }
  return std::string();
}

bool WriteAll(EXTENSION_CONTROL_BLOCK& ecb, const char* data, std::size_t length,
              Clock::time_point deadline) {
  // The server returns from a write to a slow client with what went, so a
  // client that reads slowly cannot keep the request past its deadline.
  for (bool first = true; length > 0; first = false) {
    if (!first && Clock::now() >= deadline) return false;
    DWORD count = static_cast<DWORD>(length > 0x40000000 ? 0x40000000 : length);
    if (!ecb.WriteClient(ecb.ConnID, const_cast<char*>(data), &count, 0) || count == 0)
      return false;
    data += count;
    length -= count;
  }
  return true;
}

bool SendResponseHead(EXTENSION_CONTROL_BLOCK& ecb, const std::string& status,
                      const std::string& headers, bool keepConnection) {
  HSE_SEND_HEADER_EX_INFO info{};
  info.pszStatus = status.c_str();
  info.pszHeader = headers.c_str();
  info.cchStatus = static_cast<DWORD>(status.size());
  info.cchHeader = static_cast<DWORD>(headers.size());
  info.fKeepConn = keepConnection ? TRUE : FALSE;
  return ecb.ServerSupportFunction(ecb.ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, nullptr,
                                   nullptr) != FALSE;
}

bool ClientConnected(EXTENSION_CONTROL_BLOCK& ecb) {
  BOOL connected = TRUE;
  const BOOL known =
      ecb.ServerSupportFunction(ecb.ConnID, isapi::kIsConnected, &connected, nullptr, nullptr);
  return !known || connected != FALSE;
}

void CloseConnection(EXTENSION_CONTROL_BLOCK& ecb) {
  ecb.ServerSupportFunction(ecb.ConnID, isapi::kCloseConnection, nullptr, nullptr, nullptr);
}

void SendErrorPage(EXTENSION_CONTROL_BLOCK& ecb, const std::string& status,
                   const std::string& text, bool headOnly) {
  const std::string body = status + "\r\n" + text + "\r\n";
  const std::string headers = "Content-Type: text/plain; charset=UTF-8\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n";
  if (SendResponseHead(ecb, status, headers, false) && !headOnly)
    WriteAll(ecb, body.data(), body.size());
}

}  // namespace phpisapi
