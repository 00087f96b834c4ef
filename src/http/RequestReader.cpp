#include "http/RequestReader.h"

#include <algorithm>
#include <chrono>

#include "common/KestroClass.h"

namespace {

const std::string kBlankLine = "\r\n\r\n";
// Stop and destruction also shut the socket down, which ends a wait at once
// where the platform allows; the slices bound the delay elsewhere.
constexpr long kWaitSliceMicroseconds = 200'000;

// Where the head ends in `head` (after the blank line), searching only the
// bytes from `from` on; npos when it does not end yet.
std::size_t HeadEnd(const std::string& head, std::size_t from) {
  const std::size_t start = from < kBlankLine.size() ? 0 : from - (kBlankLine.size() - 1);
  const std::size_t found = head.find(kBlankLine, start);
  return found == std::string::npos ? found : found + kBlankLine.size();
}

// Receives the next bytes of a POST head: up to its blank line and not one
// byte further, so the body stays in the socket for the PHP module.
long ReceiveUpToBlankLine(const TConnection& c, std::string& head, bool wait) {
  std::vector<char>& buffer = *c.buffer;
  const long peeked = platform::Peek(c.socket, buffer.data(), buffer.size(), wait);
  if (peeked <= 0) return peeked;
  const std::size_t before = head.size();
  head.append(buffer.data(), static_cast<std::size_t>(peeked));
  const std::size_t end = HeadEnd(head, before);
  const std::size_t wanted = end == std::string::npos ? head.size() - before : end - before;
  head.resize(before);
  const long received = platform::Recv(c.socket, buffer.data(), wanted);
  if (received > 0) head.append(buffer.data(), static_cast<std::size_t>(received));
  return received;
}

long ReceiveAny(const TConnection& c, std::string& head, bool wait) {
  std::vector<char>& buffer = *c.buffer;
  const long received = platform::Recv(c.socket, buffer.data(), buffer.size(), wait);
  if (received > 0) head.append(buffer.data(), static_cast<std::size_t>(received));
  return received;
}

// Bytes that are already there are taken without a wait; only when none are
// does the thread wait for them, at most `microseconds`. kNoBytesYet then
// means that nothing came (or the worker is terminating). `likelyThere`
// false: the wait comes first, as the bytes are seldom there yet.
template <typename Receive>
long ReceiveWhenThere(const TConnection& c, long microseconds, Receive receive,
                      bool likelyThere = true) {
  const long got = likelyThere ? receive(false) : platform::kNoBytesYet;
  if (got != platform::kNoBytesYet) return got;
  if (!WaitForRequestBytes(c, microseconds)) return platform::kNoBytesYet;
  return receive(true);
}

}  // namespace

bool WaitForRequestBytes(const TConnection& c, long microseconds) {
  while (!c.terminating->load()) {
    const long slice = std::min(microseconds, kWaitSliceMicroseconds);
    if (platform::WaitReadable(c.socket, slice)) return !c.terminating->load();
    microseconds -= slice;
    if (microseconds <= 0) return false;
  }
  return false;
}

HeadOutcome ReadRequestHead(const TConnection& c, std::string& head) {
  using Clock = std::chrono::steady_clock;
  head.clear();
  char first[4];
  // A new connection comes with its request; the next one on a kept
  // connection follows only once the client has read the answer.
  const long received = ReceiveWhenThere(
      c, kRequestWaitMicroseconds,
      [&](bool wait) { return platform::Recv(c.socket, first, sizeof first, wait); },
      !c.servedBefore);
  if (received <= 0 || c.terminating->load()) return HeadOutcome::kNothing;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::microseconds(kHeadTimeLimitMicroseconds);
  head.assign(first, static_cast<std::size_t>(received));
  const bool isPost = TKestro::UpperCase(head) == "POST";

  std::size_t end = HeadEnd(head, 0);
  while (end == std::string::npos && head.size() <= kMaxHeadBytes) {
    const std::size_t searched = head.size();
    const long left = static_cast<long>(
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count());
    if (left <= 0) return HeadOutcome::kNothing;
    const long got = ReceiveWhenThere(c, std::min(kRequestWaitMicroseconds, left), [&](bool wait) {
      return isPost ? ReceiveUpToBlankLine(c, head, wait) : ReceiveAny(c, head, wait);
    });
    // Silence for a whole wait ends the head; the time limit drops it.
    if (got == platform::kNoBytesYet) {
      if (Clock::now() >= deadline && !c.terminating->load()) return HeadOutcome::kNothing;
      break;
    }
    if (got <= 0) break;
    end = HeadEnd(head, searched);
  }
  if (end == std::string::npos ? head.size() > kMaxHeadBytes : end > kMaxHeadBytes)
    return HeadOutcome::kTooLarge;
  // What follows the blank line in the same reads is dropped.
  if (end != std::string::npos) head.resize(end);
  head = TKestro::Trim(head);
  return HeadOutcome::kComplete;
}
