#include "php/PhpRequest.h"

#include <string>

#include "common/HttpStatus.h"
#include "common/KestroClass.h"
#include "common/TextView.h"
#include "php/ConnectionContext.h"
#include "php/IsapiCallbacks.h"
#include "php/PhpDllLoader.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/Processes.h"
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

// What the page of a PHP that cannot be loaded says; a tree of Windows
// programs also says where PHP for Windows goes.
std::string NoPhpText(const TPHPDllLoader& loader) {
  std::string text = "PHP could not be loaded from the folder <code>php</code> of this server's "
                     "tree: " + loader.Failure() + ".";
  if (*platform::ProgramSuffix != '\0')
    text += " Unpack PHP for Windows (its zip archive) into that folder, so that <code>php-cgi" +
            std::string(platform::ProgramSuffix) + "</code> lies beside <code>phpisapi" +
            platform::LibrarySuffix + "</code>, which comes with this server.";
  return text;
}

// Beside PHP's own errors, once per load: the page says it on every request.
void LogNoPhp(const TPHPDllLoader& loader, const std::string& logFolder) {
  if (logFolder.empty()) return;
  platform::FileStream log;
  if (!log.OpenAppend(logFolder + platform::PathDelim + "php_errors.log")) return;
  const std::string line = "[" + TKestro::FormatDateTime(TKestro::NowLocal()) +
                           "] PHP could not be loaded from " + loader.PhpFolder() + ": " +
                           loader.Failure() + "\n";
  log.Write(line.data(), line.size());
}

void AnswerNoPhp(const TPhpRequestRecord& r) {
  if (r.loader->FirstToReportFailure()) LogNoPhp(*r.loader, r.logFolder);
  const std::string answer =
      FixedAnswerText(503, r.serverSoftware, "Connection: close\r\n", std::string(),
                      text::EqualsNoCase(r.request->method, "HEAD"), NoPhpText(*r.loader));
  platform::SendAll(r.socket, answer.data(), answer.size());
}

}  // namespace

bool ServePhpRequest(const TPhpRequestRecord& request) {
  static const std::atomic<bool> kNeverTerminating{false};
  if (!request.loader || !request.keepAliveFlag || !request.connectionContext) return true;
  const std::atomic<bool>& terminating =
      request.terminating ? *request.terminating : kNeverTerminating;
  const bool ready = request.loader->EnsureLoaded(terminating);
  *request.keepAliveFlag = 0;
  if (!request.request) return true;
  if (!ready) {
    if (!terminating) AnswerNoPhp(request);
    return true;
  }
  *request.connectionContext = php_context::Build(request);
  RequestTexts texts = TextsOf(request);
  EXTENSION_CONTROL_BLOCK ecb = ControlBlock(request.connectionContext, texts, request.body);
  try {
    request.loader->ExtensionProc()(&ecb);
  } catch (...) {
    // Whatever the module sent stays sent; the flag decides the connection.
  }
  platform::Push(request.socket);  // a head without a body waits no longer
  return *request.keepAliveFlag == 0;
}
