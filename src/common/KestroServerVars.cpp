// TKestro: the server-variable resolver. Every value is read from the request
// parsed once; nothing is shared, so any number of workers may call it.
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/HttpRequest.h"
#include "common/KestroClass.h"
#include "common/Product.h"
#include "common/TextView.h"
#include "platform/Encoding.h"
#include "platform/Socket.h"

namespace {

using text::npos;
using text::Trimmed;

// The request and the connection values a variable is computed from.
struct ServerVarRequest {
  const THttpRequest& request;
  std::string_view root;
  std::string_view software;
  std::string_view remoteAddress;
  std::string_view port;
  platform::SocketHandle connection;
};

std::string HeaderValue(const THttpRequest& r, std::string_view name) {
  const std::string* value = r.Header(name);
  return value ? *value : std::string();
}

std::string WithoutQuotes(const std::string& value) {
  std::string result;
  for (char c : value)
    if (c != '"') result += c;
  return std::string(Trimmed(result));
}

// Names with "_" are left out: X_Dup would otherwise reach PHP as the same
// variable as X-Dup. A header sent more than once is one line with its values
// joined, in the place of its first, as PHP keeps only the last of a name.
std::string AllHttp(const THttpRequest& r) {
  struct Line {
    std::string name, value;
  };
  std::vector<Line> lines;
  std::unordered_map<std::string, std::size_t> seen;
  for (const THttpHeader& h : r.headers) {
    if (h.name.find('_') != std::string::npos) continue;
    std::string name = "HTTP_";
    for (char c : h.name) name += c == '-' ? '_' : text::UpperAscii(c);
    const auto [at, added] = seen.emplace(name, lines.size());
    if (added)
      lines.push_back({std::move(name), h.value});
    else
      lines[at->second].value += HeaderJoiner(h.name) + h.value;
  }
  std::string all;
  for (const Line& line : lines) all += line.name + ':' + line.value + "\r\n";
  return all;
}

// The first offset of the Range header: bytes=500-999 gives 500, bytes=-500 gives 0.
std::string RangeOffset(const THttpRequest& r) {
  const std::string* range = r.Header("Range");
  if (!range) return "0";
  const std::string_view spec = *range;
  const std::size_t equals = spec.find('=');
  const std::string_view after = equals == npos ? spec : spec.substr(equals + 1);
  const std::string_view offset = Trimmed(text::Before(after, after.find('-')));
  return offset.empty() ? "0" : std::string(offset);
}

// The host of the Host header, without its port ("[::1]" keeps its colons).
std::string ServerName(const THttpRequest& r) {
  const std::string host = HeaderValue(r, "Host");
  const std::size_t end = host.rfind(']');
  const std::size_t colon = host.find(':', end == std::string::npos ? 0 : end);
  return host.substr(0, colon);
}

// "" for a request without a body, which PHP then sees without the variable.
std::string ContentLength(const THttpRequest& r) {
  const std::string value = HeaderValue(r, "Content-Length");
  if (!value.empty()) return value;
  return r.framing == TBodyFraming::kChunked ? std::to_string(r.contentLength) : "";
}

std::string PeerPort(const ServerVarRequest& v) {
  const int port = v.connection ? platform::PeerPort(v.connection) : 0;
  return port ? std::to_string(port) : std::string();
}

// ALL_HTTP's lines, then the variables the folder rules set, in the same form.
std::string AllHttpAndRuleVariables(const THttpRequest& r) {
  std::string all = AllHttp(r);
  for (const THttpHeader& v : r.variables) all += v.name + ':' + v.value + "\r\n";
  return all;
}

using Resolver = std::string (*)(const ServerVarRequest&);

std::string ScriptUrl(const ServerVarRequest& v) { return v.request.scriptUrl; }
std::string FullPath(const ServerVarRequest& v) {
  return v.request.scriptUrl + v.request.pathInfo;
}

// The names that have a value. The other names of the module's interface
// (AUTH_*, CERT_*, HTTPS_*, REMOTE_USER, LOGON_USER, HTTP_AUTHORIZATION, ...)
// and every header asked for by its own name are answered with "".
const std::unordered_map<std::string_view, Resolver>& ServerVarTable() {
  static const std::unordered_map<std::string_view, Resolver> table = {
      {"SCRIPT_NAME", ScriptUrl},
      {"URL", ScriptUrl},
      {"REQUEST_URI", FullPath},
      {"PATH_INFO", FullPath},
      {"HTTP_URL", [](const ServerVarRequest& v) { return v.request.target; }},
      {"HTTP_COOKIE", [](const ServerVarRequest& v) { return v.request.JoinedHeader("Cookie"); }},
      {"ALL_HTTP", [](const ServerVarRequest& v) { return AllHttpAndRuleVariables(v.request); }},
      {"HTTPS", [](const ServerVarRequest&) { return std::string("off"); }},
      {"CONTENT_LENGTH", [](const ServerVarRequest& v) { return ContentLength(v.request); }},
      {"CONTENT_TYPE",
       [](const ServerVarRequest& v) { return HeaderValue(v.request, "Content-Type"); }},
      {"PATH_TRANSLATED",
       [](const ServerVarRequest& v) {
         if (!v.request.scriptFile.empty()) return v.request.scriptFile;
         return TKestro::ToNativePath(std::string(v.root) + v.request.scriptUrl);
       }},
      {"APPL_PHYSICAL_PATH",
       [](const ServerVarRequest& v) { return TKestro::ToNativePath(std::string(v.root) + "\\"); }},
      {"QUERY_STRING", [](const ServerVarRequest& v) { return v.request.query; }},
      {"REMOTE_ADDR", [](const ServerVarRequest& v) { return std::string(v.remoteAddress); }},
      {"REMOTE_HOST", [](const ServerVarRequest& v) { return std::string(v.remoteAddress); }},
      {"REMOTE_PORT", PeerPort},
      {"SERVER_ADDR",
       [](const ServerVarRequest& v) {
         return v.connection ? platform::LocalAddress(v.connection) : std::string();
       }},
      {"REQUEST_SCHEME", [](const ServerVarRequest&) { return std::string("http"); }},
      {"REQUEST_METHOD", [](const ServerVarRequest& v) { return v.request.method; }},
      {"SERVER_NAME", [](const ServerVarRequest& v) { return ServerName(v.request); }},
      {"SERVER_PORT", [](const ServerVarRequest& v) { return std::string(v.port); }},
      {"SERVER_PROTOCOL",
       [](const ServerVarRequest& v) {
         return v.request.version.empty() ? std::string("HTTP/1.1") : v.request.version;
       }},
      {"SERVER_SOFTWARE",
       [](const ServerVarRequest& v) { return std::string(v.software) + PV_RULES_COMMENT; }},
      {"SERVER_PORT_SECURE", [](const ServerVarRequest&) { return std::string("0"); }},
      {"IF_MODIFIED_SINCE",
       [](const ServerVarRequest& v) { return HeaderValue(v.request, "If-Modified-Since"); }},
      {"CONNECTION",
       [](const ServerVarRequest& v) { return HeaderValue(v.request, "Connection"); }},
      {"IF_NONE_MATCH",
       [](const ServerVarRequest& v) {
         return WithoutQuotes(HeaderValue(v.request, "If-None-Match"));
       }},
      {"RANGE", [](const ServerVarRequest& v) { return RangeOffset(v.request); }},
      {"UNLESS_MODIFIED_SINCE",
       [](const ServerVarRequest& v) { return HeaderValue(v.request, "Unless-Modified-Since"); }},
      {"IF_RANGE",
       [](const ServerVarRequest& v) { return WithoutQuotes(HeaderValue(v.request, "If-Range")); }},
  };
  return table;
}

// The lenient UTF-8 test and decoding: a byte from 0x80 opens a group of three
// bytes when its bit 0x20 is set, else of two; further bytes must be 10xxxxxx.
// A group that spells the character 0 (an overlong C0 80) fails too: the
// decoding drops %00, and a NUL in a file name would cut it short.
bool DecodeUtf8Leniently(const std::string& text, std::u16string& decoded) {
  decoded.clear();
  for (std::size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      decoded += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    std::size_t length = (lead & 0x20) ? 3 : 2;
    if (i + length > text.size()) return false;
    unsigned value = lead & (length == 3 ? 0x0F : 0x1F);
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value == 0) return false;
    decoded += static_cast<char16_t>(value);
    i += length;
  }
  return !decoded.empty();
}

}  // namespace

