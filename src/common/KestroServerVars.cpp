// TKestro: the server-variable resolver. Every value is computed afresh from
// the request head; nothing is cached, so any number of workers may call it.
#include <unordered_map>
#include <vector>

#include "common/KestroClass.h"
#include "platform/Encoding.h"

namespace detail {

struct ServerVarRequest {
  const std::string& head;  // trimmed
  const std::string& root;
  const std::string& software;
  const std::string& remoteAddress;
  const std::string& port;
  const std::string& rawTarget;
};

const char kCrLf[] = "\r\n";

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Position of `what` in `text` without regard to ASCII case, or npos.
std::size_t FindNoCase(const std::string& text, const std::string& what, std::size_t from = 0) {
  if (what.size() > text.size()) return std::string::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < what.size() && UpperAscii(text[i + k]) == UpperAscii(what[k])) ++k;
    if (k == what.size()) return i;
  }
  return std::string::npos;
}

std::string Before(const std::string& text, std::size_t pos) {
  return pos == std::string::npos ? text : text.substr(0, pos);
}

// The text after the first `delim`; all of it when there is none.
std::string AfterFirst(const std::string& text, char delim) {
  std::size_t pos = text.find(delim);
  return pos == std::string::npos ? text : text.substr(pos + 1);
}

std::string WithoutQuotes(const std::string& text) {
  std::string result;
  for (char c : text)
    if (c != '"') result += c;
  return TKestro::Trim(result);
}

// Request line and header lines; the head holds no empty line.
std::vector<std::string> HeadLines(const std::string& head) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (;;) {
    std::size_t next = head.find(kCrLf, pos);
    lines.push_back(head.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
    if (next == std::string::npos) return lines;
    pos = next + 2;
  }
}

std::string RequestLine(const std::string& head) { return Before(head, head.find(kCrLf)); }

