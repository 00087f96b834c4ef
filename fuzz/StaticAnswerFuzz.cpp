// Request headers through the conditional and range logic of a static
// answer, and every date in them through the HTTP-date parser. The first
// byte picks the method and the file; in the rest "@E" stands for the file's
// entity tag and "@D" for its Last-Modified date, so matching validators can
// be written. Whatever the headers say, the answer is whole and consistent.
#include <sys/time.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "TempFolder.h"
#include "common/HttpRequest.h"
#include "common/KestroClass.h"
#include "http/MimeTable.h"
#include "http/StaticAnswer.h"

namespace {

struct Files {
  TempFolder folder;
  std::string small, large;  // one answer fits the worker's buffer, one does not
  TMimeTable mime;
  Files() {
    small = folder.Write("small.txt", Content(1000));
    large = folder.Write("large.bin", Content(20000));
  }
  static std::string Content(std::size_t size) {
    std::string content(size, ' ');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i * 7 % 26);
    return content;
  }
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

std::string HeaderOf(const std::string& head, const std::string& name) {
  const std::size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return std::string();
  const std::size_t from = at + name.size() + 4;
  return head.substr(from, head.find("\r\n", from) - from);
}

// A parsed date is printed and parsed again to the same second.
void CheckDateRoundTrip(const std::string& text) {
  const TDateTime t = TKestro::ParseHttpDate(text);
  if (t == 0) return;
  FUZZ_CHECK(TKestro::FormatDateTime(TKestro::ParseHttpDate(TKestro::HttpDate(t))) ==
             TKestro::FormatDateTime(t));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Files files;
  if (size == 0) return 0;
  static const char* const kMethods[] = {"GET", "HEAD", "POST", "GET"};
  const std::string method = kMethods[data[0] & 3];
  const std::string& path = data[0] & 4 ? files.large : files.small;
  const std::string content = Files::Content(data[0] & 4 ? 20000 : 1000);
  std::string headers(reinterpret_cast<const char*>(data + 1), size - 1);
  headers = Replaced(headers, "@E", TKestro::FileETag(path));
  headers = Replaced(headers, "@D", TKestro::HttpDate(TKestro::FileModifiedLocal(path)));
  CheckDateRoundTrip(headers);
  // A head as the reader leaves it: up to the first blank line, trimmed.
  const std::string head =
      TKestro::Trim(method + " /f HTTP/1.1\r\n" + headers.substr(0, headers.find("\r\n\r\n")));
  for (const char* name : {"IF_MODIFIED_SINCE", "UNLESS_MODIFIED_SINCE", "IF_RANGE"})
    CheckDateRoundTrip(TKestro::GetServerVar(name, head, "", "", "", ""));

  fuzz::SocketPair pair;
  fuzz::Worker worker(pair.server());
  worker.settings.mimeTable = &files.mime;
  TPhysicalPath mapped;
  mapped.kind = TPhysicalPath::Kind::kFile;
  mapped.file = path;
  const bool whole = SendStaticFile(worker.connection, mapped, method, ParseRequestHead(head),
                                    "Connection: close\r\n");
  const std::string answer = pair.ClientReceivesAll();
  FUZZ_CHECK(whole);
  const std::size_t end = answer.find("\r\n\r\n");
  FUZZ_CHECK(end != std::string::npos);
  const std::string answerHead = answer.substr(0, end + 2);
  const std::string body = answer.substr(end + 4);
  const int status = std::stoi(answer.substr(9, 3));
  const std::string length = HeaderOf(answerHead, "Content-Length");
  FUZZ_CHECK(length == std::to_string(method == "HEAD" ? content.size() : body.size()));
  switch (status) {
    case 200:
      FUZZ_CHECK(body == (method == "HEAD" ? std::string() : content));
      break;
    case 206: {
      // "bytes first-last/size", and the body is exactly those bytes.
      const std::string range = HeaderOf(answerHead, "Content-Range");
      const std::size_t dash = range.find('-'), slash = range.find('/');
      FUZZ_CHECK(method == "GET" && range.rfind("bytes ", 0) == 0 && dash != std::string::npos &&
                 slash != std::string::npos);
      const std::size_t first = std::stoul(range.substr(6, dash - 6));
      const std::size_t last = std::stoul(range.substr(dash + 1, slash - dash - 1));
      FUZZ_CHECK(range.substr(slash + 1) == std::to_string(content.size()));
      FUZZ_CHECK(first <= last && last < content.size() && !body.empty());
      FUZZ_CHECK(body == content.substr(first, last - first + 1));
      break;
    }
    case 304:
    case 416:
      FUZZ_CHECK(body.empty() && method != "HEAD");
      break;
    default:
      FUZZ_CHECK(!"a status of a static answer");
  }
  return 0;
}
