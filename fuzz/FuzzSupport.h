// What the fuzz targets share: a connected socket pair standing in for a
// client's connection, and the worker cells a TConnection points to.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "http/Connection.h"

namespace fuzz {

// A stop for the target when an invariant breaks: libFuzzer saves the input.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) fuzz::Fail(#condition, __FILE__, __LINE__);               \
  } while (0)
[[noreturn]] void Fail(const char* condition, const char* file, int line);

// The server's end and the client's end of one local stream connection.
class SocketPair {
 public:
  SocketPair();
  ~SocketPair();
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  platform::SocketHandle server() const { return server_; }
  // Sends `data` from the client and closes the client's sending side.
  void ClientSendsAndCloses(const void* data, std::size_t length);
  // Closes the server's sending side and reads what it had sent.
  std::string ClientReceivesAll();

 private:
  int server_ = -1, client_ = -1;
};

// A worker's cells for one connection on `socket`.
struct Worker {
  explicit Worker(platform::SocketHandle socket);
  TWorkerSettings settings;
  std::vector<char> buffer = std::vector<char>(8192);
  std::string context;
  std::string pending;
  std::uint8_t keepAlive = 0;
  std::atomic<bool> terminating{false};
  TConnection connection;
};

}  // namespace fuzz