// The request line up to its protocol: method and target.
std::string MethodAndTarget(const std::string& head) {
  std::string line = RequestLine(head);
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
std::string PercentDecode(const std::string& text) {
  std::string result;
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
std::string ScriptPath(const std::string& head) {
  std::string path = "/" + TKestro::Trim(MethodAndTarget(AfterFirst(RequestLine(head), '/')));
  return TKestro::Utf8ToAnsiIfValid(PercentDecode(Before(path, path.find('?'))));
}

std::string QueryString(const std::string& head) {
  std::string target = MethodAndTarget(head);
  std::size_t mark = target.find('?');
  return mark == std::string::npos ? std::string() : TKestro::Trim(target.substr(mark + 1));
}

std::string RequestMethod(const std::string& head) {
  std::string line = RequestLine(head);
  return TKestro::Trim(Before(line, line.find(' ')));
}

// Header lines as (name before the first ":", value after it); lines without
// a colon carry no header and are skipped.
template <typename Visit>
void ForEachHeader(const std::string& head, Visit visit) {
  std::vector<std::string> lines = HeadLines(head);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::size_t colon = lines[i].find(':');
    if (colon == std::string::npos) continue;
    if (!visit(lines[i].substr(0, colon), TKestro::Trim(lines[i].substr(colon + 1)))) return;
  }
}

// The value of the first header line named `upperName` (names trimmed).
std::string HeaderByLine(const std::string& head, const std::string& upperName) {
  std::string found;
  ForEachHeader(head, [&](const std::string& name, const std::string& value) {
    if (TKestro::UpperCase(TKestro::Trim(name)) != upperName) return true;
    found = value;
    return false;
  });
  return found;
}

std::string AllHttp(const std::string& head) {
  std::string all;
  ForEachHeader(head, [&](std::string name, const std::string& value) {
    for (char& c : name)
      if (c == '-') c = '_';
    all += "HTTP_" + TKestro::UpperCase(name) + ":" + value + kCrLf;
    return true;
  });
  return all;
}

// The rest of the line after `search` ("\r\nName:"), found without regard to case.
std::string HeaderBySearch(const std::string& head, const std::string& search) {
  std::size_t pos = FindNoCase(head, search);
  if (pos == std::string::npos) return std::string();
  std::size_t from = pos + search.size();
  return TKestro::Trim(head.substr(from, head.find(kCrLf, from) - from));
}

// The first offset of the Range header: bytes=500-999 gives 500, bytes=-500 gives 0.
std::string RangeOffset(const std::string& head) {
  std::string spec = AfterFirst(HeaderBySearch(head, "\r\nRange:"), '=');
  std::string offset = TKestro::Trim(Before(spec, spec.find('-')));
  return offset.empty() ? "0" : offset;
}

std::string OrZero(const std::string& value) { return value.empty() ? "0" : value; }

using Resolver = std::string (*)(const ServerVarRequest&);

std::string Script(const ServerVarRequest& r) { return ScriptPath(r.head); }

// The names that have a value. The other names of the module's interface
// (AUTH_*, CERT_*, HTTPS_*, REMOTE_USER, LOGON_USER, HTTP_AUTHORIZATION, ...)
// and every header asked for by its own name are answered with "".
const std::unordered_map<std::string, Resolver>& ServerVarTable() {
  static const std::unordered_map<std::string, Resolver> table = {
      {"SCRIPT_NAME", Script},
      {"REQUEST_URI", Script},
      {"URL", Script},
      {"PATH_INFO", Script},
      {"HTTP_URL", [](const ServerVarRequest& r) { return r.rawTarget; }},
      {"HTTP_COOKIE", [](const ServerVarRequest& r) { return HeaderByLine(r.head, "COOKIE"); }},
      {"ALL_HTTP", [](const ServerVarRequest& r) { return AllHttp(r.head); }},
      {"HTTPS", [](const ServerVarRequest&) { return std::string("off"); }},
      {"CONTENT_LENGTH",
       [](const ServerVarRequest& r) { return OrZero(HeaderByLine(r.head, "CONTENT-LENGTH")); }},
      {"CONTENT_TYPE",
       [](const ServerVarRequest& r) { return HeaderByLine(r.head, "CONTENT-TYPE"); }},
      {"PATH_TRANSLATED",
       [](const ServerVarRequest& r) { return TKestro::ToNativePath(r.root + ScriptPath(r.head)); }},
      {"APPL_PHYSICAL_PATH",
       [](const ServerVarRequest& r) { return TKestro::ToNativePath(r.root + "\\"); }},
      {"QUERY_STRING", [](const ServerVarRequest& r) { return QueryString(r.head); }},
      {"REMOTE_ADDR", [](const ServerVarRequest& r) { return r.remoteAddress; }},
      {"REMOTE_HOST", [](const ServerVarRequest& r) { return r.remoteAddress; }},
      {"REQUEST_METHOD", [](const ServerVarRequest& r) { return RequestMethod(r.head); }},
      {"SERVER_NAME",
       [](const ServerVarRequest& r) {
         std::string host = HeaderBySearch(r.head, "\r\nHost:");
         return Before(host, host.find(':'));
       }},
      {"SERVER_PORT", [](const ServerVarRequest& r) { return r.port; }},
      {"SERVER_PROTOCOL", [](const ServerVarRequest&) { return std::string("HTTP/1.1"); }},
      {"SERVER_SOFTWARE", [](const ServerVarRequest& r) { return r.software; }},
      {"SERVER_PORT_SECURE", [](const ServerVarRequest&) { return std::string("0"); }},
      {"IF_MODIFIED_SINCE",
       [](const ServerVarRequest& r) { return HeaderBySearch(r.head, "\r\nIf-Modified-Since:"); }},
      {"CONNECTION",
       [](const ServerVarRequest& r) { return HeaderBySearch(r.head, "\r\nConnection:"); }},
      {"IF_NONE_MATCH",
       [](const ServerVarRequest& r) {
         return WithoutQuotes(HeaderBySearch(r.head, "\r\nIf-None-Match:"));
       }},
      {"RANGE", [](const ServerVarRequest& r) { return RangeOffset(r.head); }},
      {"UNLESS_MODIFIED_SINCE",
       [](const ServerVarRequest& r) {
         return HeaderBySearch(r.head, "\r\nUnless-Modified-Since:");
       }},
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

std::string TKestro::GetServerVar(const std::string& name, const std::string& head,
                                  const std::string& root, const std::string& software,
                                  const std::string& remoteAddress, const std::string& port,
                                  const std::string& rawTarget) {
  const auto& table = detail::ServerVarTable();
  auto row = table.find(UpperCase(Trim(name)));
  if (row == table.end()) return std::string();
  std::string trimmedHead = Trim(head);
  return row->second({trimmedHead, root, software, remoteAddress, port, rawTarget});
}

std::string TKestro::Utf8ToAnsiIfValid(const std::string& text) {
  std::u16string decoded;
  if (!detail::DecodeUtf8Leniently(text, decoded)) return text;
  return platform::Utf8ToFileNameEncoding(text, decoded);
}
