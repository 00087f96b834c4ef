// Requests as real clients frame them, and as attackers do: every answer in
// order, no body ever read as a request, no doubtful head served.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "HttpTestSupport.h"

using namespace httptest;

namespace {

struct Exchange {
  const char* what;
  std::vector<std::string> packets;  // sent a moment apart
  std::vector<int> statuses;         // the answers, in order
  bool closed;                       // the server closes after the last one
  const char* lastBody = nullptr;
};

class FramingTest : public ServerTest {
 protected:
  void SetUp() override {
    site.folder.Write("www/t.txt", "text");
    site.folder.Write("www/a.txt", "a");
    StartServer();
  }
};

TEST_F(FramingTest, EachRequestIsReadAsItsClientFramedIt) {
  const std::string keep = "Connection: keep-alive\r\n";
  const Exchange cases[] = {
      {"head in pieces", {"GE", "T /t.txt HT", "TP/1.1\r\nHost: x\r\n", "\r\n"}, {200}, true, "text"},
      {"empty lines before the request", {"\r\n\r\n" + Get("/t.txt")}, {200}, true, "text"},
      {"two pipelined, then one more",
       {Get("/t.txt", keep) + Get("/a.txt", keep), Get("/t.txt")}, {200, 200, 200}, true, "text"},
      {"a chunked body to a static file is never a request",
       {"POST /t.txt HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n" + keep +
        "\r\n17\r\nGET /a.txt HTTP/1.1\r\n\r\n\r\n0\r\n\r\n"},
       {200}, true, "text"},
      {"a length body to a static file is never a request",
       {"POST /t.txt HTTP/1.1\r\nHost: x\r\nContent-Length: 23\r\n" + keep +
        "\r\nGET /a.txt HTTP/1.1\r\n\r\n"},
       {200}, true, "text"},
      {"length and chunked at once",
       {"POST /t.txt HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"}, {400},
       true},
      {"two different lengths",
       {"POST /t.txt HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd"}, {400}, true},
      {"a length that is no number", {"POST /t.txt HTTP/1.1\r\nContent-Length: +3\r\n\r\nabc"},
       {400}, true},
      {"a blank before the colon of the coding",
       {"POST /t.txt HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n0\r\n\r\n"}, {400}, true},
      {"a blank before the colon of any header", {Get("/t.txt", "Proxy : x\r\n" + keep)}, {400},
       true},
      {"a coding other than chunked",
       {"POST /t.txt HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"}, {501}, true},
      {"a bare line feed in the request line",
       {"GET /t.txt\nFORGED LINE HTTP/1.1\r\nHost: x\r\n\r\n"}, {400}, true},
      {"a bare carriage return in a header", {Get("/t.txt", "X-A: 1\rX-B: 2\r\n")}, {400}, true},
      {"HTTP/1.0 asking to keep the connection",
       {"GET /t.txt HTTP/1.0\r\n" + keep + "\r\n", "GET /a.txt HTTP/1.0\r\n\r\n"}, {200, 200},
       true, "a"},
  };
  for (const Exchange& c : cases) {
    Client client(site.port);
    for (const std::string& packet : c.packets) {
      ASSERT_TRUE(client.Send(packet)) << c.what;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Response last;
    for (int status : c.statuses) {
      last = client.Read();
      EXPECT_EQ(last.status, status) << c.what;
    }
    if (c.lastBody) EXPECT_EQ(last.body, c.lastBody) << c.what;
    EXPECT_EQ(client.ClosedWithin(std::chrono::seconds(2)), c.closed) << c.what;
  }
}

TEST_F(FramingTest, StatusLinesCarryTheirReasonAndHttp10IsToldItIsKept) {
  const std::string raw = RawExchange(site.port, Get("/missing"));
  EXPECT_EQ(raw.substr(0, raw.find("\r\n")), "HTTP/1.1 404 Not Found");
  Client client(site.port);
  const Response kept = client.Request("GET /t.txt HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
  EXPECT_EQ(kept.Header("Connection"), "keep-alive");
  EXPECT_EQ(client.Request("GET /t.txt HTTP/1.1\r\nConnection: keep-alive\r\n\r\n")
                .Header("Connection"),
            "");
}

}  // namespace
