// What php-cgi sends back: FastCGI records cut from a stream that arrives in
// pieces, and the CGI header block of its output. The first byte picks the
// piece size and whether the rest is a record stream or output directly.
// With a record stream, the rest also makes variables for php-cgi, whose
// params records must each hold whole pairs.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CgiHead.h"
#include "common/StatusCode.h"
#include "FastCgi.h"
#include "FuzzSupport.h"

namespace {

void CheckHead(const std::string& output) {
  std::size_t headLength = 0, bodyStart = 0;
  if (!phpisapi::FindHeadEnd(output, headLength, bodyStart)) return;
  FUZZ_CHECK(headLength <= bodyStart && bodyStart <= output.size());
  const phpisapi::CgiHead head = phpisapi::ParseCgiHead(output.substr(0, headLength));
  // Whatever PHP wrote, the status line names a code and the head carries
  // no framing of PHP's own.
  FUZZ_CHECK(NamesStatusCode(head.status));
  // Header lines each end in CR LF and hold no other line break.
  for (std::size_t start = 0; start < head.headers.size();) {
    const std::size_t end = head.headers.find("\r\n", start);
    FUZZ_CHECK(end != std::string::npos && end > start);
    FUZZ_CHECK(head.headers.substr(start, end - start).find('\n') == std::string::npos);
    FUZZ_CHECK(!text::EqualsNoCase(std::string_view(head.headers).substr(start, 15), "content-length:"));
    start = end + 2;
  }
}

// Reads one length of a params stream at `at`; false past its end.
bool ReadLength(const char* data, std::size_t size, std::size_t& at, std::size_t& length) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  if (at >= size || (p[at] >= 0x80 && at + 4 > size)) return false;
  if (p[at] < 0x80) {
    length = p[at++];
    return true;
  }
  length = (std::size_t{p[at] & 0x7Fu} << 24) | (std::size_t{p[at + 1]} << 16) |
           (std::size_t{p[at + 2]} << 8) | p[at + 3];
  at += 4;
  return true;
}

// Pairs of up to 8 names with values of up to 76500 bytes: every pair whose
// value has 65400 bytes or fewer reaches php-cgi, each inside one record.
void CheckParamRecords(const std::uint8_t* data, std::size_t size) {
  std::vector<std::pair<std::string, std::string>> sent;
  std::string params;
  for (std::size_t at = 0; at + 1 < size && at < 16; at += 2) {
    std::string name(1 + data[at] % 16, static_cast<char>('A' + data[at] % 26));
    std::string value(std::size_t{data[at + 1]} * 300, 'v');
    phpisapi::fcgi::AppendParam(params, name, value);
    if (value.size() <= 65400) sent.emplace_back(std::move(name), std::move(value));
  }
  std::string out;
  phpisapi::fcgi::AppendParamRecords(out, params);
  phpisapi::fcgi::RecordReader reader;
  reader.Feed(out.data(), out.size());
  std::size_t next = 0;
  bool ended = false;
  for (phpisapi::fcgi::Record record; reader.Next(record);) {
    FUZZ_CHECK(!ended && record.type == phpisapi::fcgi::kParams);
    ended = record.length == 0;
    for (std::size_t at = 0; at < record.length;) {
      std::size_t name = 0, value = 0;
      FUZZ_CHECK(ReadLength(record.content, record.length, at, name) &&
                 ReadLength(record.content, record.length, at, value));
      FUZZ_CHECK(name + value <= record.length - at && next < sent.size());
      FUZZ_CHECK(std::string(record.content + at, name) == sent[next].first);
      FUZZ_CHECK(std::string(record.content + at + name, value) == sent[next].second);
      at += name + value;
      ++next;
    }
  }
  FUZZ_CHECK(ended && next == sent.size());
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
  CheckParamRecords(data + 1, length);
  return 0;
}
