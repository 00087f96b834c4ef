// Reading one request head, and the body of a request that has one, from a
// connection. Bytes that arrive past them stay in the connection's pending
// cell for the next request, so pipelined requests are served in order.
#pragma once
#include <string>

#include "common/HttpRequest.h"
#include "common/RequestBody.h"
#include "http/Connection.h"

// The longest head accepted, blank line included.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;
// How long each wait for request bytes lasts.
constexpr long kRequestWaitMicroseconds = 5'000'000;
// How long a whole head may take from its first byte: a client that trickles
// a byte now and then would otherwise hold its worker for ever.
constexpr long kHeadTimeLimitMicroseconds = 20'000'000;
// The largest body taken: the control block counts its length in 31 bits.
constexpr std::int64_t kMaxBodyBytes = 0x7FFFFFFF;

enum class HeadOutcome {
  kNothing,   // no byte within the wait, or the peer closed: close silently
  kComplete,  // `head` holds the request line and header lines, trimmed
  kTooLarge,  // no blank line within kMaxHeadBytes
  kTimedOut,  // the head took longer than kHeadTimeLimitMicroseconds
};

// Reads up to the blank line that ends the head; a head cut short by a
// silent or closed peer counts as complete as far as it came.
HeadOutcome ReadRequestHead(const TConnection& connection, std::string& head);

enum class BodyOutcome {
  kComplete,
  kBroken,    // the peer closed, failed or was too slow before the body's end
  kMalformed, // a chunked body that breaks its framing
  kTooLarge,  // more than kMaxBodyBytes
  kNotStored, // the part past memory could not be written
};

// Reads the whole body that `request` frames into `body`, within a deadline
// that grows with the bytes that came; a chunked body is decoded, and its
// length is then set as `request.contentLength`.
BodyOutcome ReadRequestBody(const TConnection& connection, THttpRequest& request,
                            TRequestBody& body);

