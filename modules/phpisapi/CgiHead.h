// PHP's CGI header block, turned into a status text and header lines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace phpisapi {

struct CgiHead {
  std::string status = "200 OK";  // from a Status: line that names a code 100-599
  // Every other line, each ending in CR LF, but the body's framing and the
  // date, which are the server's: PHP's Content-Length is kept apart as a
  // number, Transfer-Encoding and Date are dropped.
  std::string headers;
  std::int64_t declaredLength = -1;  // PHP's Content-Length; -1: none, or not one number
  std::vector<std::string> refused;  // PHP's lines that were not passed on, for the log

  int Code() const;  // the status's number; 0 when it starts with none
  // 1xx, 204 and 304 answers end with their head, whatever follows.
  bool HasNoBody() const;
};

// Where the block ends in `output` (the blank line, CR LF or LF style):
// sets `bodyStart` and returns true, or false while the block is incomplete.
bool FindHeadEnd(const std::string& output, std::size_t& headLength, std::size_t& bodyStart);

CgiHead ParseCgiHead(const std::string& block);

}  // namespace phpisapi
