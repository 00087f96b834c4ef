#include "common/RequestBody.h"

#include <algorithm>
#include <cstdint>

#include "common/TextView.h"
#include "platform/Files.h"

namespace {

// Past this a quantity stays put: a kilobyte more would overflow.
constexpr std::int64_t kSaturated = INT64_MAX / 1024;

// How many times the last character multiplies by 1024: k 1, m 2, g 3.
int MultiplierPowers(std::string_view text) {
  if (text.empty()) return 0;
  switch (text::LowerAscii(text.back())) {
    case 'k': return 1;
    case 'm': return 2;
    case 'g': return 3;
    default: return 0;
  }
}

}  // namespace

std::int64_t PhpIniQuantity(std::string_view value) {
  const std::string_view text = text::Trimmed(value);
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    const char prefix = text::LowerAscii(text[i + 1]);
    if (prefix == 'x' || prefix == 'o' || prefix == 'b') {
      base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : 2;
      i += 2;
    } else if (text::IsDigit(text[i + 1])) {
      base = 8;  // a leading zero, as C reads it
    }
  }
  std::int64_t number = 0;
  for (; i < text.size(); ++i) {
    const int digit = text::HexDigitValue(text[i]);
    if (digit < 0 || digit >= base) break;
    number = std::min(kSaturated, number * base + digit);
  }
  for (int powers = MultiplierPowers(text); powers > 0; --powers)
    number = std::min(kSaturated, number) * 1024;
  return negative ? -number : number;
}

std::int64_t BodyLimitOf(const std::string* postMaxSize) {
  if (!postMaxSize) return kPhpDefaultPostMaxSize;
  // A comment after the value is PHP's to drop.
  const std::string_view value = std::string_view(*postMaxSize).substr(0, postMaxSize->find(';'));
  const std::int64_t bytes = PhpIniQuantity(value);
  return bytes <= 0 ? kMaxBodyBytes : std::min(bytes, kMaxBodyBytes);
}

bool TRequestBody::Append(const char* data, std::size_t length) {
  const std::size_t inMemory = std::min(length, kMemoryLimit - memory_.size());
  memory_.append(data, inMemory);
  size_ += static_cast<std::int64_t>(length);
  if (inMemory == length) return true;
  // The folder is made when missing: a body must not fail for want of it.
  if (!spool_.IsOpen() && !spool_.OpenTemporary(spoolFolder_) &&
      !(platform::CreateDir(spoolFolder_) && spool_.OpenTemporary(spoolFolder_)))
    return false;
  return spool_.Write(data + inMemory, length - inMemory);
}

long TRequestBody::ReadRest(void* buffer, std::size_t length) {
  if (!spool_.IsOpen()) return 0;
  if (!rewound_) {
    if (!spool_.Seek(0)) return -1;
    rewound_ = true;
  }
  return spool_.Read(buffer, length);
}
