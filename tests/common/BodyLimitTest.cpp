// The bound on request bodies taken from the tree's post_max_size, read as
// PHP 8.2 reads the php.ini quantity (its answers to these values were seen
// with php-cgi -d post_max_size=...).
#include <gtest/gtest.h>

#include <string>

#include "common/RequestBody.h"

namespace {

TEST(BodyLimit, PostMaxSizeIsReadAsPhpReadsIt) {
  const struct Case {
    const char* value;  // null: php.ini sets none
    std::int64_t limit;
  } cases[] = {
      {nullptr, 8 << 20},        // PHP's own default
      {"64M", 64 << 20},   {"512k", 512 << 10}, {"1G", 1 << 30},     {"100", 100},
      {" 1 M ", 1 << 20},  {"1.5K", 1024},      {"5mb", 5},          {"0x10", 16},
      {"010", 8},          {"0b101", 5},        {"16M ; a comment", 16 << 20},
      // No bound of PHP's: the largest body the server takes.
      {"0", kMaxBodyBytes},  {"", kMaxBodyBytes},  {"-1", kMaxBodyBytes},  {"M", kMaxBodyBytes},
      // Past what the control block counts.
      {"2g", kMaxBodyBytes}, {"99999999999999999999G", kMaxBodyBytes},
  };
  for (const Case& c : cases) {
    const std::string value = c.value ? c.value : "";
    EXPECT_EQ(BodyLimitOf(c.value ? &value : nullptr), c.limit) << (c.value ? c.value : "(none)");
  }
}

}  // namespace
