// TWebServer: the HTTP server. A listener thread that accepts connections on
// the configured port and hands each to a parked worker (TMsgSender) of a
// pool that grows on demand up to maxconnections. A worker that finishes a
// connection takes the next queued one itself before it parks. A connection
// that finds the pool full is answered 503 and closed. A worker ends once
// it has lived a while and its connection is over, and the pool grows again
// as connections come: glibc keeps the blocks each thread freed in a cache of
// that thread, which fills up over hours with every size the requests used.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/Connection.h"
#include "http/UrlMapping.h"
#include "platform/Socket.h"
#include "platform/ThreadParker.h"

// A worker thread: parked while idle, serving one connection at a time.
class TMsgSender {
 public:
  TMsgSender();
  // Terminate, then wait for the thread to end.
  ~TMsgSender();
  TMsgSender(const TMsgSender&) = delete;
  TMsgSender& operator=(const TMsgSender&) = delete;

  // Gives `socket` to the worker when it is parked; false when it is busy.
  // `listener` is where the worker takes further connections from; it stays
  // open until the worker is destroyed.
  bool TryHandOff(const TWorkerSettings& settings, const std::string& peerAddress,
                  platform::SocketHandle socket, platform::SocketHandle listener);
  // Asks the thread to end: the connection being served is shut down, so its
  // pending calls fail at once, and a parked thread is woken.
  void Terminate();
  // True once the worker has lived its time and ended, or was idle at `now`
  // past that time and is told to end; it takes no connection from then on.
  bool Retire(std::chrono::steady_clock::time_point now);

 private:
  void Execute();
  void ServeConnection();
  void TakeQueued();  // under lock_
  bool WornOut(std::chrono::steady_clock::time_point now) const;

  std::mutex lock_;               // guards the changes of socket_, and settings_
  platform::ThreadParker parker_;
  std::atomic<bool> terminating_{false};
  std::atomic<bool> ended_{false};  // the thread ended by itself, worn out
  const std::chrono::steady_clock::time_point born_ = std::chrono::steady_clock::now();
  // 0 exactly while parked; read without the lock, the listener passes over
  // a busy worker without taking its lock.
  std::atomic<platform::SocketHandle> socket_{0};
  platform::SocketHandle listener_ = 0;
  TWorkerSettings settings_;
  std::string connectionContext_;
  std::uint8_t keepAliveFlag_ = 0;
  std::vector<char> buffer_;
  std::string pending_;           // bytes of the connection past its last request
  std::thread thread_;            // last: starts once every field exists
};

class TWebServer {
 public:
  explicit TWebServer(const std::string& settingsPath);
  // Stops, ends the listener thread, unloads the PHP module.
  ~TWebServer();
  TWebServer(const TWebServer&) = delete;
  TWebServer& operator=(const TWebServer&) = delete;

  // Reads the settings and starts listening; returns once listening or
  // failed, calling `processEvents` while it waits. Invalid settings: nothing
  // happens. Read Active and LastError afterwards.
  void Start(const std::function<void()>& processEvents = {});
  // Closes the listener and every connection; returns once all are down.
  void Stop(const std::function<void()>& processEvents = {});

  bool Active() const { return active_; }
  // Socket error of the last bind and listen, as a Winsock number (10048:
  // port in use); 0 after a successful start.
  int LastError() const { return lastError_; }

 private:
  bool LoadSettings();
  void Execute();
  void ListenAndAccept();
  void AcceptLoop(platform::SocketHandle listener);
  void HandOff(platform::SocketHandle client, const std::string& peerAddress,
               platform::SocketHandle listener);
  void DestroyWorkers();
  void RetireWorkers();  // at most once a second
  void SignalState();
  void WaitUntil(const std::function<bool()>& done, const std::function<void()>& processEvents);

  platform::SocketLibrary socketLibrary_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminating_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<platform::SocketHandle> listenSocket_{0};
  std::string documentRoot_;
  int port_ = 0;
  std::unique_ptr<TMimeTable> mimeTable_;
  std::string indexFiles_;
  std::string phpExtensions_;
  bool readFolderRules_ = true;
  bool projectHosts_ = true;
  std::string settingsPath_;
  std::string logFolder_;
  std::unique_ptr<TAccessLog> accessLog_;  // LogLock and LogHandle
  std::unique_ptr<TMappingSettings> mapping_;  // what the workers of this start map with
  int maxConnections_ = 0;
  std::int64_t maxBodyBytes_ = kMaxBodyBytes;  // the tree's post_max_size
  TPoolLoad poolLoad_;
  std::vector<std::unique_ptr<TMsgSender>> workers_;
  std::chrono::steady_clock::time_point nextRetirement_;
  std::unique_ptr<TPHPDllLoader> phpLoader_;
  TWorkerSettings handOffSettings_;  // the listener's, filled as it starts listening
  std::atomic<bool> active_{false};
  std::atomic<int> lastError_{0};
  std::mutex stateLock_;
  std::condition_variable stateChanged_;
  std::thread thread_;  // last: starts once every field exists
};
