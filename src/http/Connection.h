// What a worker serves one connection with: the settings copied into it at
// the hand-off and the cells it owns for the connection's lifetime.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Socket.h"

class TAccessLog;
class TMimeTable;
class TPHPDllLoader;
struct TMappingSettings;

// Copied from the server into a parked worker with every connection, so a
// worker always serves with the settings of the last Start.
struct TWorkerSettings {
  TPHPDllLoader* phpLoader = nullptr;
  TMimeTable* mimeTable = nullptr;
  TAccessLog* accessLog = nullptr;  // the server's LogLock and LogHandle
  const TMappingSettings* mapping = nullptr;  // the server's, parsed once at Start; its root
  std::string portText;
  std::string clientAddress;
  std::string logFolder;
  std::string spoolFolder;  // where large request bodies wait for PHP
};

// One connection as its worker sees it.
struct TConnection {
  platform::SocketHandle socket = 0;
  const TWorkerSettings* settings = nullptr;
  std::vector<char>* buffer = nullptr;          // the worker's receive and file buffer
  std::string* pending = nullptr;               // bytes received past the last head or body
  std::string* connectionContext = nullptr;     // the worker's cell, for the PHP gateway
  std::uint8_t* keepAliveFlag = nullptr;        // the worker's cell, for the PHP gateway
  const std::atomic<bool>* terminating = nullptr;
  bool servedBefore = false;  // a request of this connection was answered
};
