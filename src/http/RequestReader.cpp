#include "http/RequestReader.h"

#include <algorithm>
#include <chrono>

#include "common/HttpStatus.h"
#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/ChunkedDecoder.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

const std::string kBlankLine = "\r\n\r\n";
// How often a wait for a head looks again whether the pool has become crowded.
constexpr long kCrowdCheckMicroseconds = 500'000;
// What a refused request's client may still send before its connection closes.
constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr std::size_t kDrainBytes = 4 << 20;

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
      0, std::chrono::duration_cast<microseconds>(deadline - Clock::now()).count()));
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

// When a wait for a head must end: at `normal`, or, while the pool is
// crowded, kCrowdedHeadMicroseconds after the wait began if that is sooner.
class HeadDeadline {
 public:
  explicit HeadDeadline(const TConnection& c)
      : load_(c.settings ? c.settings->poolLoad : nullptr), start_(Clock::now()) {}
  Clock::time_point For(Clock::time_point normal) const {
    if (!load_ || !load_->Crowded()) return normal;
    return std::min(normal, start_ + microseconds(kCrowdedHeadMicroseconds));
  }

 private:
  const TPoolLoad* load_;
  Clock::time_point start_;
};

// The first bytes of a head into the pending cell; false when none came in
// time or the peer is gone.
bool ReceiveHeadStart(const TConnection& c, const HeadDeadline& deadline) {
  std::string& bytes = *c.pending;
  // A new connection comes with its request; the next one on a kept
  // connection follows only once the client has read the answer.
  bool likelyThere = !c.servedBefore;
  const Clock::time_point idleEnd = Clock::now() + microseconds(kRequestWaitMicroseconds);
  while (bytes.empty()) {
    const long left = MicrosecondsLeft(deadline.For(idleEnd));
    if (left <= 0) return false;
    const long got =
        ReceiveWhenThere(c, std::min(left, kCrowdCheckMicroseconds), bytes, likelyThere);
    if (c.terminating->load() || (got != platform::kNoBytesYet && got <= 0)) return false;
    likelyThere = false;
    DropLeadingLineEnds(bytes);
  }
  return true;
}

// The pace a body is held to (see kBodyGraceSeconds): windows, each of
// which must bring its bytes.
class BodyPace {
 public:
  BodyPace() : windowEnd_(Clock::now() + std::chrono::seconds(kBodyGraceSeconds)) {}
  void Count(std::size_t bodyBytes) { windowBytes_ += static_cast<std::int64_t>(bodyBytes); }
  // False once a window has ended short of its bytes; a window that ended
  // with them gives way to the next one.
  bool Kept() {
    const Clock::time_point now = Clock::now();
    if (now < windowEnd_) return true;
    if (windowBytes_ < required_) return false;
    windowEnd_ = now + std::chrono::seconds(kBodyWindowSeconds);
    windowBytes_ = 0;
    required_ = kMinBodyBytesPerSecond * kBodyWindowSeconds;
    return true;
  }
  Clock::time_point WindowEnd() const { return windowEnd_; }

 private:
  Clock::time_point windowEnd_;
  std::int64_t windowBytes_ = 0;
  std::int64_t required_ = 1;  // the grace asks only for a start
};

// The next bytes of a body into the pending cell; false when the body fell
// behind its pace or the peer is gone.
bool ReceiveBodyBytes(const TConnection& c, BodyPace& pace) {
  while (pace.Kept()) {
    const long got = ReceiveWhenThere(c, MicrosecondsLeft(pace.WindowEnd()), *c.pending);
    if (c.terminating->load()) return false;
    if (got != platform::kNoBytesYet) return got > 0;
  }
  return false;
}

BodyOutcome ReadLengthBody(const TConnection& c, std::int64_t length, TRequestBody& body) {
  std::string& pending = *c.pending;
  BodyPace pace;
  for (std::int64_t left = length; left > 0;) {
    if (pending.empty() && !ReceiveBodyBytes(c, pace)) return BodyOutcome::kBroken;
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::int64_t>(left, static_cast<std::int64_t>(pending.size())));
    if (!body.Append(pending.data(), take)) return BodyOutcome::kNotStored;
    pending.erase(0, take);
    left -= static_cast<std::int64_t>(take);
    pace.Count(take);
  }
  return BodyOutcome::kComplete;
}

