// What the module needs from the operating system: its own folder, the
// php-cgi program, php-cgi processes with a private FastCGI endpoint each,
// and byte streams to them. posix/ and win32/ implement it.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace phpisapi {

using Clock = std::chrono::steady_clock;

// Asked while a call waits, at least every kWatchInterval: false ends the
// wait (the client went away, or the server is stopping).
using StillWanted = std::function<bool()>;
constexpr std::chrono::milliseconds kWatchInterval{250};

// The folder that holds this module, without a trailing delimiter.
std::string ModuleFolder();
// php-cgi beside the module in `phpFolder`, else (Linux) on PATH; empty when none.
std::string FindPhpCgi(const std::string& phpFolder);

// A connected stream to one php-cgi. Calls that wait give up at `deadline`,
// or sooner when the request is no longer wanted.
class Channel {
 public:
  enum Result : long { kClosed = 0, kFailed = -1, kTimedOut = -2, kUnwanted = -3 };

  Channel() = default;
  // Takes a connected stream over and readies it for Receive.
  explicit Channel(std::intptr_t handle);
  ~Channel();
  Channel(Channel&& other) noexcept;
  Channel& operator=(Channel&& other) noexcept;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  bool Open() const { return handle_ != kNone; }
  // The stream itself, for what the system can tell about it.
  std::intptr_t handle() const { return handle_; }
  void Close();
  // All bytes, or false.
  bool SendAll(const void* data, std::size_t length, Clock::time_point deadline,
               const StillWanted& wanted);
  // Bytes received (> 0), or kClosed, kFailed, kTimedOut, kUnwanted.
  long Receive(void* buffer, std::size_t length, Clock::time_point deadline,
               const StillWanted& wanted);
  // True when the peer has closed its end (or sent what nobody asked for),
  // without waiting.
  bool Broken();
  // Gives the request up without ending the peer: its writes fail from now
  // on, a record cut short by a failed send is completed with zeros, and
  // `farewell` follows for it to read. False where a peer's end of the
  // request cannot be watched (Drained) or the bytes don't go out in time.
  bool Abandon(const std::string& farewell, Clock::time_point deadline);
  // After Abandon: true once the peer has read or dropped every byte sent,
  // that is, when it ended the request (a farewell it leaves unread shows
  // the request still running).
  bool Drained();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  std::size_t owed_ = 0;  // the unsent rest of a send that failed part way
};

// The php-cgi that serves one slot of the pool: a process of its own
// (Windows), or whichever child of the pool's one php-cgi parent accepted
// the slot's connection (Linux). A process of its own ends with the object;
// on Linux every php-cgi also ends when the server process dies.
class CgiProcess {
 public:
  virtual ~CgiProcess() = default;
  virtual bool Alive() = 0;
  virtual Channel Connect() = 0;  // an unopened channel on failure
  // Ends the process that serves `channel`, and only it, before the channel
  // closes: the other end of a connection is known only while it is open.
  virtual void End(const Channel& channel) = 0;
};

// What every php-cgi starts with: its whole environment ("NAME=value") and
// the file its standard error (php://stderr) is appended to.
struct CgiSetup {
  std::vector<std::string> environment;
  std::string errorLog;
};
// The names of the server's variables that php-cgi needs to run here.
std::vector<std::string> SystemVariables();
// The server's environment variable `name` as it is now; false when unset.
bool ServerVariable(const std::string& name, std::string& value);

// The place where a pool keeps its endpoints (a private folder on Linux).
class EndpointSpace {
 public:
  virtual ~EndpointSpace() = default;
  // Starts `program` serving FastCGI; null on failure.
  virtual std::unique_ptr<CgiProcess> Start(const std::string& program, int index,
                                            const CgiSetup& setup) = 0;
  // True where one php-cgi keeps a child for every slot, sharing what it
  // compiled: no slot then starts or ends a process of its own.
  virtual bool KeepsEveryProcess() const = 0;
};
// A space for a pool of at most `processes` php-cgi.
std::unique_ptr<EndpointSpace> CreateEndpointSpace(int processes);

}  // namespace phpisapi
