// TKestro: the server-variable resolver. Every value is computed afresh from
// the request head; nothing is cached, so any number of workers may call it.
#include <string_view>
#include <unordered_map>

#include "common/KestroClass.h"
#include "platform/Encoding.h"

namespace detail {

// Views into the caller's texts: a value is computed without copying the head.
struct ServerVarRequest {
  std::string_view head;  // trimmed
  std::string_view root;
  std::string_view software;
  std::string_view remoteAddress;
  std::string_view port;
  std::string_view rawTarget;
};

constexpr std::string_view kCrLf = "\r\n";
constexpr std::size_t npos = std::string_view::npos;

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view Trimmed(std::string_view text) {
  std::size_t from = 0, to = text.size();
  while (from < to && static_cast<unsigned char>(text[from]) <= 32) ++from;
  while (to > from && static_cast<unsigned char>(text[to - 1]) <= 32) --to;
  return text.substr(from, to - from);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// Position of `what` in `text` without regard to ASCII case, or npos. A
// search that starts with no letter (the "\r\nName:" ones) jumps from one
// occurrence of its first byte to the next.
std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from = 0) {
  if (what.empty()) return from <= text.size() ? from : npos;
  const char first = what[0];
  const bool letter = UpperAscii(first) != first || (first >= 'A' && first <= 'Z');
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    if (!letter) {
      i = text.find(first, i);
      if (i == npos || i + what.size() > text.size()) return npos;
    }
    if (EqualsNoCase(text.substr(i, what.size()), what)) return i;
  }
  return npos;
}

std::string_view Before(std::string_view text, std::size_t pos) {
  return pos == npos ? text : text.substr(0, pos);
}

// The text after the first `delim`; all of it when there is none.
std::string_view AfterFirst(std::string_view text, char delim) {
  const std::size_t pos = text.find(delim);
  return pos == npos ? text : text.substr(pos + 1);
}

std::string WithoutQuotes(std::string_view text) {
  std::string result;
  for (char c : text)
    if (c != '"') result += c;
  return std::string(Trimmed(result));
}

std::string_view RequestLine(std::string_view head) { return Before(head, head.find(kCrLf)); }

// The request line up to its protocol: method and target.
std::string_view MethodAndTarget(std::string_view head) {
  const std::string_view line = RequestLine(head);
  return Before(line, FindNoCase(line, " HTTP"));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = UpperAscii(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "+" is a blank; "%XY" is the byte XY unless it is 0 or no hex pair, in which
// case the three characters are dropped; a trailing "%X" is the byte X (not 0),
// a trailing "%" is dropped.
std::string PercentDecode(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      result += ' ';
    } else if (c != '%') {
      result += c;
    } else if (i + 2 < text.size()) {
      int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
      int value = high < 0 || low < 0 ? 0 : high * 16 + low;
      if (value > 0) result += static_cast<char>(value);
      i += 2;
    } else if (i + 1 < text.size()) {
      int value = HexValue(text[i + 1]);
      if (value > 0) result += static_cast<char>(value);
      i += 1;
    }
  }
  return result;
}

// The decoded path of the request target, without its query.
std::string ScriptPath(std::string_view head) {
  std::string path = "/";
  path += Trimmed(MethodAndTarget(AfterFirst(RequestLine(head), '/')));
  return TKestro::Utf8ToAnsiIfValid(PercentDecode(Before(path, path.find('?'))));
}

std::string QueryString(std::string_view head) {
  const std::string_view target = MethodAndTarget(head);
  const std::size_t mark = target.find('?');
  return mark == npos ? std::string() : std::string(Trimmed(target.substr(mark + 1)));
}

std::string RequestMethod(std::string_view head) {
  const std::string_view line = RequestLine(head);
  return std::string(Trimmed(Before(line, line.find(' '))));
}

// Header lines as (name before the first ":", trimmed value after it); the
// request line is skipped, and so are lines without a colon, which carry no
// header. `visit` returns false to stop.
template <typename Visit>
void ForEachHeader(std::string_view head, Visit visit) {
  std::size_t next = head.find(kCrLf);
  while (next != npos) {
    const std::size_t start = next + kCrLf.size();
    next = head.find(kCrLf, start);
    const std::string_view line = head.substr(start, next == npos ? npos : next - start);
    const std::size_t colon = line.find(':');
    if (colon == npos) continue;
    if (!visit(line.substr(0, colon), Trimmed(line.substr(colon + 1)))) return;
  }
}

// The value of the first header line named `upperName` (names trimmed).
std::string HeaderByLine(std::string_view head, std::string_view upperName) {
  std::string_view found;
  ForEachHeader(head, [&](std::string_view name, std::string_view value) {
    if (!EqualsNoCase(Trimmed(name), upperName)) return true;
    found = value;
    return false;
  });
  return std::string(found);
}

std::string AllHttp(std::string_view head) {
  std::string all;
  ForEachHeader(head, [&](std::string_view name, std::string_view value) {
    all += "HTTP_";
    for (char c : name) all += c == '-' ? '_' : UpperAscii(c);
    all += ':';
    all += value;
    all += kCrLf;
    return true;
  });
  return all;
}

// The rest of the line after `search` ("\r\nName:"), found without regard to case.
std::string_view HeaderBySearch(std::string_view head, std::string_view search) {
  const std::size_t pos = FindNoCase(head, search);
  if (pos == npos) return std::string_view();
  const std::size_t from = pos + search.size();
  const std::size_t end = head.find(kCrLf, from);
  return Trimmed(head.substr(from, end == npos ? npos : end - from));
}

