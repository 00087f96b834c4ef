#include "FastCgi.h"

namespace phpisapi::fcgi {

namespace {

constexpr std::uint8_t kVersion = 1;
constexpr std::uint16_t kRequestId = 1;  // one request per connection at a time
constexpr std::size_t kHeaderSize = 8;
constexpr std::uint16_t kResponder = 1;
constexpr std::uint8_t kKeepConn = 1;

void AppendHeader(std::string& out, Type type, std::size_t length) {
  const char header[kHeaderSize] = {
      static_cast<char>(kVersion),      static_cast<char>(type),
      static_cast<char>(kRequestId >> 8), static_cast<char>(kRequestId & 0xFF),
      static_cast<char>(length >> 8),   static_cast<char>(length & 0xFF),
      0,                                0};
  out.append(header, kHeaderSize);
}

std::size_t LengthSize(std::size_t length) { return length < 128 ? 1 : 4; }

void AppendLength(std::string& out, std::size_t length) {
  if (length < 128) {
    out.push_back(static_cast<char>(length));
    return;
  }
  out.push_back(static_cast<char>(((length >> 24) & 0x7F) | 0x80));
  out.push_back(static_cast<char>((length >> 16) & 0xFF));
  out.push_back(static_cast<char>((length >> 8) & 0xFF));
  out.push_back(static_cast<char>(length & 0xFF));
}

// The length at `at` of a stream AppendLength wrote, and the place after it.
std::size_t ReadLength(const std::string& in, std::size_t& at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<std::size_t>(static_cast<unsigned char>(in[i]));
  };
  if (byte(at) < 128) return byte(at++);
  const std::size_t length =
      (byte(at) & 0x7F) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
  at += 4;
  return length;
}

}  // namespace

void AppendBeginRequest(std::string& out, bool keepConn) {
  AppendHeader(out, kBeginRequest, 8);
  const char body[8] = {0, static_cast<char>(kResponder), static_cast<char>(keepConn ? kKeepConn : 0),
                        0, 0, 0, 0, 0};
  out.append(body, sizeof body);
}

void AppendRecords(std::string& out, Type type, const char* data, std::size_t length) {
  do {
    const std::size_t piece = length < kMaxContent ? length : kMaxContent;
    AppendHeader(out, type, piece);
    out.append(data, piece);
    data += piece;
    length -= piece;
  } while (length > 0);
}

void AppendParam(std::string& params, const std::string& name, const std::string& value) {
  if (LengthSize(name.size()) + LengthSize(value.size()) + name.size() + value.size() > kMaxContent)
    return;
  AppendLength(params, name.size());
  AppendLength(params, value.size());
  params += name;
  params += value;
}

void AppendParamRecords(std::string& out, const std::string& params) {
  std::size_t start = 0;  // of the pairs the next record carries
  for (std::size_t at = 0; at < params.size();) {
    std::size_t next = at;
    const std::size_t name = ReadLength(params, next);
    const std::size_t value = ReadLength(params, next);
    next += name + value;
    if (next - start > kMaxContent) {
      AppendRecords(out, kParams, params.data() + start, at - start);
      start = at;
    }
    at = next;
  }
  if (start < params.size())
    AppendRecords(out, kParams, params.data() + start, params.size() - start);
  AppendRecords(out, kParams, nullptr, 0);
}

void RecordReader::Feed(const char* data, std::size_t length) {
  if (offset_ > 0) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  buffer_.append(data, length);
}

bool RecordReader::Next(Record& record) {
  if (buffer_.size() - offset_ < kHeaderSize) return false;
  const auto* h = reinterpret_cast<const unsigned char*>(buffer_.data() + offset_);
  const std::size_t length = (static_cast<std::size_t>(h[4]) << 8) | h[5];
  const std::size_t padding = h[6];
  const std::size_t total = kHeaderSize + length + padding;
  if (buffer_.size() - offset_ < total) return false;
  record.type = static_cast<Type>(h[1]);
  record.content = buffer_.data() + offset_ + kHeaderSize;
  record.length = length;
  offset_ += total;
  return true;
}

}  // namespace phpisapi::fcgi
