// Decoding a chunked request body as its bytes arrive.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TChunkedDecoder {
 public:
  enum class Status { kMore, kDone, kMalformed };

  // Takes bytes of the stream from `data`; the body bytes among them are
  // appended to `out`. `consumed` tells how many bytes of `data` belonged to
  // the body's framing and data: after kDone, the rest is the next request's.
  Status Feed(std::string_view data, std::size_t& consumed, std::string& out);

 private:
  enum class State { kSize, kData, kDataEnd, kTrailer, kDone };
  Status EndOfLine();

  State state_ = State::kSize;
  std::string line_;        // the size or trailer line read so far
  std::int64_t left_ = 0;   // data bytes still to come in this chunk
};
