// The pool of php-cgi processes, the first of them started on the first
// request, the others when requests need them; those end again once they
// have been idle a while, except where one php-cgi keeps a child for every
// slot (Linux). Each process serves one request at a time over a connection
// that stays open between requests; a process that dies, hangs or has
// served its share is replaced. A request given up (its client left) keeps
// its process until PHP has ended it, or until its deadline.
#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Os.h"
#include "Settings.h"

namespace phpisapi {

class Pool {
 public:
  struct Slot {
    std::unique_ptr<CgiProcess> process;
    Channel channel;
    int index = 0;
    int served = 0;
    bool busy = false;
    bool draining = false;        // busy with a request given up
    Clock::time_point drainDeadline;
    Clock::time_point idleSince;  // the end of its last request
    std::vector<char> buffer;  // the requests' I/O buffer, made once per slot
  };

  // One slot held for one request; released when it goes.
  class Lease {
   public:
    Lease(Pool& pool, Slot& slot) : pool_(&pool), slot_(&slot) {}
    ~Lease();
    Lease(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Lease& operator=(Lease&&) = delete;

    // A connection to a live php-cgi, started or reconnected as needed; null
    // when php-cgi cannot be started.
    Channel* Connection();
    // Ends the process (dead, hung or answering nonsense); the next lease starts another.
    void Discard();
    // The request on the connection was given up (Channel::Abandon): the slot
    // stays busy until php-cgi has ended it, and its process ends if that
    // takes past `deadline`.
    void Drain(Clock::time_point deadline);
    // A request finished cleanly on the connection.
    void Finished();
    // A buffer of at least `size` bytes that stays with the slot, so no
    // request allocates and clears one of its own.
    std::vector<char>& Buffer(std::size_t size);

   private:
    Pool* pool_;
    Slot* slot_;
    bool drain_ = false;
    Clock::time_point drainDeadline_;
  };

  explicit Pool(std::string phpFolder);
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // False when php-cgi is nowhere to be found.
  bool Available();
  // A free slot, the first one in order, so the processes that served last
  // (started, connected, warm) serve again; waits for one until the
  // deadline while the request is wanted; null when none came free.
  std::unique_ptr<Lease> Acquire(Clock::time_point deadline, const StillWanted& wanted);
  const Settings& settings() const { return settings_; }
  // The tree's log/php_errors.log, where php-cgi's errors go.
  const std::string& errorLog() const { return errorLog_; }

 private:
  void StartOnce();  // under mutex_
  void WatchDrains();  // the drain watcher's thread
  // Ends the process that serves the slot's connection, then closes that;
  // a slot whose own process ended starts another with its next request.
  static void EndProcess(Slot& slot);
  std::unique_ptr<CgiProcess> StartProcess(int index);
  // With `drain`, the slot stays busy until its request has ended (or its
  // process, past `deadline`).
  void Release(Slot& slot, bool drain, Clock::time_point deadline);
  // Takes the processes past the first minProcesses that have been idle for
  // idleSeconds out of their slots, at most once a second; under mutex_.
  void TakeIdle(Clock::time_point now, std::vector<std::unique_ptr<CgiProcess>>& idle);

  const std::string phpFolder_;
  const std::string errorLog_;
  Settings settings_;
  std::string program_;
  std::mutex mutex_;
  std::condition_variable freed_;
  bool started_ = false;
  Clock::time_point nextIdleCheck_;
  std::atomic<bool> available_{false};  // read without the mutex once started
  std::unique_ptr<EndpointSpace> space_;
  std::vector<std::unique_ptr<Slot>> slots_;
  bool stopping_ = false;
  std::condition_variable drainsChanged_;
  std::thread drainWatcher_;  // started with the first drain
};

}  // namespace phpisapi
