// The 5-second waits of a connection. The cases run side by side, so the
// suite takes one wait, not one per case.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

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
// 408 20 s after its first byte; meanwhile the other workers answer (the pool
// never nearly full). About 21 s.
TEST(SlowServerTest, TricklingHeadsAreRefusedAfterTwentySeconds) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer({{"maxconnections", "4"}});
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
  EXPECT_EQ(Client(site.port).Request(Get("/a.txt")).status, 503);  // the pool is full
  const auto start = Clock::now();
  Response served;
  while (served.status != 200 && SecondsSince(start) < 45) {
    std::this_thread::sleep_for(seconds(1));
    served = Client(site.port).Request(Get("/a.txt"));
  }
  EXPECT_EQ(served.body, "a");
  EXPECT_GT(SecondsSince(start), 20.0);
}

// A PHP page's body has ten seconds to begin and must then keep up 512 bytes
// a second, counted in body bytes over each five seconds: neither what came
// before nor chunk framing buys time. Here, with no PHP beside the suite, a
// body read whole is answered by the 503 of a tree without PHP. About 16 s.
TEST(SlowServerTest, BodiesAreHeldToAPaceOnceTheyBegan) {
  TestSite site;
  site.folder.Write("www/page.php", "");
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  const std::string post = "POST /page.php HTTP/1.1\r\nHost: x\r\n";
  struct Case {
    const char* what;
    std::string head;
    std::string piece;  // sent every 100 ms
    int pieces;         // then silence
    int status;
    double earliest, latest;  // the answer's time
  } cases[] = {
      {"a large start, then silence", post + "Content-Length: 2000000\r\n\r\n",
       std::string(64 * 1024, 'a'), 5, 408, 14.0, 17.0},
      {"chunk extensions around a byte each",
       post + "Transfer-Encoding: chunked\r\n\r\n",
       "1;pad=" + std::string(4000, 'p') + "\r\nb\r\n", 160, 408, 14.0, 17.0},
      {"a slow line that keeps up", post + "Content-Length: 18000\r\n\r\n",
       std::string(150, 'c'), 120, 503, 11.0, 14.0},
  };
  std::vector<std::future<std::string>> outcomes;
  for (const Case& c : cases)
    outcomes.push_back(std::async(std::launch::async, [&site, &c] {
      Client client(site.port);
      const auto start = Clock::now();
      client.Send(c.head);
      for (int i = 0; i < c.pieces && client.Send(c.piece); ++i)
        std::this_thread::sleep_for(milliseconds(100));
      const Response r = client.Read(false, seconds(25));
      const double answered = SecondsSince(start);
      return r.status == c.status && answered > c.earliest && answered < c.latest
                 ? std::string()
                 : std::to_string(r.status) + " after " + std::to_string(answered) + " s";
    }));
  for (std::size_t i = 0; i < outcomes.size(); ++i)
    EXPECT_EQ(outcomes[i].get(), "") << cases[i].what;
}

// A hundred connections that send half a head and then a byte a second:
// the client that finds the pool full is told to come back, and the heads
// still awaited are cut short, so a client is served within seconds. About 3 s.
TEST(SlowServerTest, AFullPoolFreesItselfWithinSeconds) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer({{"maxconnections", "100"}});
  ASSERT_TRUE(server->Active());
  std::vector<std::unique_ptr<Client>> holders;
  for (int i = 0; i < 100; ++i) {
    holders.push_back(std::make_unique<Client>(site.port));
    holders.back()->Send("GET /a.txt HTTP/1.1\r\nHost: x\r\n");
  }
  std::this_thread::sleep_for(milliseconds(300));
  Client turnedAway(site.port);
  const Response busy = turnedAway.Request(Get("/a.txt"));
  EXPECT_EQ(busy.status, 503);
  EXPECT_EQ(busy.Header("Retry-After"), "2");
  EXPECT_TRUE(turnedAway.ClosedWithin(seconds(2)));
  const auto start = Clock::now();
  Response served;
  for (int round = 1; served.status != 200 && SecondsSince(start) < 15; ++round) {
    std::this_thread::sleep_for(milliseconds(200));
    if (round % 5 == 0)
      for (auto& holder : holders) holder->Send("X");
    served = Client(site.port).Request(Get("/a.txt"));
  }
  EXPECT_EQ(served.body, "a");
  EXPECT_LT(SecondsSince(start), 5.0);
}

}  // namespace
