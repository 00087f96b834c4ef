// A document root in a temporary folder, a server over it on a free loopback
// port, and a small client that speaks to it through real sockets.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TempFolder.h"
#include "http/WebServerClass.h"
#include "platform/Socket.h"

namespace httptest {

using ::TempFolder;

int FreePort();

// A tree with www/, log/ and pvn.ini.
class TestSite {
 public:
  TestSite();
  // Writes pvn.ini from the defaults with `changes` applied (an empty value
  // removes the key).
  void WriteSettings(const std::map<std::string, std::string>& changes = {});
  // A server over the site, already started.
  std::unique_ptr<TWebServer> StartServer(const std::map<std::string, std::string>& changes = {});
  // Today's access log.
  std::string LogText() const;

  TempFolder folder;
  std::string www, log, settings;
  int port;
};

struct Response {
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;  // in order
  std::string body;
  bool complete = false;  // a whole header block arrived
  std::string Header(const std::string& name) const;  // "" when missing
  std::vector<std::string> HeaderNames() const;
};

class Client {
 public:
  explicit Client(int port, const std::string& address = "127.0.0.1");
  ~Client();
  bool Connected() const { return socket_ != 0; }
  int LocalPort() const { return platform::LocalPort(socket_); }
  bool Send(const std::string& data);
  // Reads one answer: the header block, then Content-Length bytes or the
  // chunks (decoded) unless `noBody` (HEAD, 304).
  Response Read(bool noBody = false, std::chrono::milliseconds timeout = std::chrono::seconds(3));
  Response Request(const std::string& request, bool noBody = false);
  // True when the server closes within `timeout` with no byte sent first.
  bool ClosedWithin(std::chrono::milliseconds timeout);
  // True when no byte and no close arrives within `timeout`.
  bool SilentFor(std::chrono::milliseconds timeout);
  void Close();

 private:
  long Receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout);
  platform::SocketHandle socket_ = 0;
  std::string pending_;
};

// A suite over one running server: its SetUp writes the site's files, then
// calls StartServer.
class ServerTest : public ::testing::Test {
 protected:
  void StartServer() {
    server = site.StartServer();
    ASSERT_TRUE(server->Active());
  }
  // One request on a connection of its own.
  Response Ask(const std::string& request, bool noBody = false) {
    Client client(site.port);
    return client.Request(request, noBody);
  }

  TestSite site;
  std::unique_ptr<TWebServer> server;
};

// A chunked body decoded, as a client reads it; "?" when its chunks are
// broken or it lacks the last one.
std::string Unchunked(const std::string& body);

// Every byte the server sends for `request` on a connection of its own, up
// to its close (at most 3 s of silence).
std::string RawExchange(int port, const std::string& request);

// "GET /path HTTP/1.1" with a Host line (localhost, unless `extra` has its own),
// `extra` header lines and the blank line.
std::string Get(const std::string& path, const std::string& extra = std::string(),
                const std::string& method = "GET");

}  // namespace httptest
