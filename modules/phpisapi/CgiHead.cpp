#include "CgiHead.h"

#include "common/StatusCode.h"  // header-only, as TextView.h: the module links none of the server's libraries
#include "common/TextView.h"

namespace phpisapi {

namespace {

bool NameIs(const std::string& name, const char* expected) {
  return text::EqualsNoCase(name, expected);
}

std::string Trim(const std::string& value) { return std::string(text::Trimmed(value)); }

// A length is one decimal number; lines that disagree make none.
void TakeLength(CgiHead& head, const std::string& line, const std::string& value,
                bool& lengthSeen) {
  std::uint64_t length = 0;
  const bool number = text::ParseDecimal(value, length) && length <= INT64_MAX;
  const bool agrees = !lengthSeen || head.declaredLength == static_cast<std::int64_t>(length);
  if (number && agrees && (!lengthSeen || head.declaredLength >= 0)) {
    head.declaredLength = static_cast<std::int64_t>(length);
  } else {
    head.declaredLength = -1;
    head.refused.push_back(line);
  }
  lengthSeen = true;
}

}  // namespace

bool FindHeadEnd(const std::string& output, std::size_t& headLength, std::size_t& bodyStart) {
  if (output.compare(0, 1, "\n") == 0 || output.compare(0, 2, "\r\n") == 0) {
    headLength = 0;  // no header lines at all
    bodyStart = output[0] == '\n' ? 1 : 2;
    return true;
  }
  // The first empty line: "\n\n" or "\n\r\n" after a line's end.
  for (std::size_t i = output.find('\n'); i != std::string::npos; i = output.find('\n', i + 1)) {
    if (i + 1 < output.size() && output[i + 1] == '\n') {
      headLength = i + 1;
      bodyStart = i + 2;
      return true;
    }
    if (i + 2 < output.size() && output[i + 1] == '\r' && output[i + 2] == '\n') {
      headLength = i + 1;
      bodyStart = i + 3;
      return true;
    }
  }
  return false;
}

int CgiHead::Code() const {
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (i >= status.size() || status[i] < '0' || status[i] > '9') return 0;
    code = code * 10 + (status[i] - '0');
  }
  return code;
}

bool CgiHead::HasNoBody() const {
  const int code = Code();
  return (code >= 100 && code < 200) || code == 204 || code == 304;
}

CgiHead ParseCgiHead(const std::string& block) {
  CgiHead head;
  bool lengthSeen = false;
  for (std::size_t start = 0; start < block.size();) {
    std::size_t end = block.find('\n', start);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string name = Trim(line.substr(0, colon));
    if (NameIs(name, "status")) {
      const std::string status = Trim(line.substr(colon + 1));
      if (NamesStatusCode(status))
        head.status = status;
      else
        head.refused.push_back(line);
      continue;
    }
    if (NameIs(name, "content-length"))
      TakeLength(head, line, Trim(line.substr(colon + 1)), lengthSeen);
    else if (!NameIs(name, "transfer-encoding") && !NameIs(name, "date"))
      head.headers += line + "\r\n";
  }
  return head;
}

}  // namespace phpisapi