BodyOutcome ReadChunkedBody(const TConnection& c, std::int64_t limit, TRequestBody& body) {
  std::string& pending = *c.pending;
  TChunkedDecoder decoder;
  std::string decoded;
  BodyPace pace;
  for (;;) {
    if (pending.empty() && !ReceiveBodyBytes(c, pace)) return BodyOutcome::kBroken;
    std::size_t consumed = 0;
    decoded.clear();
    const TChunkedDecoder::Status status = decoder.Feed(pending, consumed, decoded);
    pending.erase(0, consumed);
    if (status == TChunkedDecoder::Status::kMalformed) return BodyOutcome::kMalformed;
    if (body.Size() + static_cast<std::int64_t>(decoded.size()) > limit)
      return BodyOutcome::kTooLarge;
    if (!body.Append(decoded.data(), decoded.size())) return BodyOutcome::kNotStored;
    pace.Count(decoded.size());
    if (status == TChunkedDecoder::Status::kDone) return BodyOutcome::kComplete;
  }
}

bool ExpectsContinue(const THttpRequest& request) {
  const std::string* expect = request.Header("Expect");
  return expect && !request.IsHttp10() && text::EqualsNoCase(*expect, "100-continue");
}

}  // namespace

HeadOutcome ReadRequestHead(const TConnection& c, std::string& head) {
  std::string& bytes = *c.pending;
  head.clear();
  DropLeadingLineEnds(bytes);
  const HeadDeadline deadline(c);
  if (bytes.empty() && !ReceiveHeadStart(c, deadline)) return HeadOutcome::kNothing;

  const Clock::time_point limit = Clock::now() + microseconds(kHeadTimeLimitMicroseconds);
  Clock::time_point lastBytes = Clock::now();
  std::size_t end = HeadEnd(bytes, 0);
  while (end == std::string::npos && bytes.size() <= kMaxHeadBytes) {
    const std::size_t searched = bytes.size();
    const Clock::time_point due = deadline.For(limit);
    if (Clock::now() >= due) return HeadOutcome::kTimedOut;
    // Silence for a whole wait ends the head as far as it came.
    const Clock::time_point silenceEnd = lastBytes + microseconds(kRequestWaitMicroseconds);
    const long silenceLeft = MicrosecondsLeft(silenceEnd);
    if (silenceLeft <= 0) break;
    const long wait = std::min({MicrosecondsLeft(due), silenceLeft, kCrowdCheckMicroseconds});
    const long got = ReceiveWhenThere(c, wait, bytes);
    if (got == platform::kNoBytesYet) {
      if (c.terminating->load()) break;
      continue;
    }
    if (got <= 0) break;
    lastBytes = Clock::now();
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
  if (request.framing == TBodyFraming::kNone) return BodyOutcome::kComplete;
  const std::int64_t limit = std::min(c.settings->maxBodyBytes, kMaxBodyBytes);
  if (request.framing == TBodyFraming::kLength && request.contentLength > limit)
    return BodyOutcome::kTooLarge;
  if (ExpectsContinue(request) && c.pending->empty()) {
    const std::string goOn = StatusLine(100) + "\r\n";
    platform::SendAll(c.socket, goOn.data(), goOn.size());
  }
  if (request.framing == TBodyFraming::kLength)
    return ReadLengthBody(c, request.contentLength, body);
  const BodyOutcome outcome = ReadChunkedBody(c, limit, body);
  request.contentLength = body.Size();
  return outcome;
}

void DrainBeforeClose(const TConnection& c) {
  const Clock::time_point end = Clock::now() + kDrainTime;
  std::string dropped;
  for (std::size_t taken = 0; taken < kDrainBytes && Clock::now() < end;) {
    dropped.clear();
    // One slice of silence: the client has stopped sending.
    if (ReceiveWhenThere(c, 0, dropped) <= 0) return;
    taken += dropped.size();
  }
}
