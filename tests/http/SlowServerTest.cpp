// The 5-second waits of a connection. The cases run side by side, so the
// suite takes one wait, not one per case.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "HttpTestSupport.h"

using namespace httptest;
using namespace std::chrono;

namespace {

using Clock = steady_clock;

double SecondsSince(Clock::time_point start) {
  return duration<double>(Clock::now() - start).count();
}

TEST(SlowServerTest, FiveSecondWaits) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());

  // Keep-alive: a second request within the wait is served, then 5 silent
  // seconds close the connection.
  auto keptAlive = std::async(std::launch::async, [&] {
    Client client(site.port);
    const Response first = client.Request(Get("/a.txt", "Connection: keep-alive\r\n"));
    const Response second = client.Request(Get("/a.txt", "Connection: keep-alive\r\n"));
    const auto start = Clock::now();
    const bool silentAWhile = client.SilentFor(seconds(4));
    const bool closed = client.ClosedWithin(seconds(3));
    return first.status == 200 && first.Header("Connection").empty() && second.body == "a" &&
           silentAWhile && closed && SecondsSince(start) < 6.5;
  });
  // A request line without its blank line is answered once 5 seconds pass.
  auto unfinished = std::async(std::launch::async, [&] {
    Client client(site.port);
    client.Send("GET /a.txt?unfinished HTTP/1.1\r\nHost: x\r\n");
    const auto start = Clock::now();
    const Response r = client.Read(false, seconds(8));
    const double waited = SecondsSince(start);
    return r.status == 200 && r.body == "a" && waited > 4.5 && waited < 7.0;
  });
  // A client that sends nothing is closed after 5 seconds and not logged.
  auto silent = std::async(std::launch::async, [&] {
    Client client(site.port);
    const auto start = Clock::now();
    const bool closed = client.ClosedWithin(seconds(8));
    const double waited = SecondsSince(start);
    return closed && waited > 4.5 && waited < 7.0;
  });

  EXPECT_TRUE(keptAlive.get());
  EXPECT_TRUE(unfinished.get());
  EXPECT_TRUE(silent.get());
  const std::string log = site.LogText();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;  // two kept, one unfinished
  EXPECT_NE(log.find("GET /a.txt?unfinished HTTP/1.1\r\n"), std::string::npos);
}

// A head that trickles in, a byte within every 5-second wait, is refused with
// 408 20 s after its first byte; meanwhile the other workers answer. About 21 s.
TEST(SlowServerTest, TricklingHeadsAreRefusedAfterTwentySeconds) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer({{"maxconnections", "3"}});
  ASSERT_TRUE(server->Active());

  auto trickle = [&] {
    Client client(site.port);
    const auto start = Clock::now();
    client.Send("GET /a.txt HTTP/1.1\r\n");
    while (SecondsSince(start) < 30) {
      const Response r = client.Read(false, seconds(4));
      if (r.complete) return r.status == 408 && client.ClosedWithin(seconds(1)) ? SecondsSince(start) : -2.0;
      client.Send("X");
    }
    return -1.0;
  };
  auto first = std::async(std::launch::async, trickle);
  auto second = std::async(std::launch::async, trickle);
  std::this_thread::sleep_for(seconds(9));
  Client other(site.port);
  const Response meanwhile = other.Request(Get("/a.txt"));
  EXPECT_EQ(meanwhile.status, 200);
  EXPECT_EQ(meanwhile.body, "a");
  for (auto* slow : {&first, &second}) {
    const double dropped = slow->get();
    EXPECT_GT(dropped, 19.5);
    EXPECT_LT(dropped, 23.0);
  }
  const std::string log = site.LogText();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;  // only the one answered
}

// Clients that ask for a large file and never read it hold their workers
// only until a send has waited 30 s; then others are served again. About 35 s.
TEST(SlowServerTest, ClientsThatDoNotReadLoseTheirConnection) {
  TestSite site;
  site.folder.Write("www/large.bin", std::string(48 << 20, 'x'));
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer({{"maxconnections", "2"}});
  ASSERT_TRUE(server->Active());
  Client stalled[] = {Client(site.port), Client(site.port)};
  for (Client& client : stalled) ASSERT_TRUE(client.Send(Get("/large.bin")));
  std::this_thread::sleep_for(seconds(2));
  EXPECT_FALSE(Client(site.port).Request(Get("/a.txt")).complete);  // the pool is full
  const auto start = Clock::now();
  Response served;
  while (!served.complete && SecondsSince(start) < 45) {
    std::this_thread::sleep_for(seconds(1));
    served = Client(site.port).Request(Get("/a.txt"));
  }
  EXPECT_EQ(served.body, "a");
  EXPECT_GT(SecondsSince(start), 20.0);
}

}  // namespace
