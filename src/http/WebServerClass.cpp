#include "http/WebServerClass.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/AccessLog.h"
#include "http/FixedAnswers.h"
#include "http/MimeTable.h"
#include "http/RequestHandler.h"
#include "http/RequestReader.h"
#include "php/PhpDllLoader.h"
#include "platform/Files.h"
#include "platform/Ini.h"

namespace {

const char* const kSection = "PVN";
constexpr std::size_t kBufferBytes = 8192;
// What a worker keeps of its pending cell between connections. A head near
// the head limit or a pipelined burst grows the cell; keeping that size
// would let every worker that met one hold it for good, the server's memory
// creeping up as more of them do.
constexpr std::size_t kKeptPendingBytes = 2 * kBufferBytes;
// Stop shuts the listener down, which ends a wait at once where the platform
// allows; the slices bound the delay elsewhere.
constexpr long kAcceptSliceMicroseconds = 100'000;
// After a failed accept (no descriptors left, a connection reset before it
// was taken, an interrupted call) listening goes on after a short pause.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(50);
constexpr auto kEventsInterval = std::chrono::milliseconds(10);
// How long a worker serves before it ends and gives its thread's cache of
// freed blocks back; bounds what that cache gathers.
constexpr auto kWorkerLifetime = std::chrono::seconds(60);
constexpr auto kRetirementInterval = std::chrono::seconds(1);

// What a client whose connection finds every worker busy is told to wait.
const char* const kRetryAfterLine = "Retry-After: 2\r\n";

bool InRange(std::int64_t value, std::int64_t low, std::int64_t high) {
  return value >= low && value <= high;
}

// The root made absolute; a drive root such as D:\ becomes the bare drive.
std::string DocumentRootOf(const std::string& setting) {
  const std::string trimmed = TKestro::Trim(setting);
  if (trimmed.empty()) return std::string();
  const std::string root = platform::ExpandFileName(trimmed);
  const bool driveRoot = root.size() == 3 && root[1] == ':' && (root[2] == '\\' || root[2] == '/');
  return driveRoot ? root.substr(0, 2) : root;
}

// The tree's post_max_size, read from its php.ini as PHP reads it.
std::int64_t TreeBodyLimit() {
  const std::string phpIni = TKestro::GetAppDir() + platform::PathDelim + "php" +
                             platform::PathDelim + "php.ini";
  // A default no size is written as tells that php.ini sets none.
  const std::string none = "(none)";
  const std::string value = platform::ReadIniValue("PHP", "post_max_size", none, phpIni);
  return BodyLimitOf(value == none ? nullptr : &value);
}

// A connection that finds every worker busy is told so rather than reset.
// What it sent is read first, so that closing does not reset the connection
// before the client has read the answer; the listener never waits for it.
void AnswerPoolFull(platform::SocketHandle client) {
  char buffer[4096];
  std::string arrived;
  for (long got; arrived.size() < kMaxHeadBytes &&
                 (got = platform::Recv(client, buffer, sizeof buffer, false)) > 0;)
    arrived.append(buffer, static_cast<std::size_t>(got));
  const bool headOnly = text::EqualsNoCase(std::string_view(arrived).substr(0, 5), "HEAD ");
  SendFixedAnswer(client, 503, ConnectionLine(true), kRetryAfterLine, headOnly,
                  "Every worker of this server is busy. Try again in a few seconds.");
  platform::CloseSocket(client);
}

// Counts a worker busy for the connection it serves.
class BusyWhileServing {
 public:
  explicit BusyWhileServing(TPoolLoad* load) : load_(load) {
    if (load_) ++load_->busy;
  }
  ~BusyWhileServing() {
    if (load_) --load_->busy;
  }
  BusyWhileServing(const BusyWhileServing&) = delete;
  BusyWhileServing& operator=(const BusyWhileServing&) = delete;

 private:
  TPoolLoad* load_;
};

}  // namespace

// ---------------------------------------------------------------- TMsgSender

TMsgSender::TMsgSender() : buffer_(kBufferBytes), thread_([this] { Execute(); }) {}

TMsgSender::~TMsgSender() {
  Terminate();
  thread_.join();
}

void TMsgSender::Terminate() {
  {
    std::lock_guard<std::mutex> locked(lock_);
    terminating_ = true;
    if (socket_ != 0) platform::Shutdown(socket_);
  }
  parker_.Unpark();
}

bool TMsgSender::TryHandOff(const TWorkerSettings& settings, const std::string& peerAddress,
                            platform::SocketHandle socket, platform::SocketHandle listener) {
  if (socket_.load(std::memory_order_relaxed) != 0) return false;
  {
    std::lock_guard<std::mutex> locked(lock_);
    if (socket_ != 0 || terminating_) return false;
    settings_ = settings;
    settings_.clientAddress = peerAddress;
    listener_ = listener;
    socket_ = socket;
  }
  parker_.Unpark();
  return true;
}

