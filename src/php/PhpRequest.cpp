#include "php/PhpRequest.h"

#include <climits>
#include <cstring>
#include <string>

#include "common/KestroClass.h"
#include "php/ConnectionContext.h"
#include "php/IsapiCallbacks.h"
#include "php/PhpDllLoader.h"
#include "platform/Socket.h"

namespace {

// The body length of a request, or false when Content-Length is not a
// decimal number from 0 to 2147483647.
bool ContentLength(const std::string& text, DWORD& length) {
  const std::string value = TKestro::Trim(text);
  if (value.empty() || value.size() > 10) return false;
  long long number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number > INT_MAX) return false;
  length = static_cast<DWORD>(number);
  return true;
}

// A body of unknown length cannot be passed on nor skipped: refuse it and
// close, so its bytes are never read as the next request.
void RefuseBadLength(const TPhpRequestRecord& request) {
  const std::string head = "HTTP/1.1 400 Bad Request\r\nServer: " + request.serverSoftware +
                           "\r\nContent-Type: text/html\r\nContent-Length: 0\r\n"
                           "Connection: close\r\n\r\n";
  platform::Send(request.socket, head.data(), head.size());
}

// The texts the control block points to; alive until the module returns.
struct RequestTexts {
  std::string method, query, pathInfo, pathTranslated, contentType;
};

RequestTexts TextsOf(const TPhpRequestRecord& r) {
  auto var = [&r](const char* name) {
    return TKestro::GetServerVar(name, r.requestHead, r.documentRoot, r.serverSoftware,
                                 r.clientAddress, r.portText, r.rawTarget);
  };
  return {var("REQUEST_METHOD"), var("QUERY_STRING"), var("PATH_INFO"), var("PATH_TRANSLATED"),
          var("CONTENT_TYPE")};
}

EXTENSION_CONTROL_BLOCK ControlBlock(std::string* context, RequestTexts& texts,
                                     DWORD totalBytes) {
  EXTENSION_CONTROL_BLOCK ecb{};  // lpszLogData: 80 zero bytes
  ecb.cbSize = sizeof(EXTENSION_CONTROL_BLOCK);
  ecb.dwVersion = isapi::kVersion;
  ecb.ConnID = context;
  ecb.dwHttpStatusCode = 0;
  ecb.lpszMethod = texts.method.data();
  ecb.lpszQueryString = texts.query.data();
  ecb.lpszPathInfo = texts.pathInfo.data();
  ecb.lpszPathTranslated = texts.pathTranslated.data();
  ecb.cbTotalBytes = totalBytes;
  ecb.cbAvailable = 0;
  ecb.lpbData = nullptr;
  ecb.lpszContentType = texts.contentType.data();
  ecb.GetServerVariable = GetServerVariableProc;
  ecb.WriteClient = WriteClientProc;
  ecb.ReadClient = ReadClientProc;
  ecb.ServerSupportFunction = ServerSupportFunctionProc;
  return ecb;
}

}  // namespace

bool ServePhpRequest(const TPhpRequestRecord& request) {
  static const std::atomic<bool> kNeverTerminating{false};
  if (!request.loader || !request.keepAliveFlag || !request.connectionContext) return true;
  const bool ready =
      request.loader->EnsureLoaded(request.terminating ? *request.terminating : kNeverTerminating);
  *request.keepAliveFlag = 0;
  *request.connectionContext = php_context::Build(request);

  DWORD totalBytes = 0;
  const std::string contentLength = TKestro::GetServerVar(
      "CONTENT_LENGTH", request.requestHead, request.documentRoot, request.serverSoftware,
      request.clientAddress, request.portText, request.rawTarget);
  if (!ContentLength(contentLength, totalBytes)) {
    RefuseBadLength(request);
    return true;
  }
  RequestTexts texts = TextsOf(request);
  EXTENSION_CONTROL_BLOCK ecb = ControlBlock(request.connectionContext, texts, totalBytes);
  if (ready) {
    try {
      request.loader->ExtensionProc()(&ecb);
    } catch (...) {
      // Whatever the module sent stays sent; the flag decides the connection.
    }
    platform::Push(request.socket);  // a head without a body waits no longer
  }
  return *request.keepAliveFlag == 0;
}
