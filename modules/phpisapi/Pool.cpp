#include "Pool.h"

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <utility>

namespace phpisapi {

namespace {

constexpr auto kIdleCheckInterval = std::chrono::seconds(1);
// How often a slot that drains looks whether its request ended.
constexpr auto kDrainCheckInterval = std::chrono::milliseconds(100);

// The path of `parts` (joined with the delimiter of `phpFolder`) in the tree
// that holds the module's folder.
std::string InTree(const std::string& phpFolder, std::initializer_list<const char*> parts) {
  const std::size_t cut = phpFolder.find_last_of("/\\");
  const char delimiter = cut == std::string::npos ? '/' : phpFolder[cut];
  std::string path = cut == std::string::npos ? "." : phpFolder.substr(0, cut);
  for (const char* part : parts) path += delimiter + std::string(part);
  return path;
}

// Nothing of the server's environment beyond what PHP needs to run: the
// tree's php.ini (PHPRC, else the module's folder), no system ini scan
// folder, temporary files in the tree's tmp/, processes that never exit on
// their own; PHP's errors and stderr in the tree's log/.
CgiSetup SetupFor(const std::string& phpFolder, const std::string& errorLog) {
  CgiSetup setup;
  std::string value;
  for (const std::string& name : SystemVariables())
    if (ServerVariable(name, value)) setup.environment.push_back(name + "=" + value);
  const bool phprc = ServerVariable("PHPRC", value) && !value.empty();
  setup.environment.push_back("PHPRC=" + (phprc ? value : phpFolder));
  const std::string tmp = InTree(phpFolder, {"tmp"});
  for (const char* name : {"TMPDIR", "TEMP", "TMP"}) setup.environment.push_back(name + ("=" + tmp));
  setup.environment.push_back("PHP_INI_SCAN_DIR=");
  setup.environment.push_back("PHP_FCGI_MAX_REQUESTS=0");
  setup.errorLog = errorLog;
  return setup;
}

}  // namespace

Pool::Lease::~Lease() {
  if (pool_) pool_->Release(*slot_, drain_, drainDeadline_);
}

Pool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)),
      slot_(other.slot_),
      drain_(other.drain_),
      drainDeadline_(other.drainDeadline_) {}

Channel* Pool::Lease::Connection() {
  Slot& slot = *slot_;
  if (slot.channel.Open()) {
    // A process that died or closed its idle connection shows here.
    if (!slot.channel.Broken()) return &slot.channel;
    slot.channel.Close();
  }
  if (slot.process && !slot.process->Alive()) Discard();
  if (!slot.process) {
    slot.process = pool_->StartProcess(slot.index);
    slot.served = 0;
    if (!slot.process) return nullptr;
  }
  slot.channel = slot.process->Connect();
  if (!slot.channel.Open()) {
    Discard();
    return nullptr;
  }
  return &slot.channel;
}

void Pool::Lease::Discard() { EndProcess(*slot_); }

void Pool::Lease::Drain(Clock::time_point deadline) {
  drain_ = true;
  drainDeadline_ = deadline;
}

void Pool::Lease::Finished() {
  if (++slot_->served >= pool_->settings_.requestsPerProcess) Discard();
}

std::vector<char>& Pool::Lease::Buffer(std::size_t size) {
  if (slot_->buffer.size() < size) slot_->buffer.resize(size);
  return slot_->buffer;
}

Pool::Pool(std::string phpFolder)
    : phpFolder_(std::move(phpFolder)),
      errorLog_(InTree(phpFolder_, {"log", "php_errors.log"})),
      settings_(LoadSettings(phpFolder_ + "/phpisapi.ini")) {}

Pool::~Pool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  drainsChanged_.notify_all();
  if (drainWatcher_.joinable()) drainWatcher_.join();
  slots_.clear();  // every process ends before their endpoints' place goes
  space_.reset();
}

