#include "Responder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "CgiHead.h"
#include "CgiRequest.h"
#include "EcbIo.h"
#include "FastCgi.h"

namespace phpisapi {

namespace {

// One read takes all that php-cgi has written, up to this; at least one
// FastCGI record's content, so a body chunk fits too.
constexpr std::size_t kIoSize = 64 * 1024;
static_assert(kIoSize >= fcgi::kMaxContent, "a body chunk fits the buffer");
constexpr std::size_t kHeadLimit = 64 * 1024;

// kGone: php-cgi died or failed; kUnwanted: the client went away (or the
// server is stopping); kShortBody: the body ended before its length.
enum class Outcome { kDone, kGone, kTimedOut, kUnwanted, kShortBody };

// Whether the client still waits for the answer, asked of the server only
// while the module waits for something; once gone, gone for good.
class ClientWatch {
 public:
  explicit ClientWatch(EXTENSION_CONTROL_BLOCK& ecb) : ecb_(ecb) {}
  ClientWatch(const ClientWatch&) = delete;
  ClientWatch& operator=(const ClientWatch&) = delete;

  bool StillThere() {
    if (!gone_) gone_ = !ClientConnected(ecb_);
    return !gone_;
  }
  bool Gone() const { return gone_; }
  // A send to the client failed: gone, whatever the connection looks like.
  void MarkGone() { gone_ = true; }
  const StillWanted& wanted() const { return wanted_; }

 private:
  EXTENSION_CONTROL_BLOCK& ecb_;
  bool gone_ = false;
  const StillWanted wanted_{[this] { return StillThere(); }};
};

// One request on one php-cgi connection: the request out, the answer back.
class Exchange {
 public:
  Exchange(EXTENSION_CONTROL_BLOCK& ecb, const CgiRequest& request, std::chrono::seconds limit,
           ClientWatch& client, std::vector<char>& buffer, const std::string& errorLog)
      : ecb_(ecb),
        request_(request),
        errorLog_(errorLog),
        deadline_(Clock::now() + limit),
        client_(client),
        buffer_(buffer) {}

  // The begin record and the variables (and, without a body, the end of stdin).
  bool SendRequest(Channel& channel) const {
    std::string out;
    fcgi::AppendBeginRequest(out, true);
    fcgi::AppendParamRecords(out, request_.params);
    if (request_.bodyLength == 0) fcgi::AppendRecords(out, fcgi::kStdin, nullptr, 0);
    return Send(channel, out);
  }

  // The body: first the bytes the server has read already, then the rest
  // through ReadClient. php-cgi waits for all of it, so a body that ends
  // short ends the exchange.
  Outcome SendBody(Channel& channel) {
    if (request_.bodyLength == 0) return Outcome::kDone;
    const DWORD given = ecb_.lpbData ? std::min(ecb_.cbAvailable, request_.bodyLength) : 0;
    if (given > 0 && !SendStdin(channel, reinterpret_cast<const char*>(ecb_.lpbData), given))
      return Failed();
    DWORD left = request_.bodyLength - given;
    // A server that has read part of the body has answered the client's Expect.
    if (left > 0 && given == 0 && request_.expectContinue) {
      static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
      WriteAll(ecb_, kContinue, sizeof kContinue - 1, deadline_);
    }
    while (left > 0) {
      DWORD size = std::min<DWORD>(left, static_cast<DWORD>(fcgi::kMaxContent));
      if (!ecb_.ReadClient(ecb_.ConnID, buffer_.data(), &size) || size == 0 || size > left)
        return Outcome::kShortBody;
      left -= size;
      if (!SendStdin(channel, buffer_.data(), size)) return Failed();
    }
    return SendStdin(channel, nullptr, 0) ? Outcome::kDone : Failed();
  }

  // PHP's answer to the client; one cut short after its head went out ends
  // the client's connection, so it cannot pass for a whole one.
  Outcome ReadResponse(Channel& channel) {
    const Outcome outcome = RelayResponse(channel);
    if (outcome != Outcome::kDone && HeadSent()) CloseConnection(ecb_);
    return outcome;
  }

