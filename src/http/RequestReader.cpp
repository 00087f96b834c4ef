#include "http/RequestReader.h"

#include <algorithm>
#include <chrono>

#include "common/KestroClass.h"
#include "http/ChunkedDecoder.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kBlankLine = "\r\n\r\n";
// A body has this long to begin, and one second more for every
// kBodyBytesPerSecond that came: a slow line keeps its upload, a client
// that trickles a byte now and then does not keep its worker.
constexpr auto kBodyGrace = std::chrono::seconds(30);
constexpr std::int64_t kBodyBytesPerSecond = 64 * 1024;

// Where the head ends in `head` (after the blank line), searching only the
// bytes from `from` on; npos when it does not end yet.
std::size_t HeadEnd(const std::string& head, std::size_t from) {
  const std::size_t start = from < kBlankLine.size() ? 0 : from - (kBlankLine.size() - 1);
  const std::size_t found = head.find(kBlankLine, start);
  return found == std::string::npos ? found : found + kBlankLine.size();
}

// Empty lines before a request line are passed over.
void DropLeadingLineEnds(std::string& bytes) {
  bytes.erase(0, bytes.find_first_not_of("\r\n"));
}

long Appended(long received, const std::vector<char>& buffer, std::string& into) {
  if (received > 0) into.append(buffer.data(), static_cast<std::size_t>(received));
  return received;
}

long MicrosecondsLeft(Clock::time_point deadline) {
  return static_cast<long>(std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count()));
}

// Bytes that are already there are taken without a wait; only when none are
// does the thread wait for them, about `microseconds` at most, in slices that
// look at the worker's stop flag. kNoBytesYet then means that nothing came
// (or the worker is terminating). `likelyThere` false: the wait comes first,
// as the bytes are seldom there yet.
long ReceiveWhenThere(const TConnection& c, long microseconds, std::string& into,
                      bool likelyThere = true) {
  std::vector<char>& buffer = *c.buffer;
  if (likelyThere) {
    const long got = platform::Recv(c.socket, buffer.data(), buffer.size(), false);
    if (got != platform::kNoBytesYet) return Appended(got, buffer, into);
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(microseconds);
  while (!c.terminating->load()) {
    const long got = platform::RecvWithinSlice(c.socket, buffer.data(), buffer.size());
    if (got != platform::kNoBytesYet) return Appended(got, buffer, into);
    if (Clock::now() >= deadline) break;
  }
  return platform::kNoBytesYet;
}

// The next bytes of a body into the pending cell; false when none came in
// time or the peer is gone.
bool ReceiveBodyBytes(const TConnection& c, Clock::time_point deadline) {
  const long left = MicrosecondsLeft(deadline);
  return left > 0 && ReceiveWhenThere(c, left, *c.pending) > 0 && !c.terminating->load();
}

Clock::time_point Extended(Clock::time_point deadline, std::int64_t bytes) {
  return deadline + std::chrono::microseconds(bytes * 1'000'000 / kBodyBytesPerSecond);
}

BodyOutcome ReadLengthBody(const TConnection& c, std::int64_t length, TRequestBody& body) {
  if (length > kMaxBodyBytes) return BodyOutcome::kTooLarge;
  std::string& pending = *c.pending;
  Clock::time_point deadline = Clock::now() + kBodyGrace;
  for (std::int64_t left = length; left > 0;) {
    if (pending.empty() && !ReceiveBodyBytes(c, deadline)) return BodyOutcome::kBroken;
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::int64_t>(left, static_cast<std::int64_t>(pending.size())));
    if (!body.Append(pending.data(), take)) return BodyOutcome::kNotStored;
    pending.erase(0, take);
    left -= static_cast<std::int64_t>(take);
    deadline = Extended(deadline, static_cast<std::int64_t>(take));
  }
  return BodyOutcome::kComplete;
}

BodyOutcome ReadChunkedBody(const TConnection& c, TRequestBody& body) {
  std::string& pending = *c.pending;
  TChunkedDecoder decoder;
  std::string decoded;
  Clock::time_point deadline = Clock::now() + kBodyGrace;
  for (;;) {
    if (pending.empty() && !ReceiveBodyBytes(c, deadline)) return BodyOutcome::kBroken;
    std::size_t consumed = 0;
    decoded.clear();
    const TChunkedDecoder::Status status = decoder.Feed(pending, consumed, decoded);
    pending.erase(0, consumed);
    if (status == TChunkedDecoder::Status::kMalformed) return BodyOutcome::kMalformed;
    if (body.Size() + static_cast<std::int64_t>(decoded.size()) > kMaxBodyBytes)
      return BodyOutcome::kTooLarge;
    if (!body.Append(decoded.data(), decoded.size())) return BodyOutcome::kNotStored;
    deadline = Extended(deadline, static_cast<std::int64_t>(consumed));
    if (status == TChunkedDecoder::Status::kDone) return BodyOutcome::kComplete;
  }
}

}  // namespace

HeadOutcome ReadRequestHead(const TConnection& c, std::string& head) {
  std::string& bytes = *c.pending;
  head.clear();
  DropLeadingLineEnds(bytes);
  if (bytes.empty()) {
    // A new connection comes with its request; the next one on a kept
    // connection follows only once the client has read the answer.
    const long received = ReceiveWhenThere(c, kRequestWaitMicroseconds, bytes, !c.servedBefore);
    DropLeadingLineEnds(bytes);
    if (received <= 0 || bytes.empty() || c.terminating->load()) return HeadOutcome::kNothing;
  }
  const Clock::time_point deadline =
      Clock::now() + std::chrono::microseconds(kHeadTimeLimitMicroseconds);

  std::size_t end = HeadEnd(bytes, 0);
  while (end == std::string::npos && bytes.size() <= kMaxHeadBytes) {
    const std::size_t searched = bytes.size();
    const long left = MicrosecondsLeft(deadline);
    if (left <= 0) return HeadOutcome::kTimedOut;
    const long got = ReceiveWhenThere(c, std::min(kRequestWaitMicroseconds, left), bytes);
    // Silence for a whole wait ends the head; the time limit refuses it.
    if (got == platform::kNoBytesYet) {
      if (Clock::now() >= deadline && !c.terminating->load()) return HeadOutcome::kTimedOut;
      break;
    }
    if (got <= 0) break;
    end = HeadEnd(bytes, searched);
  }
  if (end == std::string::npos ? bytes.size() > kMaxHeadBytes : end > kMaxHeadBytes) {
    head.swap(bytes);
    return HeadOutcome::kTooLarge;
  }
  // A head cut short takes all that came; otherwise what follows its blank
  // line is the body or the next request.
  const std::size_t taken = end == std::string::npos ? bytes.size() : end;
  head = TKestro::Trim(bytes.substr(0, taken));
  bytes.erase(0, taken);
  return HeadOutcome::kComplete;
}

BodyOutcome ReadRequestBody(const TConnection& c, THttpRequest& request, TRequestBody& body) {
  switch (request.framing) {
    case TBodyFraming::kNone:
      return BodyOutcome::kComplete;
    case TBodyFraming::kLength:
      return ReadLengthBody(c, request.contentLength, body);
    case TBodyFraming::kChunked:
      break;
  }
  const BodyOutcome outcome = ReadChunkedBody(c, body);
  request.contentLength = body.Size();
  return outcome;
}
