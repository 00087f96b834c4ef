// Starting, stopping and the worker pool of a server on a loopback port.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "HttpTestSupport.h"
#include "platform/Socket.h"

using namespace httptest;
using namespace std::chrono_literals;

namespace {

TEST(ServerLifecycleTest, EveryInvalidSettingRefusesToStart) {
  TestSite site;
  const std::map<std::string, std::string> invalid[] = {
      {{"port", "0"}},           {{"port", "65536"}},          {{"port", "80a"}},
      {{"port", ""}},            {{"root", site.www + "/nope"}}, {{"root", ""}},
      {{"index", " "}},          {{"index", ""}},              {{"maxconnections", "0"}},
      {{"maxconnections", "x"}}, {{"maxconnections", "2147483647"}}, {{"php_extname", ""}},
      {{"php_extname", "  "}}};
  for (const auto& changes : invalid) {
    auto server = site.StartServer(changes);
    EXPECT_FALSE(server->Active()) << changes.begin()->first << "=" << changes.begin()->second;
    EXPECT_FALSE(Client(site.port).Connected());
  }
  // No settings file at all.
  auto server = std::make_unique<TWebServer>(site.folder.Path() + "/missing.ini");
  server->Start();
  EXPECT_FALSE(server->Active());
}

TEST(ServerLifecycleTest, APortInUseGives10048) {
  TestSite site;
  int error = 0;
  const platform::SocketHandle taken = platform::OpenListener(site.port, error);
  ASSERT_NE(taken, 0);
  auto server = site.StartServer();
  EXPECT_FALSE(server->Active());
  EXPECT_EQ(server->LastError(), 10048);
  platform::CloseSocket(taken);
  server->Start();  // the port is free again
  EXPECT_TRUE(server->Active());
  EXPECT_EQ(server->LastError(), 0);
}

TEST(ServerLifecycleTest, StopThenStartServesAgainWithTheSameTypes) {
  TestSite site;
  site.folder.Write("www/a.css", "p{}");
  site.folder.Write("www/a.unknownext", "?");
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  server->Start();  // while listening: changes nothing
  EXPECT_TRUE(server->Active());
  EXPECT_EQ(Client(site.port).Request(Get("/a.css")).Header("Content-Type"), "text/css");
  int calls = 0;
  server->Stop([&calls] { ++calls; });
  EXPECT_FALSE(server->Active());
  EXPECT_FALSE(Client(site.port).Connected());
  server->Stop();  // while stopped: returns at once
  server->Start();
  ASSERT_TRUE(server->Active());
  EXPECT_EQ(Client(site.port).Request(Get("/a.css")).Header("Content-Type"), "text/css");
  EXPECT_EQ(Client(site.port).Request(Get("/a.unknownext")).Header("Content-Type"),
            "application/octet-stream");
}

TEST(ServerLifecycleTest, AFullPoolTellsTheNextClientToComeBackAndCloses) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer({{"maxconnections", "1"}});
  ASSERT_TRUE(server->Active());
  Client first(site.port);
  EXPECT_EQ(first.Request(Get("/a.txt", "Connection: keep-alive\r\n")).status, 200);
  Client second(site.port);
  ASSERT_TRUE(second.Connected());
  const Response busy = second.Request(Get("/a.txt", "Connection: keep-alive\r\n"));
  EXPECT_EQ(busy.status, 503);
  EXPECT_EQ(busy.Header("Retry-After"), "2");
  EXPECT_EQ(busy.Header("Connection"), "close");
  EXPECT_NE(busy.body.find("busy"), std::string::npos) << busy.body;
  EXPECT_TRUE(second.ClosedWithin(2s));
  first.Close();
  std::this_thread::sleep_for(100ms);  // the worker parks again
  EXPECT_EQ(Client(site.port).Request(Get("/a.txt")).body, "a");
  const std::string log = site.LogText();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST(ServerLifecycleTest, StopEndsALargeSendAndReturns) {
  TestSite site;
  site.folder.Write("www/big.bin", std::string(64 << 20, 'b'));
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  Client reader(site.port);
  reader.Send(Get("/big.bin"));
  const Response r = reader.Read(true);  // the header only; the body is left unread
  EXPECT_EQ(r.status, 200);
  std::this_thread::sleep_for(200ms);  // the worker is blocked on a full socket now
  const auto before = std::chrono::steady_clock::now();
  server->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
  EXPECT_FALSE(server->Active());
  server.reset();  // destroying after Stop is fine too
}

TEST(ServerLifecycleTest, DestroyingARunningServerEndsItsConnections) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer();
  Client idle(site.port);
  idle.Send("GET /a.txt HTTP/1.1\r\n");  // a head not ended yet holds a worker in its wait
  EXPECT_EQ(Client(site.port).Request(Get("/a.txt")).body, "a");
  const auto before = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
  EXPECT_TRUE(idle.ClosedWithin(1s));
}

}  // namespace
