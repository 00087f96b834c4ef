#include "php/PhpRequest.h"

#include <string>

#include "common/KestroClass.h"
#include "php/ConnectionContext.h"
#include "php/IsapiCallbacks.h"
#include "php/PhpDllLoader.h"
#include "platform/Socket.h"

namespace {

// The texts the control block points to; alive until the module returns.
struct RequestTexts {
  std::string method, query, pathInfo, pathTranslated, contentType;
};

RequestTexts TextsOf(const TPhpRequestRecord& r) {
  auto var = [&r](const char* name) {
    return TKestro::GetServerVar(name, *r.request, r.documentRoot, r.serverSoftware,
                                 r.clientAddress, r.portText);
  };
  return {var("REQUEST_METHOD"), var("QUERY_STRING"), var("PATH_INFO"), var("PATH_TRANSLATED"),
          var("CONTENT_TYPE")};
}

// The body's first bytes go with the block, the rest through ReadClient.
EXTENSION_CONTROL_BLOCK ControlBlock(std::string* context, RequestTexts& texts,
                                     const TRequestBody* body) {
  EXTENSION_CONTROL_BLOCK ecb{};  // lpszLogData: 80 zero bytes
  ecb.cbSize = sizeof(EXTENSION_CONTROL_BLOCK);
  ecb.dwVersion = isapi::kVersion;
  ecb.ConnID = context;
  ecb.dwHttpStatusCode = 0;
  ecb.lpszMethod = texts.method.data();
  ecb.lpszQueryString = texts.query.data();
  ecb.lpszPathInfo = texts.pathInfo.data();
  ecb.lpszPathTranslated = texts.pathTranslated.data();
  if (body && body->Size() > 0) {
    ecb.cbTotalBytes = static_cast<DWORD>(body->Size());
    ecb.cbAvailable = static_cast<DWORD>(body->Head().size());
    ecb.lpbData = reinterpret_cast<LPBYTE>(const_cast<char*>(body->Head().data()));
  }
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
  if (!request.request) return true;
  *request.connectionContext = php_context::Build(request);
  RequestTexts texts = TextsOf(request);
  EXTENSION_CONTROL_BLOCK ecb = ControlBlock(request.connectionContext, texts, request.body);
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