// The first offset of the Range header: bytes=500-999 gives 500, bytes=-500 gives 0.
std::string RangeOffset(std::string_view head) {
  const std::string_view spec = AfterFirst(HeaderBySearch(head, "\r\nRange:"), '=');
  const std::string_view offset = Trimmed(Before(spec, spec.find('-')));
  return offset.empty() ? "0" : std::string(offset);
}

std::string OrZero(std::string value) { return value.empty() ? "0" : value; }

using Resolver = std::string (*)(const ServerVarRequest&);

std::string Script(const ServerVarRequest& r) { return ScriptPath(r.head); }

std::string Searched(const ServerVarRequest& r, std::string_view search) {
  return std::string(HeaderBySearch(r.head, search));
}

// The names that have a value. The other names of the module's interface
// (AUTH_*, CERT_*, HTTPS_*, REMOTE_USER, LOGON_USER, HTTP_AUTHORIZATION, ...)
// and every header asked for by its own name are answered with "".
const std::unordered_map<std::string_view, Resolver>& ServerVarTable() {
  static const std::unordered_map<std::string_view, Resolver> table = {
      {"SCRIPT_NAME", Script},
      {"REQUEST_URI", Script},
      {"URL", Script},
      {"PATH_INFO", Script},
      {"HTTP_URL", [](const ServerVarRequest& r) { return std::string(r.rawTarget); }},
      {"HTTP_COOKIE", [](const ServerVarRequest& r) { return HeaderByLine(r.head, "COOKIE"); }},
      {"ALL_HTTP", [](const ServerVarRequest& r) { return AllHttp(r.head); }},
      {"HTTPS", [](const ServerVarRequest&) { return std::string("off"); }},
      {"CONTENT_LENGTH",
       [](const ServerVarRequest& r) { return OrZero(HeaderByLine(r.head, "CONTENT-LENGTH")); }},
      {"CONTENT_TYPE",
       [](const ServerVarRequest& r) { return HeaderByLine(r.head, "CONTENT-TYPE"); }},
      {"PATH_TRANSLATED",
       [](const ServerVarRequest& r) {
         return TKestro::ToNativePath(std::string(r.root) + ScriptPath(r.head));
       }},
      {"APPL_PHYSICAL_PATH",
       [](const ServerVarRequest& r) { return TKestro::ToNativePath(std::string(r.root) + "\\"); }},
      {"QUERY_STRING", [](const ServerVarRequest& r) { return QueryString(r.head); }},
      {"REMOTE_ADDR", [](const ServerVarRequest& r) { return std::string(r.remoteAddress); }},
      {"REMOTE_HOST", [](const ServerVarRequest& r) { return std::string(r.remoteAddress); }},
      {"REQUEST_METHOD", [](const ServerVarRequest& r) { return RequestMethod(r.head); }},
      {"SERVER_NAME",
       [](const ServerVarRequest& r) {
         const std::string_view host = HeaderBySearch(r.head, "\r\nHost:");
         return std::string(Before(host, host.find(':')));
       }},
      {"SERVER_PORT", [](const ServerVarRequest& r) { return std::string(r.port); }},
      {"SERVER_PROTOCOL", [](const ServerVarRequest&) { return std::string("HTTP/1.1"); }},
      {"SERVER_SOFTWARE", [](const ServerVarRequest& r) { return std::string(r.software); }},
      {"SERVER_PORT_SECURE", [](const ServerVarRequest&) { return std::string("0"); }},
      {"IF_MODIFIED_SINCE",
       [](const ServerVarRequest& r) { return Searched(r, "\r\nIf-Modified-Since:"); }},
      {"CONNECTION", [](const ServerVarRequest& r) { return Searched(r, "\r\nConnection:"); }},
      {"IF_NONE_MATCH",
       [](const ServerVarRequest& r) {
         return WithoutQuotes(HeaderBySearch(r.head, "\r\nIf-None-Match:"));
       }},
      {"RANGE", [](const ServerVarRequest& r) { return RangeOffset(r.head); }},
      {"UNLESS_MODIFIED_SINCE",
       [](const ServerVarRequest& r) { return Searched(r, "\r\nUnless-Modified-Since:"); }},
      {"IF_RANGE",
       [](const ServerVarRequest& r) {
         return WithoutQuotes(HeaderBySearch(r.head, "\r\nIf-Range:"));
       }},
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

}  // namespace detail

std::string TKestro::GetServerVar(std::string_view name, std::string_view head,
                                  std::string_view root, std::string_view software,
                                  std::string_view remoteAddress, std::string_view port,
                                  std::string_view rawTarget) {
  // The names of the table are short: a longer one is in no row.
  const std::string_view trimmed = detail::Trimmed(name);
  char upper[32];
  if (trimmed.size() > sizeof upper) return std::string();
  for (std::size_t i = 0; i < trimmed.size(); ++i) upper[i] = detail::UpperAscii(trimmed[i]);
  const auto& table = detail::ServerVarTable();
  const auto row = table.find(std::string_view(upper, trimmed.size()));
  if (row == table.end()) return std::string();
  return row->second({detail::Trimmed(head), root, software, remoteAddress, port, rawTarget});
}

std::string TKestro::Utf8ToAnsiIfValid(const std::string& text) {
  std::u16string decoded;
  if (!detail::DecodeUtf8Leniently(text, decoded)) return text;
  return platform::Utf8ToFileNameEncoding(text, decoded);
}