std::string TKestro::GetServerVar(std::string_view name, const THttpRequest& request,
                                  std::string_view root, std::string_view software,
                                  std::string_view remoteAddress, std::string_view port,
                                  platform::SocketHandle connection) {
  // The names of the table are short: a longer one is in no row.
  const std::string_view trimmed = Trimmed(name);
  char upper[32];
  if (trimmed.size() > sizeof upper) return std::string();
  for (std::size_t i = 0; i < trimmed.size(); ++i) upper[i] = text::UpperAscii(trimmed[i]);
  const auto& table = ServerVarTable();
  const auto row = table.find(std::string_view(upper, trimmed.size()));
  if (row == table.end()) return std::string();
  return row->second({request, root, software, remoteAddress, port, connection});
}

std::string TKestro::GetServerVar(std::string_view name, std::string_view head,
                                  std::string_view root, std::string_view software,
                                  std::string_view remoteAddress, std::string_view port) {
  return GetServerVar(name, ParseRequestHead(std::string(Trimmed(head))), root, software,
                      remoteAddress, port);
}

std::string TKestro::Utf8ToAnsiIfValid(const std::string& text) {
  std::u16string decoded;
  if (!DecodeUtf8Leniently(text, decoded)) return text;
  return platform::Utf8ToFileNameEncoding(text, decoded);
}
