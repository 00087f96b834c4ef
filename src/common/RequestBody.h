// A request body as read before PHP runs: in memory up to a bound, the rest
// in a temporary file of the tree's that goes with the body; and the bound
// PHP's settings set on its length.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/FileStream.h"

// The largest body taken: the control block counts its length in 31 bits.
constexpr std::int64_t kMaxBodyBytes = 0x7FFFFFFF;
// PHP's own post_max_size when php.ini sets none.
constexpr std::int64_t kPhpDefaultPostMaxSize = std::int64_t{8} << 20;

// A php.ini quantity as PHP reads it ("64M", "512k", " 1 G", "0x100",
// "010"): the leading digits in the base their prefix names, times the
// multiplier its last character names (k, m or g, either case); 0 without
// digits. Saturates rather than overflows.
std::int64_t PhpIniQuantity(std::string_view value);

// The largest body PHP takes: `postMaxSize` is the php.ini value, null when
// php.ini sets none (PHP's default then). PHP sets no bound of its own for
// 0 or less; the body is never larger than kMaxBodyBytes.
std::int64_t BodyLimitOf(const std::string* postMaxSize);

class TRequestBody {
 public:
  // What a body keeps in memory; the PHP module gets it with the control block.
  static constexpr std::size_t kMemoryLimit = 1 << 20;

  // `spoolFolder`: where the bytes past kMemoryLimit go.
  explicit TRequestBody(std::string spoolFolder) : spoolFolder_(std::move(spoolFolder)) {}

  // False when the bytes past the memory bound could not be stored.
  bool Append(const char* data, std::size_t length);
  std::int64_t Size() const { return size_; }
  // The first bytes of the body: all of it unless it is larger than kMemoryLimit.
  const std::string& Head() const { return memory_; }
  // The next bytes after Head(), in order; 0 at the end, -1 on error.
  long ReadRest(void* buffer, std::size_t length);

 private:
  std::string spoolFolder_;
  std::string memory_;
  platform::FileStream spool_;
  std::int64_t size_ = 0;
  bool rewound_ = false;
};
