#include "http/ChunkedDecoder.h"

#include <algorithm>

#include "common/TextView.h"

namespace {

// A size line or trailer line longer than this is no honest client's.
constexpr std::size_t kMaxLineBytes = 4096;
// Sixteen hex digits would overflow the count.
constexpr std::size_t kMaxSizeDigits = 15;

// The chunk size of a size line (without its CR LF): hex digits, then
// optionally blanks and extensions after ";"; -1 when it is none.
std::int64_t ChunkSize(const std::string& line) {
  std::int64_t size = 0;
  std::size_t i = 0;
  for (; i < line.size() && text::HexDigitValue(line[i]) >= 0; ++i)
    size = size * 16 + text::HexDigitValue(line[i]);
  if (i == 0 || i > kMaxSizeDigits) return -1;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return i == line.size() || line[i] == ';' ? size : -1;
}

}  // namespace

TChunkedDecoder::Status TChunkedDecoder::EndOfLine() {
  // A line is ended by CR LF; a lone CR or LF inside it is refused.
  if (line_.size() < 2 || line_[line_.size() - 2] != '\r' ||
      line_.find_first_of("\r\n") != line_.size() - 2)
    return Status::kMalformed;
  line_.resize(line_.size() - 2);
  if (state_ == State::kSize) {
    left_ = ChunkSize(line_);
    if (left_ < 0) return Status::kMalformed;
    state_ = left_ == 0 ? State::kTrailer : State::kData;
  } else if (state_ == State::kDataEnd) {
    if (!line_.empty()) return Status::kMalformed;
    state_ = State::kSize;
  } else if (line_.empty()) {  // the blank line after the trailers
    state_ = State::kDone;
  }
  line_.clear();
  return Status::kMore;
}

TChunkedDecoder::Status TChunkedDecoder::Feed(std::string_view data, std::size_t& consumed,
                                              std::string& out) {
  consumed = 0;
  while (consumed < data.size() && state_ != State::kDone) {
    if (state_ == State::kData) {
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::int64_t>(left_, data.size() - consumed));
      out.append(data.substr(consumed, take));
      consumed += take;
      left_ -= static_cast<std::int64_t>(take);
      if (left_ == 0) state_ = State::kDataEnd;
      continue;
    }
    const char c = data[consumed++];
    line_ += c;
    if (line_.size() > kMaxLineBytes) return Status::kMalformed;
    if (c == '\n' && EndOfLine() == Status::kMalformed) return Status::kMalformed;
  }
  return state_ == State::kDone ? Status::kDone : Status::kMore;
}