  bool HeadSent() const { return state_ == State::kSent; }

  // A php-cgi that crashed, was killed or spoke nonsense: its request's line
  // in PHP's log, where PHP itself could write none.
  void NoteGone() const { Note("the process serving it ended before its answer was complete"); }

 private:
  // kHead: PHP's header block is still coming; kBody: parsed, nothing sent
  // yet; kSent: the head is out, the body follows as it comes.
  enum class State { kHead, kBody, kSent };

  Outcome RelayResponse(Channel& channel) {
    Clock::time_point nextLook = Clock::now() + kWatchInterval;
    fcgi::RecordReader reader;
    for (;;) {
      const long n = channel.Receive(buffer_.data(), buffer_.size(), deadline_, client_.wanted());
      if (n == Channel::kTimedOut) return Outcome::kTimedOut;
      if (n == Channel::kUnwanted || ClientLeft(nextLook)) return Outcome::kUnwanted;
      if (n <= 0) return Outcome::kGone;
      reader.Feed(buffer_.data(), static_cast<std::size_t>(n));
      for (fcgi::Record record; reader.Next(record);) {
        if (record.type == fcgi::kStdout) {
          OnOutput(record.content, record.length);
        } else if (record.type == fcgi::kEndRequest) {
          if (record.length < 5 || record.content[4] != fcgi::kRequestComplete)
            return Outcome::kGone;
          // php-cgi is done, whether or not the client took it all.
          if (!Finish()) CloseConnection(ecb_);
          return Outcome::kDone;
        }
      }
      // php-cgi wrote this much and the script goes on: it leaves now.
      if (!Flush()) return Clock::now() >= deadline_ ? Outcome::kTimedOut : Outcome::kUnwanted;
    }
  }

  bool Send(Channel& channel, const std::string& out) const {
    return channel.SendAll(out.data(), out.size(), deadline_, client_.wanted());
  }

  // Stdin records of the bytes, one record's content at a time; with none,
  // the end of stdin.
  bool SendStdin(Channel& channel, const char* data, std::size_t length) {
    do {
      const std::size_t piece = std::min(length, fcgi::kMaxContent);
      out_.clear();
      fcgi::AppendRecords(out_, fcgi::kStdin, data, piece);
      if (!Send(channel, out_)) return false;
      data += piece;
      length -= piece;
    } while (length > 0);
    return true;
  }

  Outcome Failed() const { return client_.Gone() ? Outcome::kUnwanted : Outcome::kGone; }

  // Whether the client went away, asked at most once per watch interval: a
  // script that keeps printing is told as soon as one that sleeps.
  bool ClientLeft(Clock::time_point& nextLook) {
    const Clock::time_point now = Clock::now();
    if (now < nextLook) return false;
    nextLook = now + kWatchInterval;
    return !client_.StillThere();
  }

  bool KeepConnection() const { return request_.keepAliveAsked; }
  // HEAD, 1xx, 204 and 304: the head alone goes to the client.
  bool Bodyless() const { return request_.headOnly || parsed_.HasNoBody(); }

  void OnOutput(const char* data, std::size_t length) {
    if (state_ != State::kHead) {
      if (!Bodyless()) body_.append(data, length);
      return;
    }
    head_.append(data, length);
    std::size_t headLength = 0, bodyStart = 0;
    if (FindHeadEnd(head_, headLength, bodyStart)) {
      parsed_ = ParseCgiHead(head_.substr(0, headLength));
      NoteRefused();
      if (!Bodyless()) body_ = head_.substr(bodyStart);
    } else if (head_.size() > kHeadLimit) {
      body_ = std::move(head_);  // no header block: all of it is body
    } else {
      return;
    }
    head_.clear();
    head_.shrink_to_fit();
    state_ = State::kBody;
  }

  // The script's lines that went no further, beside PHP's own errors.
  void NoteRefused() const {
    for (const std::string& line : parsed_.refused)
      Note("header \"" + line + "\" not sent (a status is a code from 100 to 599, a length one number)");
  }

