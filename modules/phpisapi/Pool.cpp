#include "Pool.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace phpisapi {

namespace {

constexpr auto kIdleCheckInterval = std::chrono::seconds(1);

}  // namespace

Pool::Lease::~Lease() {
  if (pool_) pool_->Release(*slot_);
}

Pool::Lease::Lease(Lease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)), slot_(other.slot_) {}

Channel* Pool::Lease::Connection() {
  Slot& slot = *slot_;
  if (slot.channel.Open()) {
    // A process that died or closed its idle connection shows here.
    if (!slot.channel.Broken()) return &slot.channel;
    slot.channel.Close();
  }
  if (slot.process && !slot.process->Alive()) Discard();
  if (!slot.process) {
    slot.process = pool_->space_ ? pool_->space_->Start(pool_->program_, slot.index) : nullptr;
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

void Pool::Lease::Discard() {
  slot_->channel.Close();
  slot_->process.reset();
}

void Pool::Lease::Finished() {
  if (++slot_->served >= pool_->settings_.requestsPerProcess) Discard();
}

std::vector<char>& Pool::Lease::Buffer(std::size_t size) {
  if (slot_->buffer.size() < size) slot_->buffer.resize(size);
  return slot_->buffer;
}

Pool::Pool(std::string phpFolder)
    : phpFolder_(std::move(phpFolder)), settings_(LoadSettings(phpFolder_ + "/phpisapi.ini")) {}

Pool::~Pool() {
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

void Pool::StartOnce() {
  if (started_) return;
  started_ = true;
  program_ = FindPhpCgi(phpFolder_);
  if (program_.empty()) return;
  space_ = CreateEndpointSpace();
  if (!space_) return;
  for (int i = 0; i < settings_.processes; ++i) {
    auto slot = std::make_unique<Slot>();
    slot->index = i;
    // The rest start in Lease::Connection when a request takes their slot.
    if (i < settings_.minProcesses) slot->process = space_->Start(program_, i);
    slots_.push_back(std::move(slot));
  }
  available_.store(true, std::memory_order_release);
}

void Pool::Release(Slot& slot) {
  std::vector<std::unique_ptr<CgiProcess>> idle;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.busy = false;
    slot.idleSince = Clock::now();
    TakeIdle(slot.idleSince, idle);
  }
  freed_.notify_one();
  // `idle` ends its processes here, outside the lock: ending one waits for it.
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
