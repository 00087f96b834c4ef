// ServePhpRequest: hands one request to the PHP module through an
// EXTENSION_CONTROL_BLOCK and reports whether the connection is to be closed.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "common/HttpRequest.h"
#include "common/RequestBody.h"
#include "platform/Socket.h"

class TPHPDllLoader;

// What the worker gives the gateway for one request.
struct TPhpRequestRecord {
  platform::SocketHandle socket = 0;
  const THttpRequest* request = nullptr;  // parsed, its script mapped
  TRequestBody* body = nullptr;           // read whole before the module runs; null: none
  std::string documentRoot;
  std::string serverSoftware;
  std::string clientAddress;
  std::string portText;
  std::string logFolder;  // where a PHP that cannot be loaded is reported
  int defaultStatus = 0;  // a folder's error page: the status unless the script sets one
  std::string extraHeaders;  // lines the folder rules add to the answer ("Name: value\r\n")
  std::uint8_t* keepAliveFlag = nullptr;    // the worker's cell
  std::string* connectionContext = nullptr; // the worker's cell; ConnID points here
  TPHPDllLoader* loader = nullptr;
  const std::atomic<bool>* terminating = nullptr;  // the worker's flag
};

// Returns CloseAfter: true unless the module asked to keep the connection.
// Without a module to call, the client is told so with 503 and the
// connection is closed.
bool ServePhpRequest(const TPhpRequestRecord& request);
