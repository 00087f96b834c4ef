// FastCGI records: what the module writes to php-cgi and reads back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace phpisapi::fcgi {

enum Type : std::uint8_t {
  kBeginRequest = 1,
  kAbortRequest = 2,
  kEndRequest = 3,
  kParams = 4,
  kStdin = 5,
  kStdout = 6,
  kStderr = 7,
};

constexpr std::uint8_t kRequestComplete = 0;  // protocol status of an end record
constexpr std::size_t kMaxContent = 65535;

// A begin record for the responder role; keepConn asks php-cgi to keep the
// connection for the next request.
void AppendBeginRequest(std::string& out, bool keepConn);
// Records of `type` carrying the bytes, split at the record size; an empty
// record (the end of a stream) when length is 0.
void AppendRecords(std::string& out, Type type, const char* data, std::size_t length);
// One name-value pair of a params stream. php-cgi reads each pair from within
// one record, so a pair too long for one record's content is left out.
void AppendParam(std::string& params, const std::string& name, const std::string& value);
// The pairs that AppendParam made as params records, each cut between two
// pairs, then the empty record that ends the stream.
void AppendParamRecords(std::string& out, const std::string& params);

struct Record {
  Type type = kStdout;
  const char* content = nullptr;
  std::size_t length = 0;
};

// Cuts records out of the bytes received so far.
class RecordReader {
 public:
  void Feed(const char* data, std::size_t length);
  // The next whole record; its content stays valid until the next Feed.
  bool Next(Record& record);

 private:
  std::string buffer_;
  std::size_t offset_ = 0;
};

}  // namespace phpisapi::fcgi
