// A request body as read before PHP runs: in memory up to a bound, the rest
// in a temporary file of the tree's that goes with the body.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/FileStream.h"

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
