#include "http/StaticAnswer.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "common/HttpRequest.h"
#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/FixedAnswers.h"
#include "http/MimeTable.h"
#include "platform/FileStream.h"
#include "platform/Files.h"

namespace {

// Refused when the file exists but cannot be read: nothing of a 200 has gone
// out yet, so the client learns it instead of getting a header and no body.
constexpr int kUnreadableStatus = 403;

// The one byte range asked for ("bytes=first-last", "bytes=first-",
// "bytes=-suffix"); none for another unit, several ranges or a malformed
// value, which all get the whole file.
struct ByteRange {
  bool asked = false;
  std::int64_t first = 0, last = -1;  // a last of -1: to the end
  std::int64_t suffix = -1;           // "bytes=-suffix"
};

// More digits than any file's size: a malformed range.
constexpr std::size_t kMaxCountDigits = 18;

bool ParseCount(std::string_view digits, std::int64_t& value) {
  std::uint64_t count = 0;
  if (digits.size() > kMaxCountDigits || !text::ParseDecimal(digits, count)) return false;
  value = static_cast<std::int64_t>(count);
  return true;
}

ByteRange RangeOf(const THttpRequest& request) {
  ByteRange range;
  const std::string* header = request.Header("Range");
  if (!header) return range;
  const std::string_view value = *header;
  const std::size_t equals = value.find('=');
  if (equals == std::string_view::npos ||
      !text::EqualsNoCase(text::Trimmed(value.substr(0, equals)), "bytes"))
    return range;
  const std::string_view spec = text::Trimmed(value.substr(equals + 1));
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) return range;
  const std::string_view from = text::Trimmed(spec.substr(0, dash));
  const std::string_view to = text::Trimmed(spec.substr(dash + 1));
  if (from.empty()) {
    range.asked = ParseCount(to, range.suffix);
    return range;
  }
  if (!ParseCount(from, range.first)) return range;
  if (!to.empty() && (!ParseCount(to, range.last) || range.last < range.first)) return range;
  range.asked = true;
  return range;
}

// The range's first and last byte in a file of `size` bytes; false when no
// byte of the file is in it.
bool Resolve(const ByteRange& range, std::int64_t size, std::int64_t& first, std::int64_t& last) {
  if (range.suffix >= 0) {
    first = std::max<std::int64_t>(0, size - range.suffix);
    last = size - 1;
    return range.suffix > 0 && size > 0;
  }
  first = range.first;
  last = range.last < 0 || range.last >= size ? size - 1 : range.last;
  return first < size;
}

// The tag of the file this thread answered last, kept: a file asked for again
// and again is digested once for each of its versions.
const std::string& TagOf(const std::string& absolutePath, const std::string& lastModified) {
  thread_local std::string path, modified, tag;
  if (path != absolutePath || modified != lastModified) {
    tag = TKestro::EntityTag(absolutePath, lastModified);
    path = absolutePath;
    modified = lastModified;
  }
  return tag;
}

struct FileFacts {
  std::int64_t size = 0;
  std::string lastModified;  // HTTP date
  std::string tag;           // without quotes
  std::string type;
};

std::string EntityHeaderLines(const FileFacts& file) {
  return "Last-Modified: " + file.lastModified + "\r\nETag: \"" + file.tag +
         "\"\r\nAccept-Ranges: bytes\r\n";
}

std::string StatusAndDate(int code, const FileFacts& file) {
  return StatusLine(code) + ServerAndDateLines(kServerSoftware) + "Content-Type: " + file.type +
         "\r\n";
}

// A body that fits the buffer leaves with its header in one send; a larger
// one follows the header straight from the file.
bool SendWithBody(const TConnection& c, std::string header, platform::FileStream& body,
                  std::int64_t offset, std::int64_t length) {
  std::vector<char>& buffer = *c.buffer;
  if (length > static_cast<std::int64_t>(buffer.size()))
    return platform::SendAll(c.socket, header.data(), header.size(), true) &&
           platform::SendFile(c.socket, body, offset, length, buffer);
  if (offset > 0 && !body.Seek(offset)) return false;  // a file opened for this answer is at 0
  for (std::int64_t left = length; left > 0;) {
    const long read = body.Read(buffer.data(), static_cast<std::size_t>(left));
    if (read <= 0) return false;  // the file shrank: the answer would be short
    header.append(buffer.data(), static_cast<std::size_t>(read));
    left -= read;
  }
  return platform::SendAll(c.socket, header.data(), header.size());
}

