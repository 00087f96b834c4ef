// What php-cgi sends back: FastCGI records cut from a stream that arrives in
// pieces, and the CGI header block of its output. The first byte picks the
// piece size and whether the rest is a record stream or output directly.
#include <cstdint>
#include <string>

#include "CgiHead.h"
#include "FastCgi.h"
#include "FuzzSupport.h"

namespace {

void CheckHead(const std::string& output) {
  std::size_t headLength = 0, bodyStart = 0;
  if (!phpisapi::FindHeadEnd(output, headLength, bodyStart)) return;
  FUZZ_CHECK(headLength <= bodyStart && bodyStart <= output.size());
  const phpisapi::CgiHead head = phpisapi::ParseCgiHead(output.substr(0, headLength));
  FUZZ_CHECK(!head.status.empty());
  // Header lines each end in CR LF and hold no other line break.
  for (std::size_t start = 0; start < head.headers.size();) {
    const std::size_t end = head.headers.find("\r\n", start);
    FUZZ_CHECK(end != std::string::npos && end > start);
    FUZZ_CHECK(head.headers.substr(start, end - start).find('\n') == std::string::npos);
    start = end + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + (data[0] >> 1);
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const std::size_t length = size - 1;
  if (!(data[0] & 1)) {
    CheckHead(std::string(rest, length));
    return 0;
  }
  phpisapi::fcgi::RecordReader reader;
  std::string output;
  std::size_t consumed = 0;
  for (std::size_t at = 0; at < length; at += piece) {
    reader.Feed(rest + at, at + piece < length ? piece : length - at);
    for (phpisapi::fcgi::Record record; reader.Next(record);) {
      FUZZ_CHECK(record.length <= phpisapi::fcgi::kMaxContent);
      consumed += 8 + record.length;
      FUZZ_CHECK(consumed <= length);
      if (record.type == phpisapi::fcgi::kStdout) output.append(record.content, record.length);
    }
  }
  CheckHead(output);
  return 0;
}
