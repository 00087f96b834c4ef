// The operating-system calls under Channel; posix/ and win32/ implement them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "Os.h"

namespace phpisapi::detail {

constexpr long kWouldBlock = -2;

void CloseStream(std::intptr_t handle);
// One send without waiting: bytes sent (> 0), kWouldBlock, or -1 on failure.
long SendSome(std::intptr_t handle, const char* data, std::size_t length);
// Waits until the stream takes more bytes: 1 ready, 0 timed out, -1 failed.
int WaitWritable(std::intptr_t handle, Clock::time_point deadline);
// Bytes received (> 0), or Channel::kClosed, kFailed, kTimedOut.
long ReceiveUntil(std::intptr_t handle, void* buffer, std::size_t length,
                  Clock::time_point deadline);
// Stops reading, so the peer's writes fail; false where Unsent can't be known.
bool StopReading(std::intptr_t handle);
// Bytes sent that the peer has not read yet (0 when unknown or closed).
std::size_t Unsent(std::intptr_t handle);

}  // namespace phpisapi::detail