bool SendFull(const TConnection& c, platform::FileStream& body, const FileFacts& file,
              bool headOnly, const std::string& connectionLine, int status = 200) {
  std::string header = StatusAndDate(status, file) + "Content-Length: " +
                       std::to_string(file.size) + "\r\n" + EntityHeaderLines(file) +
                       connectionLine + "\r\n";
  if (headOnly) return platform::SendAll(c.socket, header.data(), header.size());
  return SendWithBody(c, std::move(header), body, 0, file.size);
}

bool SendPartial(const TConnection& c, platform::FileStream& body, const FileFacts& file,
                 std::int64_t first, std::int64_t last, const std::string& connectionLine) {
  std::string header = StatusAndDate(206, file) + "Content-Length: " +
                       std::to_string(last - first + 1) + "\r\nContent-Range: bytes " +
                       std::to_string(first) + "-" + std::to_string(last) + "/" +
                       std::to_string(file.size) + "\r\n" + EntityHeaderLines(file) +
                       connectionLine + "\r\n";
  return SendWithBody(c, std::move(header), body, first, last - first + 1);
}

bool SendNotModified(const TConnection& c, const std::string& connectionLine) {
  SendFixedAnswer(c.socket, 304, connectionLine);
  return true;
}

bool SendRangeNotSatisfiable(const TConnection& c, const FileFacts& file,
                             const std::string& connectionLine) {
  SendFixedAnswer(c.socket, 416, connectionLine,
                  "Content-Range: bytes */" + std::to_string(file.size) + "\r\n");
  return true;
}

}  // namespace

bool SendStaticFile(const TConnection& c, const TPhysicalPath& mapped, const std::string& method,
                    const THttpRequest& request, const std::string& connectionLine,
                    int errorStatus, const std::string& type) {
  const std::string& localPath = mapped.file;
  // The open file tells its size and date: the path is not looked up again.
  platform::FileStream body;
  platform::FileStamp stamp;
  if (!body.OpenRead(localPath, &stamp)) {
    SendFixedAnswer(c.socket, kUnreadableStatus, connectionLine, std::string(), method == "HEAD");
    return true;
  }
  const TWorkerSettings& s = *c.settings;
  auto var = [&](const char* name) {
    return TKestro::GetServerVar(name, request, mapped.documentRoot, kServerSoftware, s.clientAddress,
                                 s.portText);
  };
  const TDateTime modified = TKestro::LocalFromUtcMs(stamp.lastWriteUtcMs);
  FileFacts file;
  file.size = stamp.size;
  file.lastModified = TKestro::HttpDate(modified);
  file.tag = TagOf(platform::ExpandFileName(localPath), file.lastModified);
  file.type = type.empty() ? s.mimeTable->Lookup(localPath) : type;
  const std::string fileDate = TKestro::FormatDateTime(modified);
  if (errorStatus) return SendFull(c, body, file, method == "HEAD", connectionLine, errorStatus);

  const std::string modifiedSince = var("IF_MODIFIED_SINCE");
  std::string clientDate =
      TKestro::FormatDateTime(modifiedSince.empty() ? 0 : TKestro::ParseHttpDate(modifiedSince));
  std::string clientTag = var("IF_NONE_MATCH");
  const ByteRange range = RangeOf(request);
  if (range.asked) {  // a range request has validators of its own
    const std::string unlessModified = var("UNLESS_MODIFIED_SINCE");
    clientDate = unlessModified.empty()
                     ? fileDate
                     : TKestro::FormatDateTime(TKestro::ParseHttpDate(unlessModified));
    clientTag = var("IF_RANGE");
    if (clientTag.empty()) clientTag = file.tag;
  }
  const bool validatorsMatch = clientDate == fileDate && clientTag == file.tag;

  if (method == "GET" && range.asked && validatorsMatch) {
    std::int64_t first = 0, last = 0;
    return Resolve(range, file.size, first, last)
               ? SendPartial(c, body, file, first, last, connectionLine)
               : SendRangeNotSatisfiable(c, file, connectionLine);
  }
  if ((method == "GET" || method == "POST") && validatorsMatch)
    return SendNotModified(c, connectionLine);
  return SendFull(c, body, file, method == "HEAD", connectionLine);
}
