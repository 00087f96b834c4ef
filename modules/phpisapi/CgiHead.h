// PHP's CGI header block, turned into a status text and header lines.
#pragma once
#include <cstddef>
#include <string>

namespace phpisapi {

struct CgiHead {
  std::string status = "200 OK";  // from a Status: line
  // Every other line, each ending in CR LF, but the body's framing: PHP's
  // Content-Length is kept apart, its Transfer-Encoding dropped (the module
  // frames the body itself).
  std::string headers;
  std::string contentLength;  // PHP's Content-Length line, with its CR LF; empty: none

  int Code() const;  // the status's number; 0 when it starts with none
  // 1xx, 204 and 304 answers end with their head, whatever follows.
  bool HasNoBody() const;
};

// Where the block ends in `output` (the blank line, CR LF or LF style):
// sets `bodyStart` and returns true, or false while the block is incomplete.
bool FindHeadEnd(const std::string& output, std::size_t& headLength, std::size_t& bodyStart);

CgiHead ParseCgiHead(const std::string& block);

}  // namespace phpisapi