void TMsgSender::Execute() {
  for (;;) {
    // A hand-off made before the thread parks lets Park return at once.
    while (socket_ == 0 && !terminating_) parker_.Park();
    if (!terminating_) ServeConnection();
    {
      // Closed under the lock, so Terminate never shuts down a reused handle.
      std::lock_guard<std::mutex> locked(lock_);
      if (socket_ != 0) platform::CloseSocket(socket_.exchange(0));
      if (!terminating_ && WornOut(std::chrono::steady_clock::now())) {
        terminating_ = true;
        ended_ = true;
      }
      if (!terminating_) TakeQueued();
    }
    if (terminating_) return;
  }
}

bool TMsgSender::WornOut(std::chrono::steady_clock::time_point now) const {
  return now - born_ >= kWorkerLifetime;
}

bool TMsgSender::Retire(std::chrono::steady_clock::time_point now) {
  if (ended_) return true;
  {
    std::lock_guard<std::mutex> locked(lock_);
    if (socket_ != 0 || terminating_ || !WornOut(now)) return false;
    terminating_ = true;
  }
  parker_.Unpark();
  return true;
}

// Under load a connection is queued when this one ends: taken here, it costs
// neither the listener's hand-off nor a sleep and wake-up of this thread.
// The listener is non-blocking, and it fails at once once Stop shut it down.
void TMsgSender::TakeQueued() {
  if (listener_ == 0) return;
  std::string peer;
  const platform::SocketHandle client = platform::Accept(listener_, peer);
  if (client == 0) return;
  settings_.clientAddress = peer;
  socket_ = client;
}

void TMsgSender::ServeConnection() {
  TConnection connection;
  connection.socket = socket_;  // stays put until this thread clears it
  connection.settings = &settings_;
  connection.buffer = &buffer_;
  pending_.clear();
  connection.pending = &pending_;
  connection.connectionContext = &connectionContext_;
  connection.keepAliveFlag = &keepAliveFlag_;
  connection.terminating = &terminating_;
  const BusyWhileServing busy(settings_.poolLoad);
  try {
    while (!terminating_ && !ServeRequest(connection)) connection.servedBefore = true;
  } catch (...) {
    // The connection is closed; the worker serves the next one.
  }
  if (pending_.capacity() > kKeptPendingBytes) std::string().swap(pending_);
}

// ---------------------------------------------------------------- TWebServer

TWebServer::TWebServer(const std::string& settingsPath)
    : settingsPath_(settingsPath),
      logFolder_(TKestro::ReadIniString(kSection, "log", settingsPath)),
      accessLog_(std::make_unique<TAccessLog>()),
      mapping_(std::make_unique<TMappingSettings>()),
      thread_([this] { Execute(); }) {}

TWebServer::~TWebServer() {
  {
    std::lock_guard<std::mutex> locked(stateLock_);
    terminating_ = true;
  }
  Stop();
  SignalState();
  thread_.join();
  DestroyWorkers();  // a start that was still under way may have left some
  accessLog_->Close();
  phpLoader_.reset();
  mimeTable_.reset();
}

void TWebServer::Start(const std::function<void()>& processEvents) {
  try {
    if (active_ || started_) return;
    if (!LoadSettings()) return;
    lastError_ = 0;
    listenSocket_ = 0;
    accessLog_->Close();
    {
      std::lock_guard<std::mutex> locked(stateLock_);
      stopping_ = false;
      started_ = true;
    }
    SignalState();
    WaitUntil([this] { return !started_ || active_ || terminating_; }, processEvents);
  } catch (...) {
    // The flags tell the outcome.
  }
}

void TWebServer::Stop(const std::function<void()>& processEvents) {
  try {
    if (!active_ || !started_) return;
    {
      std::lock_guard<std::mutex> locked(stateLock_);
      stopping_ = true;
      if (listenSocket_ != 0) platform::Shutdown(listenSocket_);
    }
    // The pool is the listener's while it accepts.
    WaitUntil([this] { return !started_ && !active_; }, processEvents);
    DestroyWorkers();
    accessLog_->Close();
  } catch (...) {
    // The flags tell the outcome.
  }
}

bool TWebServer::LoadSettings() {
  if (platform::FileExists(settingsPath_)) {
    auto read = [this](const char* key) { return TKestro::ReadIniString(kSection, key, settingsPath_); };
    const std::int64_t port = TKestro::StrToInt64Def(read("port"), 0);
    const std::int64_t maxConnections = TKestro::StrToInt64Def(read("maxconnections"), 0);
    port_ = InRange(port, 0, 65535) ? static_cast<int>(port) : 0;
    documentRoot_ = DocumentRootOf(read("root"));
    indexFiles_ = read("index");
    maxConnections_ = InRange(maxConnections, 0, 2147483646) ? static_cast<int>(maxConnections) : 0;
    phpExtensions_ = read("php_extname");
    maxBodyBytes_ = TreeBodyLimit();
    readFolderRules_ = TKestro::Trim(read("htaccess")) != "0";
    projectHosts_ = TKestro::Trim(read("projecthosts")) != "0";
  }
  return InRange(port_, 1, 65535) && !documentRoot_.empty() &&
         platform::DirectoryExists(documentRoot_) && !TKestro::Trim(indexFiles_).empty() &&
         InRange(maxConnections_, 1, 2147483646) && !TKestro::Trim(phpExtensions_).empty();
}