bool Pool::Available() {
  if (available_.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  StartOnce();
  return space_ && !program_.empty();
}

std::unique_ptr<Pool::Lease> Pool::Acquire(Clock::time_point deadline,
                                           const StillWanted& wanted) {
  std::unique_lock<std::mutex> lock(mutex_);
  StartOnce();
  if (slots_.empty()) return nullptr;
  for (;;) {
    for (auto& slot : slots_) {
      if (slot->busy) continue;
      slot->busy = true;
      return std::make_unique<Lease>(*this, *slot);
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return nullptr;
    if (freed_.wait_until(lock, std::min(deadline, now + kWatchInterval)) ==
        std::cv_status::timeout) {
      // The server is asked without the pool's lock: it may take its time.
      lock.unlock();
      const bool stillWanted = !wanted || wanted();
      lock.lock();
      if (!stillWanted) return nullptr;
    }
  }
}

std::unique_ptr<CgiProcess> Pool::StartProcess(int index) {
  // The environment as it is now: a test changes the server's between starts.
  return space_ ? space_->Start(program_, index, SetupFor(phpFolder_, errorLog_)) : nullptr;
}

void Pool::StartOnce() {
  if (started_) return;
  started_ = true;
  program_ = FindPhpCgi(phpFolder_);
  if (program_.empty()) return;
  space_ = CreateEndpointSpace(settings_.processes);
  if (!space_) return;
  if (space_->KeepsEveryProcess()) settings_.minProcesses = settings_.processes;
  for (int i = 0; i < settings_.processes; ++i) {
    auto slot = std::make_unique<Slot>();
    slot->index = i;
    // The rest start in Lease::Connection when a request takes their slot.
    if (i < settings_.minProcesses) slot->process = StartProcess(i);
    slots_.push_back(std::move(slot));
  }
  available_.store(true, std::memory_order_release);
}

void Pool::Release(Slot& slot, bool drain, Clock::time_point deadline) {
  std::vector<std::unique_ptr<CgiProcess>> idle;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (drain) {
      slot.draining = true;
      slot.drainDeadline = deadline;
      if (!drainWatcher_.joinable()) drainWatcher_ = std::thread([this] { WatchDrains(); });
      drainsChanged_.notify_all();
      return;
    }
    slot.busy = false;
    slot.idleSince = Clock::now();
    TakeIdle(slot.idleSince, idle);
  }
  freed_.notify_one();
  // `idle` ends its processes here, outside the lock: ending one waits for it.
}

void Pool::EndProcess(Slot& slot) {
  if (slot.process) slot.process->End(slot.channel);
  slot.channel.Close();
  if (slot.process && !slot.process->Alive()) slot.process.reset();
}

void Pool::WatchDrains() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    std::vector<Slot*> done, overdue;
    bool left = false;
    const Clock::time_point now = Clock::now();
    for (auto& slot : slots_) {
      if (!slot->draining) continue;
      const bool ended = slot->channel.Drained();
      if (!ended && now < slot->drainDeadline)
        left = true;
      else
        (ended ? done : overdue).push_back(slot.get());
    }
    if (!overdue.empty()) {
      // Still busy, so theirs alone; ending a process waits for it.
      lock.unlock();
      for (Slot* slot : overdue) EndProcess(*slot);
      lock.lock();
    }
    for (Slot* slot : done) slot->channel.Close();  // the next request connects anew
    done.insert(done.end(), overdue.begin(), overdue.end());
    for (Slot* slot : done) {
      slot->draining = slot->busy = false;
      slot->idleSince = now;
    }
    if (!done.empty()) freed_.notify_all();
    if (left)
      drainsChanged_.wait_for(lock, kDrainCheckInterval);
    else
      drainsChanged_.wait(lock);
  }
}

void Pool::TakeIdle(Clock::time_point now, std::vector<std::unique_ptr<CgiProcess>>& idle) {
  if (now < nextIdleCheck_) return;
  nextIdleCheck_ = now + kIdleCheckInterval;
  const auto limit = std::chrono::seconds(settings_.idleSeconds);
  for (auto& slot : slots_) {
    if (slot->index < settings_.minProcesses || slot->busy || !slot->process ||
        now - slot->idleSince < limit)
      continue;
    slot->channel.Close();
    idle.push_back(std::move(slot->process));
  }
}

}  // namespace phpisapi
