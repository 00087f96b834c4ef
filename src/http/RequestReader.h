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
// While the pool is crowded, how long a connection may wait for a whole head
// from when its wait began: the connections that hold workers with nothing
// to serve yet make room within seconds.
constexpr long kCrowdedHeadMicroseconds = 2'000'000;
// A body has this long to begin; from then on every kBodyWindowSeconds
// must bring kMinBodyBytesPerSecond for each of its seconds (body bytes:
// chunk framing does not count). What came before buys no time, so a client
// that stalls is let go within a window, however much it sent.
constexpr int kBodyGraceSeconds = 10;
constexpr int kBodyWindowSeconds = 5;
constexpr std::int64_t kMinBodyBytesPerSecond = 512;

enum class HeadOutcome {
  kNothing,   // no byte within the wait, or the peer closed: close silently
  kComplete,  // `head` holds the request line and header lines, trimmed
  kTooLarge,  // no blank line within kMaxHeadBytes
  kTimedOut,  // the head took longer than kHeadTimeLimitMicroseconds, or
              // than kCrowdedHeadMicroseconds while the pool was crowded
};

// Reads up to the blank line that ends the head; a head cut short by a
// silent or closed peer counts as complete as far as it came.
HeadOutcome ReadRequestHead(const TConnection& connection, std::string& head);

enum class BodyOutcome {
  kComplete,
  kBroken,    // the peer closed, failed or fell behind the body's pace
  kMalformed, // a chunked body that breaks its framing
  kTooLarge,  // more than the connection's maxBodyBytes
  kNotStored, // the part past memory could not be written
};

// Reads the whole body that `request` frames into `body` at the pace above;
// a chunked body is decoded, and its length is then set as
// `request.contentLength`. A declared length past the bound is refused
// before a byte is read, and before a client that expects it is told to
// go on with "100 Continue".
BodyOutcome ReadRequestBody(const TConnection& connection, THttpRequest& request,
                            TRequestBody& body);

// Before a refused request's connection is closed: takes and drops what the
// client still sends, for two seconds at most, until it pauses or closes, so
// that the close does not reset the connection before the answer is read.
void DrainBeforeClose(const TConnection& connection);

