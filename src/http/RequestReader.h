// Reading one request head from a connection.
#pragma once
#include <string>

#include "http/Connection.h"

// The longest head accepted, blank line included.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;
// How long each wait for request bytes lasts.
constexpr long kRequestWaitMicroseconds = 5'000'000;
// How long a whole head may take from its first byte: a client that trickles
// a byte now and then would otherwise hold its worker for ever.
constexpr long kHeadTimeLimitMicroseconds = 20'000'000;

enum class HeadOutcome {
  kNothing,   // no byte within the wait, the peer closed, or the head took longer
              // than kHeadTimeLimitMicroseconds: close silently
  kComplete,  // `head` holds the request line and header lines, trimmed
  kTooLarge,  // no blank line within kMaxHeadBytes
};

// Reads up to the blank line that ends the head; a head cut short by a
// silent or closed peer counts as complete as far as it came. A POST head is
// read without taking any byte of its body from the socket.
HeadOutcome ReadRequestHead(const TConnection& connection, std::string& head);

// Waits up to `microseconds` for the socket to be readable; false on a
// time-out, an error or the worker's termination.
bool WaitForRequestBytes(const TConnection& connection, long microseconds);
