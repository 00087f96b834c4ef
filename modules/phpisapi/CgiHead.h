// PHP's CGI header block, turned into a status text and header lines.
#pragma once
#include <cstddef>
#include <string>

namespace phpisapi {

struct CgiHead {
  std::string status = "200 OK";  // from a Status: line
  std::string headers;            // every other line, each ending in CR LF
  bool hasContentLength = false;
};

// Where the block ends in `output` (the blank line, CR LF or LF style):
// sets `bodyStart` and returns true, or false while the block is incomplete.
bool FindHeadEnd(const std::string& output, std::size_t& headLength, std::size_t& bodyStart);

CgiHead ParseCgiHead(const std::string& block);

}  // namespace phpisapi
