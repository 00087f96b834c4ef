// One request head parsed once: what the head reader, the URL mapping, the
// static answers and the server-variable resolver all read.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct THttpHeader {
  std::string name;   // as sent
  std::string value;  // trimmed
};

enum class TBodyFraming { kNone, kLength, kChunked };

struct THttpRequest {
  std::string head;     // the head as read: request line and header lines, trimmed
  std::string method;   // the request line's first word, as sent
  std::string target;   // the request target as sent: path and query, not decoded
  std::string version;  // "HTTP/1.1", "HTTP/1.0", ...; empty when the line names none
  std::string path;     // the decoded path of the target, without its query
  std::string query;    // the text after the first "?", not decoded
  std::vector<THttpHeader> headers;  // in order

  TBodyFraming framing = TBodyFraming::kNone;
  std::int64_t contentLength = 0;  // kLength: the body's length
  // 0 for a head that can be served; else the status that refuses it (400 a
  // malformed head or ambiguous framing, 501 a transfer coding other than
  // chunked). Such a connection is closed after the answer.
  int refusal = 0;

  // Set once the path is mapped: the script's URL, what follows it, its file.
  std::string scriptUrl;  // the decoded path until then
  std::string pathInfo;
  std::string scriptFile;
  // What the folder rules set for the script (REDIRECT_URL, E= variables),
  // in order; passed beside the headers.
  std::vector<THttpHeader> variables;

  // The value of the first header named `name` (ASCII case ignored); null
  // when there is none.
  const std::string* Header(std::string_view name) const;
  bool IsHttp10() const { return version == "HTTP/1.0"; }
};

// Parses `head` (request line and header lines, CR LF separated, trimmed).
// Never fails: what cannot be served is told by `refusal`.
THttpRequest ParseRequestHead(std::string head);

// Percent-decoding of a URL path: "%XY" is the byte XY unless it is 0 or no
// hex pair (the three characters are then dropped), a trailing "%X" is the
// byte X, a trailing "%" is dropped; "+" stays a plus.
std::string DecodeUrlPath(std::string_view text);
