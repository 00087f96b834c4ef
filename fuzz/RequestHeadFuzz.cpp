// A client's bytes through the head reader and the body reader, request after
// request as a pipelining client sends them; then every server variable of
// each request, directly and through the module's GetServerVariable
// callback, and the CGI variables the PHP module builds from them.
#include <cstdint>
#include <cstring>

#include "CgiRequest.h"
#include "FuzzSupport.h"
#include "common/HttpRequest.h"
#include "common/KestroClass.h"
#include "common/RequestBody.h"
#include "http/RequestReader.h"
#include "php/ConnectionContext.h"
#include "php/IsapiCallbacks.h"

namespace {

// Every name the server answers, names it answers with "", and the forms a
// module may ask them in.
const char* const kNames[] = {
    "SCRIPT_NAME", "REQUEST_URI", "URL", "PATH_INFO", "HTTP_URL", "HTTP_COOKIE", "ALL_HTTP",
    "HTTPS", "AUTH_PASSWORD", "AUTH_TYPE", "AUTH_USER", "CONTENT_LENGTH", "CONTENT_TYPE",
    "PATH_TRANSLATED", "QUERY_STRING", "REMOTE_ADDR", "REMOTE_HOST", "REMOTE_USER",
    "REQUEST_METHOD", "SERVER_NAME", "SERVER_PORT", "SERVER_PROTOCOL", "SERVER_SOFTWARE",
    "APPL_MD_PATH", "APPL_PHYSICAL_PATH", "INSTANCE_ID", "INSTANCE_META_PATH", "LOGON_USER",
    "HTTP_AUTHORIZATION", "CERT_COOKIE", "CERT_FLAGS", "CERT_SUBJECT", "HTTPS_KEYSIZE",
    "SERVER_PORT_SECURE", "IF_MODIFIED_SINCE", "CONNECTION", "IF_NONE_MATCH", "RANGE",
    "UNLESS_MODIFIED_SINCE", "IF_RANGE", "HTTP_HOST", "HTTP_USER_AGENT", " server_port ",
    "script_name", "", "NOT_A_VARIABLE", "REMOTE_PORT", "SERVER_ADDR", "REQUEST_SCHEME"};

const std::string kRoot = "/srv/www";
const std::string kSoftware = "Portavane/6.29";
const std::string kAddress = "127.0.0.1";
const std::string kPort = "8080";

// The callback with buffers too small, just right and ample: it agrees with
// the resolver and never writes past the size it was given.
void CheckCallback(std::string& context, const char* name, const std::string& expected) {
  const DWORD required = static_cast<DWORD>(expected.size() + 1);
  for (const DWORD given : {DWORD{0}, DWORD{1}, required - 1, required, required + 7}) {
    if (given > required + 7) continue;  // required - 1 of an empty value
    std::vector<char> buffer(given + 1, '\x5A');
    DWORD size = given;
    const BOOL ok = GetServerVariableProc(&context, const_cast<LPSTR>(name), buffer.data(), &size);
    FUZZ_CHECK(buffer[given] == '\x5A');
    if (given < required) {
      FUZZ_CHECK(!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size == required);
      continue;
    }
    FUZZ_CHECK(ok && size == required);
    FUZZ_CHECK(std::memcmp(buffer.data(), expected.c_str(), required) == 0);
  }
}

// The FastCGI name-value pairs decode to their end, each length inside the stream.
void CheckParams(const std::string& params) {
  const auto* p = reinterpret_cast<const unsigned char*>(params.data());
  std::size_t at = 0;
  auto length = [&](std::size_t& value) {
    if (at >= params.size()) return false;
    if (p[at] < 0x80) {
      value = p[at++];
      return true;
    }
    if (at + 4 > params.size()) return false;
    value = (std::size_t{p[at] & 0x7Fu} << 24) | (std::size_t{p[at + 1]} << 16) |
            (std::size_t{p[at + 2]} << 8) | p[at + 3];
    at += 4;
    return true;
  };
  while (at < params.size()) {
    std::size_t name = 0, value = 0;
    FUZZ_CHECK(length(name) && length(value));
    FUZZ_CHECK(name > 0 && name + value <= params.size() - at);
    at += name + value;
  }
}

// One parsed request and its body: the variables agree between the resolver
// and the callback, and the module's parameters decode.
void CheckRequest(fuzz::Worker& worker, const THttpRequest& request, TRequestBody& body) {
  TPhpRequestRecord record;
  record.socket = worker.connection.socket;
  record.request = &request;
  record.body = &body;
  record.documentRoot = kRoot;
  record.serverSoftware = kSoftware;
  record.clientAddress = kAddress;
  record.portText = kPort;
  record.keepAliveFlag = &worker.keepAlive;
  record.terminating = &worker.terminating;
  std::string context = php_context::Build(record);
  for (const char* name : kNames) {
    const std::string value = TKestro::GetServerVar(name, request, kRoot, kSoftware, kAddress, kPort,
                                                    record.socket);
    CheckCallback(context, name, value);
  }

  EXTENSION_CONTROL_BLOCK ecb{};
  ecb.cbSize = sizeof ecb;
  ecb.ConnID = &context;
  ecb.GetServerVariable = GetServerVariableProc;
  ecb.WriteClient = WriteClientProc;
  ecb.ReadClient = ReadClientProc;
  ecb.ServerSupportFunction = ServerSupportFunctionProc;
  const phpisapi::CgiRequest cgi = phpisapi::DescribeRequest(ecb);
  CheckParams(cgi.params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SocketPair pair;
  fuzz::Worker worker(pair.server());
  pair.ClientSendsAndCloses(data, size);
  for (int served = 0; served < 8; ++served) {
    const std::size_t before = worker.pending.size();
    std::string head;
    const HeadOutcome outcome = ReadRequestHead(worker.connection, head);
    if (outcome == HeadOutcome::kNothing || outcome == HeadOutcome::kTooLarge) return 0;
    FUZZ_CHECK(outcome == HeadOutcome::kComplete);
    FUZZ_CHECK(head == TKestro::Trim(head));
    FUZZ_CHECK(head.find("\r\n\r\n") == std::string::npos);
    FUZZ_CHECK(head.size() <= kMaxHeadBytes);
    FUZZ_CHECK(served == 0 || worker.pending.size() < before);  // every request takes bytes

    THttpRequest request = ParseRequestHead(head);
    FUZZ_CHECK(request.refusal == 0 || request.refusal == 400 || request.refusal == 501);
    TRequestBody body("/nonexistent");
    if (request.refusal == 0) {
      const std::int64_t announced = request.contentLength;
      const BodyOutcome read = ReadRequestBody(worker.connection, request, body);
      if (read == BodyOutcome::kComplete) {
        FUZZ_CHECK(body.Size() == request.contentLength);
        FUZZ_CHECK(request.framing != TBodyFraming::kLength || body.Size() == announced);
      }
      CheckRequest(worker, request, body);
      if (read != BodyOutcome::kComplete) return 0;
    } else {
      CheckRequest(worker, request, body);
      return 0;
    }
    worker.connection.servedBefore = true;
  }
  return 0;
}