  void Note(const std::string& what) const {
    std::ofstream(errorLog_, std::ios::app)
        << "[php-cgi] " << ServerVariable(ecb_, "SCRIPT_NAME") << ": " << what << "\n";
  }

  // PHP flushed and goes on: the head leaves with what is there.
  bool Flush() {
    if (state_ == State::kHead) return true;  // no whole header block yet
    if (state_ == State::kBody && !SendHead(false)) return false;
    return WriteBody(false);
  }

  // The whole answer came: a body still held is delimited by its own
  // length. False when the connection cannot be kept: a write failed, or
  // PHP's declared length, sent before the body was known, proved wrong.
  bool Finish() {
    if (state_ == State::kHead) {
      body_ = std::move(head_);
      state_ = State::kBody;
    }
    if (!((state_ != State::kBody || SendHead(true)) && WriteBody(true))) return false;
    return left_ <= 0 && !overrun_;
  }

  bool SendHead(bool ended) {
    bool keep = KeepConnection();
    const std::string headers = parsed_.headers + Framing(ended, keep) + "\r\n";
    state_ = State::kSent;
    if (SendResponseHead(ecb_, parsed_.status, headers, keep)) return true;
    client_.MarkGone();
    return false;
  }

  // The line that frames the body (none for 204): the length of a body
  // that `ended`, whatever PHP declared; for one still coming PHP's own
  // length, which WriteBody holds it to, else chunks for an HTTP/1.1
  // client, else none, and the connection's close ends the body. A bodyless
  // answer keeps the length PHP declared for the body it leaves out.
  std::string Framing(bool ended, bool& keep) {
    const std::int64_t declared = parsed_.declaredLength;
    if (parsed_.Code() == 204) return std::string();
    if (Bodyless()) return declared >= 0 ? LengthLine(declared) : std::string();
    if (ended) return LengthLine(static_cast<std::int64_t>(body_.size()));
    if (declared >= 0) {
      left_ = declared;
      return LengthLine(declared);
    }
    if (request_.chunkedAllowed) {
      chunked_ = true;
      return "Transfer-Encoding: chunked\r\n";
    }
    keep = false;
    return std::string();
  }

  static std::string LengthLine(std::int64_t length) {
    return "Content-Length: " + std::to_string(length) + "\r\n";
  }

  // What PHP wrote since the last write, in a chunk when chunked; `last`
  // ends the chunks.
  bool WriteBody(bool last) {
    if (Bodyless()) return true;
    const std::string* bytes = &body_;
    if (chunked_) {
      out_.clear();
      if (!body_.empty()) {
        char size[20];
        out_.append(size, static_cast<std::size_t>(std::snprintf(size, sizeof size, "%zx\r\n",
                                                                 body_.size())));
        out_ += body_;
        out_ += "\r\n";
      }
      if (last) out_ += "0\r\n\r\n";
      bytes = &out_;
    } else if (left_ >= 0) {
      // Never past the length the client was told: the rest is dropped and
      // the connection ends after the answer (Finish).
      if (static_cast<std::int64_t>(body_.size()) > left_) {
        body_.resize(static_cast<std::size_t>(left_));
        overrun_ = true;
      }
      left_ -= static_cast<std::int64_t>(body_.size());
    }
    const bool written = bytes->empty() || WriteAll(ecb_, bytes->data(), bytes->size(), deadline_);
    body_.clear();
    if (!written) client_.MarkGone();
    return written;
  }