void TWebServer::Execute() {
  std::unique_lock<std::mutex> locked(stateLock_);
  while (!terminating_) {
    if (!started_) {
      stateChanged_.wait(locked);
      continue;
    }
    locked.unlock();
    try {
      ListenAndAccept();
    } catch (...) {
      // Listening ends; the flags below tell so.
    }
    // Workers accept from the listener too: it is closed once none is left.
    DestroyWorkers();
    locked.lock();
    if (listenSocket_ != 0) platform::CloseSocket(listenSocket_.exchange(0));
    active_ = false;
    started_ = false;
    stateChanged_.notify_all();
  }
}

void TWebServer::ListenAndAccept() {
  int error = 0;
  const platform::SocketHandle listener = platform::OpenListener(port_, error);
  lastError_ = error;
  if (listener == 0) return;
  // What every hand-off of this start copies into its worker.
  handOffSettings_.accessLog = accessLog_.get();
  *mapping_ = MappingSettingsOf(documentRoot_, indexFiles_, phpExtensions_);
  mapping_->readFolderRules = readFolderRules_;
  mapping_->projectHosts = projectHosts_;
  handOffSettings_.mapping = mapping_.get();
  handOffSettings_.portText = std::to_string(port_);
  handOffSettings_.logFolder = logFolder_;
  handOffSettings_.spoolFolder = TKestro::GetAppDir() + platform::PathDelim + "tmp";
  handOffSettings_.maxBodyBytes = maxBodyBytes_;
  poolLoad_.capacity = maxConnections_;
  handOffSettings_.poolLoad = &poolLoad_;
  {
    std::lock_guard<std::mutex> locked(stateLock_);
    listenSocket_ = listener;
    active_ = true;
  }
  SignalState();
  AcceptLoop(listener);
}

void TWebServer::AcceptLoop(platform::SocketHandle listener) {
  // Only Stop and destruction end listening. The listener is non-blocking:
  // under load the queued connections are taken one after the other, and the
  // thread waits only once the queue is empty.
  std::string peer;
  bool queued = true;
  while (!stopping_ && !terminating_) {
    RetireWorkers();
    if (!queued) {
      queued = platform::WaitReadable(listener, kAcceptSliceMicroseconds);
      continue;
    }
    const platform::SocketHandle client = platform::Accept(listener, peer);
    if (client != 0) {
      HandOff(client, peer, listener);
    } else if (platform::LastSocketError() == platform::kWouldBlock) {
      queued = false;
    } else if (!stopping_ && !terminating_) {
      std::this_thread::sleep_for(kAcceptBackoff);
    }
  }
}

void TWebServer::HandOff(platform::SocketHandle client, const std::string& peerAddress,
                         platform::SocketHandle listener) {
  if (!phpLoader_) phpLoader_ = std::make_unique<TPHPDllLoader>();
  if (!mimeTable_) mimeTable_ = std::make_unique<TMimeTable>();
  handOffSettings_.phpLoader = phpLoader_.get();
  handOffSettings_.mimeTable = mimeTable_.get();
  for (auto& worker : workers_)
    if (worker->TryHandOff(handOffSettings_, peerAddress, client, listener)) return;
  if (workers_.size() >= static_cast<std::size_t>(maxConnections_)) {
    // Workers that ended worn out still hold their places until retired.
    nextRetirement_ = {};
    RetireWorkers();
  }
  if (workers_.size() < static_cast<std::size_t>(maxConnections_)) {
    try {
      workers_.push_back(std::make_unique<TMsgSender>());
      if (workers_.back()->TryHandOff(handOffSettings_, peerAddress, client, listener)) return;
    } catch (...) {
      // No thread could be made: a full pool for this connection.
    }
  }
  AnswerPoolFull(client);
}

void TWebServer::DestroyWorkers() {
  // All are told first, so their connections end together.
  for (auto& worker : workers_) worker->Terminate();
  workers_.clear();
}

void TWebServer::RetireWorkers() {
  const auto now = std::chrono::steady_clock::now();
  if (now < nextRetirement_) return;
  nextRetirement_ = now + kRetirementInterval;
  // Destroying a retired worker joins a thread that has ended or is ending.
  workers_.erase(std::remove_if(workers_.begin(), workers_.end(),
                                [now](const std::unique_ptr<TMsgSender>& worker) { return worker->Retire(now); }),
                 workers_.end());
}

void TWebServer::SignalState() {
  std::lock_guard<std::mutex> locked(stateLock_);
  stateChanged_.notify_all();
}

void TWebServer::WaitUntil(const std::function<bool()>& done,
                           const std::function<void()>& processEvents) {
  std::unique_lock<std::mutex> locked(stateLock_);
  while (!done()) {
    if (!processEvents) {
      stateChanged_.wait(locked);
      continue;
    }
    locked.unlock();
    processEvents();
    locked.lock();
    stateChanged_.wait_for(locked, kEventsInterval);
  }
}
