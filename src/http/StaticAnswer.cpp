#include "http/StaticAnswer.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "common/KestroClass.h"
#include "http/FixedAnswers.h"
#include "http/MimeTable.h"
#include "platform/FileStream.h"
#include "platform/Files.h"

namespace {

// Refused when the file exists but cannot be read: nothing of a 200 has gone
// out yet, so the client learns it instead of getting a header and no body.
constexpr int kUnreadableStatus = 403;

// The first offset of the Range header; 0 (the whole file) unless it is a
// whole number from 1 to 2147483647.
std::int64_t RangeStart(const std::string& text) {
  const std::int64_t start = TKestro::StrToInt64Def(text, 0);
  return start < 1 || start > std::numeric_limits<std::int32_t>::max() ? 0 : start;
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
  return "HTTP/1.1 " + std::to_string(code) + "\r\nServer: " + kServerSoftware +
         "\r\nDate: " + TKestro::HttpDate(TKestro::NowLocal()) + "\r\nContent-Type: " +
         file.type + "\r\n";
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
              bool headOnly, const std::string& connectionLine) {
  std::string header = StatusAndDate(200, file) + "Content-Length: " +
                       std::to_string(file.size) + "\r\n" + EntityHeaderLines(file) +
                       connectionLine + "\r\n";
  if (headOnly) return platform::SendAll(c.socket, header.data(), header.size());
  return SendWithBody(c, std::move(header), body, 0, file.size);
}

bool SendPartial(const TConnection& c, platform::FileStream& body, const FileFacts& file,
                 std::int64_t start, const std::string& connectionLine) {
  std::string header = StatusAndDate(206, file) + "Content-Length: " +
                       std::to_string(file.size - start) + "\r\nContent-Range: bytes " +
                       std::to_string(start) + "-" + std::to_string(file.size - 1) + "/" +
                       std::to_string(file.size) + "\r\n" + EntityHeaderLines(file) +
                       connectionLine + "\r\n";
  return SendWithBody(c, std::move(header), body, start, file.size - start);
}

bool SendNotModified(const TConnection& c, const std::string& connectionLine) {
  SendFixedAnswer(c.socket, 304, connectionLine);
  return true;
}

bool SendRangeNotSatisfiable(const TConnection& c, const FileFacts& file,
                             const std::string& connectionLine) {
  SendFixedAnswer(c.socket, 416, connectionLine,
                  "Date: " + TKestro::HttpDate(TKestro::NowLocal()) +
                      "\r\nContent-Range: bytes */" + std::to_string(file.size) + "\r\n");
  return true;
}

}  // namespace

bool SendStaticFile(const TConnection& c, const std::string& localPath, const std::string& method,
                    const std::string& head, const std::string& connectionLine) {
  // The open file tells its size and date: the path is not looked up again.
  platform::FileStream body;
  platform::FileStamp stamp;
  if (!body.OpenRead(localPath, &stamp)) {
    SendFixedAnswer(c.socket, kUnreadableStatus, connectionLine);
    return true;
  }
  const TWorkerSettings& s = *c.settings;
  auto var = [&](const char* name) {
    return TKestro::GetServerVar(name, head, s.documentRoot, kServerSoftware, s.clientAddress,
                                 s.portText);
  };
  const TDateTime modified = TKestro::LocalFromUtcMs(stamp.lastWriteUtcMs);
  FileFacts file;
  file.size = stamp.size;
  file.lastModified = TKestro::HttpDate(modified);
  file.tag = TagOf(platform::ExpandFileName(localPath), file.lastModified);
  file.type = s.mimeTable->Lookup(localPath);
  const std::string fileDate = TKestro::FormatDateTime(modified);

  const std::string modifiedSince = var("IF_MODIFIED_SINCE");
  std::string clientDate =
      TKestro::FormatDateTime(modifiedSince.empty() ? 0 : TKestro::ParseHttpDate(modifiedSince));
  std::string clientTag = var("IF_NONE_MATCH");
  const std::int64_t start = RangeStart(var("RANGE"));
  if (start > 0) {  // a range request has validators of its own
    const std::string unlessModified = var("UNLESS_MODIFIED_SINCE");
    clientDate = unlessModified.empty()
                     ? fileDate
                     : TKestro::FormatDateTime(TKestro::ParseHttpDate(unlessModified));
    clientTag = var("IF_RANGE");
    if (clientTag.empty()) clientTag = file.tag;
  }
  const bool validatorsMatch = clientDate == fileDate && clientTag == file.tag;

  if (method == "GET" && start > 0 && validatorsMatch)
    return start >= file.size ? SendRangeNotSatisfiable(c, file, connectionLine)
                              : SendPartial(c, body, file, start, connectionLine);
  if ((method == "GET" || method == "POST") && validatorsMatch)
    return SendNotModified(c, connectionLine);
  return SendFull(c, body, file, method == "HEAD", connectionLine);
}