  EXTENSION_CONTROL_BLOCK& ecb_;
  const CgiRequest& request_;
  const std::string& errorLog_;
  const Clock::time_point deadline_;  // the whole request ends by then
  ClientWatch& client_;
  std::vector<char>& buffer_;  // at least kIoSize bytes
  State state_ = State::kHead;
  std::string head_, body_, out_;
  CgiHead parsed_;
  bool chunked_ = false;
  std::int64_t left_ = -1;  // of PHP's declared length, still to send; -1: not held to one
  bool overrun_ = false;    // PHP printed past its declared length
};

// What tells php-cgi that a request is over: an abort record, which ends the
// body if PHP is still reading it, and one more that PHP leaves unread until
// its request has ended (Channel::Drained).
const std::string& Farewell() {
  static const std::string records = [] {
    std::string out;
    fcgi::AppendRecords(out, fcgi::kAbortRequest, nullptr, 0);
    fcgi::AppendRecords(out, fcgi::kAbortRequest, nullptr, 0);
    return out;
  }();
  return records;
}
constexpr auto kFarewellWait = std::chrono::seconds(2);

// The module's own answer to an exchange that failed before PHP's head went out.
void SendFailure(EXTENSION_CONTROL_BLOCK& ecb, Outcome outcome, std::chrono::seconds limit,
                 bool headOnly) {
  if (outcome == Outcome::kTimedOut)
    SendErrorPage(ecb, "504 Gateway Timeout",
                  "The PHP page ran longer than " + std::to_string(limit.count()) + " seconds.",
                  headOnly);
  else if (outcome == Outcome::kShortBody)
    SendErrorPage(ecb, "400 Bad Request", "The request's body ended before its length.",
                  headOnly);
  else
    SendErrorPage(ecb, "502 Bad Gateway", "The PHP process ended before it answered.", headOnly);
}

}  // namespace

DWORD ServeRequest(EXTENSION_CONTROL_BLOCK& ecb, Pool& pool) {
  const CgiRequest request = DescribeRequest(ecb);
  if (!pool.Available()) {
    SendErrorPage(ecb, "502 Bad Gateway", "PHP (php-cgi) was not found.", request.headOnly);
    return HSE_STATUS_ERROR;
  }
  const std::chrono::seconds limit(pool.settings().requestTimeoutSeconds);
  // A client that went away gets no answer from here on.
  ClientWatch client(ecb);
  std::unique_ptr<Pool::Lease> lease = pool.Acquire(Clock::now() + limit, client.wanted());
  if (!lease) {
    if (!client.Gone())
      SendErrorPage(ecb, "503 Service Unavailable", "Every PHP process is busy.", request.headOnly);
    return HSE_STATUS_ERROR;
  }
  const Clock::time_point started = Clock::now();
  Exchange exchange(ecb, request, limit, client, lease->Buffer(kIoSize), pool.errorLog());
  Channel* channel = lease->Connection();
  if (!channel || !exchange.SendRequest(*channel)) {  // once more, on a fresh process
    lease->Discard();
    channel = client.Gone() ? nullptr : lease->Connection();
    if (!channel || !exchange.SendRequest(*channel)) {
      lease->Discard();
      if (!client.Gone())
        SendErrorPage(ecb, "502 Bad Gateway", "PHP could not be started.", request.headOnly);
      return HSE_STATUS_ERROR;
    }
  }
  Outcome outcome = exchange.SendBody(*channel);
  if (outcome == Outcome::kDone) outcome = exchange.ReadResponse(*channel);
  if (outcome == Outcome::kDone) {
    lease->Finished();
    return HSE_STATUS_SUCCESS;
  }
  // A client that left (or a body cut short): PHP is told the request is over
  // and ends it by its own rules (at its next output unless it ignores user
  // aborts; shutdown functions and upload clean-up run), its output going
  // nowhere and its process back to the pool when done. Dead, hung or past
  // its time: the process ends now, so its slot serves the next request at once.
  if (outcome == Outcome::kGone) exchange.NoteGone();
  const bool givenUp = outcome == Outcome::kUnwanted || outcome == Outcome::kShortBody;
  if (givenUp && channel->Abandon(Farewell(), Clock::now() + kFarewellWait))
    lease->Drain(started + limit);
  else
    lease->Discard();
  if (!exchange.HeadSent() && client.StillThere())
    SendFailure(ecb, outcome, limit, request.headOnly);
  return HSE_STATUS_ERROR;
}

}  // namespace phpisapi
