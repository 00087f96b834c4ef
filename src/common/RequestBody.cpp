#include "common/RequestBody.h"

#include <algorithm>

#include "platform/Files.h"

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
