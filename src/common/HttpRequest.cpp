#include "common/HttpRequest.h"

#include "common/KestroClass.h"
#include "common/TextView.h"

namespace {

using text::npos;

constexpr std::string_view kCrLf = "\r\n";
// More digits than any body this server takes: the rest is refused unread.
constexpr std::size_t kMaxLengthDigits = 18;

// The request line up to its protocol: method and target.
std::string_view MethodAndTarget(std::string_view line) {
  return text::Before(line, text::FindNoCase(line, " HTTP"));
}

// The text after the first `delim`; all of it when there is none.
std::string_view AfterFirst(std::string_view text, char delim) {
  const std::size_t pos = text.find(delim);
  return pos == npos ? text : text.substr(pos + 1);
}

// A name with a blank or control byte in it ("Proxy : x") would reach PHP
// as another name than the checks saw.
bool IsTokenName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 32 || byte == 0x7F) return false;
  }
  return true;
}

bool AllDigits(std::string_view value) {
  return value.size() <= kMaxLengthDigits && text::IsDecimal(value);
}

void ParseRequestLine(std::string_view line, THttpRequest& r) {
  r.method = std::string(text::Trimmed(text::Before(line, line.find(' '))));
  const std::size_t start = line.find(' ');
  if (start != npos) {
    const std::size_t end = line.find(' ', start + 1);
    r.target = std::string(line.substr(start + 1, end == npos ? npos : end - start - 1));
    const std::size_t last = line.rfind(' ');
    if (last > start && text::FindNoCase(line.substr(last + 1), "HTTP/") == 0)
      r.version = std::string(line.substr(last + 1));
  }
  const std::string_view target = MethodAndTarget(line);
  const std::size_t mark = target.find('?');
  if (mark != npos) r.query = std::string(text::Trimmed(target.substr(mark + 1)));

  std::string path = "/";
  path += text::Trimmed(MethodAndTarget(AfterFirst(line, '/')));
  r.path = TKestro::Utf8ToAnsiIfValid(DecodeUrlPath(text::Before(path, path.find('?'))));
  r.scriptUrl = r.path;
}

// One body framing or none; every doubt is refused, since a body read with
// another length than the client meant would be served as requests.
void DecideFraming(THttpRequest& r) {
  const std::string* length = nullptr;
  int codings = 0;
  bool chunked = false;
  for (const THttpHeader& h : r.headers) {
    if (text::EqualsNoCase(h.name, "Transfer-Encoding")) {
      ++codings;
      chunked = text::EqualsNoCase(h.value, "chunked");
    } else if (text::EqualsNoCase(h.name, "Content-Length")) {
      if (!AllDigits(h.value) || (length && *length != h.value)) {
        r.refusal = 400;
        return;
      }
      length = &h.value;
    }
  }
  if (codings > 0) {
    if (length) r.refusal = 400;
    else if (codings > 1 || !chunked) r.refusal = 501;
    else r.framing = TBodyFraming::kChunked;
    return;
  }
  if (length) {
    r.contentLength = TKestro::StrToInt64Def(*length, 0);
    if (r.contentLength > 0) r.framing = TBodyFraming::kLength;
  }
}

}  // namespace

const std::string* THttpRequest::Header(std::string_view name) const {
  for (const THttpHeader& h : headers)
    if (text::EqualsNoCase(h.name, name)) return &h.value;
  return nullptr;
}

std::string THttpRequest::JoinedHeader(std::string_view name) const {
  std::string joined;
  bool first = true;
  for (const THttpHeader& h : headers) {
    if (!text::EqualsNoCase(h.name, name)) continue;
    if (!first) joined += HeaderJoiner(name);
    joined += h.value;
    first = false;
  }
  return joined;
}

const char* HeaderJoiner(std::string_view name) {
  return text::EqualsNoCase(name, "Cookie") ? "; " : ", ";
}

THttpRequest ParseRequestHead(std::string head) {
  THttpRequest r;
  r.head = std::move(head);
  const std::string_view all = r.head;
  std::size_t lineEnd = all.find(kCrLf);
  const std::string_view requestLine = text::Before(all, lineEnd);
  ParseRequestLine(requestLine, r);
  // A lone CR or LF would let one line pass for two, in the log and in PHP.
  if (requestLine.find_first_of("\r\n") != npos) r.refusal = 400;
  while (lineEnd != npos) {
    const std::size_t start = lineEnd + kCrLf.size();
    lineEnd = all.find(kCrLf, start);
    const std::string_view line = all.substr(start, lineEnd == npos ? npos : lineEnd - start);
    if (line.find_first_of("\r\n") != npos) r.refusal = 400;
    const std::size_t colon = line.find(':');
    if (colon == npos) continue;  // no header in it
    const std::string_view name = line.substr(0, colon);
    if (!IsTokenName(name)) r.refusal = 400;
    r.headers.push_back({std::string(name), std::string(text::Trimmed(line.substr(colon + 1)))});
  }
  if (r.refusal == 0) DecideFraming(r);
  return r;
}

std::string DecodeUrlPath(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '%') {
      result += c;
    } else if (i + 2 < text.size()) {
      const int high = text::HexDigitValue(text[i + 1]), low = text::HexDigitValue(text[i + 2]);
      const int value = high < 0 || low < 0 ? 0 : high * 16 + low;
      if (value > 0) result += static_cast<char>(value);
      i += 2;
    } else if (i + 1 < text.size()) {
      const int value = text::HexDigitValue(text[i + 1]);
      if (value > 0) result += static_cast<char>(value);
      i += 1;
    }
  }
  return result;
}
