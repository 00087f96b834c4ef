// The PHP gateway through the real server on loopback, with the echo module
// as php/phpisapi: the control block it gets, the callbacks' answers, the
// response head of code 1016 and the keep-alive decision.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "HttpTestSupport.h"
#include "platform/Env.h"
#include "platform/Files.h"

namespace {

using httptest::Client;
using httptest::Get;
using httptest::RawExchange;
using Report = std::map<std::string, std::string>;

Report Parse(const std::string& body) {
  Report report;
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}

class GatewayTest : public httptest::ServerTest {
 protected:
  void SetUp() override {
    site.folder.Write("www/info.php", "not read by the echo module");
    site.folder.Write("www/docs/index.php", "");
    site.folder.Write("www/a b/x.php", "");
    site.folder.Write("www/static.txt", "static");
    StartServer();
  }

  std::string Native(const std::string& relative) const {
    std::string path = site.www;
    for (char c : relative) path += c == '/' ? platform::PathDelim : c;
    return path;
  }

  // The echo module's report on one request.
  Report Ask(const std::string& request) { return Parse(ServerTest::Ask(request).body); }
};

TEST_F(GatewayTest, GetFillsTheControlBlock) {
  const Report r = Ask(Get("/info.php?x=1"));
  EXPECT_EQ(r.at("cbSize"), r.at("sizeofBlock"));
  EXPECT_EQ(r.at("dwVersion"), "131072");  // 2.0
  EXPECT_EQ(r.at("ConnID"), "set");
  EXPECT_EQ(r.at("dwHttpStatusCode"), "0");
  EXPECT_EQ(r.at("lpszLogData"), "zero");
  EXPECT_EQ(r.at("lpszMethod"), "GET");
  EXPECT_EQ(r.at("lpszQueryString"), "x=1");
  EXPECT_EQ(r.at("lpszPathInfo"), "/info.php");
  EXPECT_EQ(r.at("lpszPathTranslated"), Native("/info.php"));
  EXPECT_EQ(r.at("cbTotalBytes"), "0");
  EXPECT_EQ(r.at("cbAvailable"), "0");
  EXPECT_EQ(r.at("lpbData"), "null");
  EXPECT_EQ(r.at("lpszContentType"), "");
  EXPECT_EQ(r.at("body.length"), "0");
}

TEST_F(GatewayTest, PostBodyComesWithTheControlBlock) {
  const Report r = Ask(
      "POST /info.php HTTP/1.1\r\nHost: localhost\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 11\r\n\r\na=1&b=hello");
  EXPECT_EQ(r.at("lpszMethod"), "POST");
  EXPECT_EQ(r.at("cbTotalBytes"), "11");
  EXPECT_EQ(r.at("cbAvailable"), "11");
  EXPECT_EQ(r.at("lpbData"), "set");
  EXPECT_EQ(r.at("lpszContentType"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.at("body"), "a=1&b=hello");
}

// Past what the control block carries, a body comes through ReadClient
// from where the server kept it.
TEST_F(GatewayTest, LargeBodyComesPartlyThroughReadClient) {
  std::string body(3 << 20, 'b');
  for (std::size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + i % 26);
  Client client(site.port);
  client.Send("POST /info.php?var=CONTENT_LENGTH HTTP/1.1\r\nHost: localhost\r\n"
              "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  const Report r = Parse(client.Read(false, std::chrono::seconds(20)).body);
  EXPECT_EQ(r.at("cbTotalBytes"), std::to_string(body.size()));
  EXPECT_EQ(r.at("cbAvailable"), std::to_string(1 << 20));
  EXPECT_EQ(r.at("body.length"), std::to_string(body.size()));
  EXPECT_EQ(r.at("body"), body);
  EXPECT_GE(std::stoi(r.at("body.reads")), 3);  // 8192-byte buffer
}

TEST_F(GatewayTest, IndexFileSeesTheFolderUrlAsHttpUrl) {
  const Report r = Ask(Get("/docs/?a=1&var=SCRIPT_NAME&var=URL&var=REQUEST_URI&var=PATH_INFO&var=HTTP_URL"));
  EXPECT_EQ(r.at("lpszPathInfo"), "/docs/index.php");
  EXPECT_EQ(r.at("lpszPathTranslated"), Native("/docs/index.php"));
  EXPECT_EQ(r.at("lpszQueryString"),
            "a=1&var=SCRIPT_NAME&var=URL&var=REQUEST_URI&var=PATH_INFO&var=HTTP_URL");
  EXPECT_EQ(r.at("var.SCRIPT_NAME"), "/docs/index.php");
  EXPECT_EQ(r.at("var.URL"), "/docs/index.php");
  EXPECT_EQ(r.at("var.REQUEST_URI"), "/docs/index.php");
  EXPECT_EQ(r.at("var.PATH_INFO"), "/docs/index.php");
  EXPECT_EQ(r.at("var.HTTP_URL"),
            "/docs/?a=1&var=SCRIPT_NAME&var=URL&var=REQUEST_URI&var=PATH_INFO&var=HTTP_URL");
}

// However a client frames its body, the module gets exactly that body, and
// the bytes after it are the next request.
TEST_F(GatewayTest, BodiesReachTheModuleAsTheirClientsFramedThem) {
  const std::string post = "POST /info.php?keep=1&var=CONTENT_LENGTH HTTP/1.1\r\nHost: x\r\n"
                           "Connection: keep-alive\r\n";
  struct Case {
    const char* what;
    std::vector<std::string> packets;
    const char* method;
    const char* body;
    const char* length;  // CONTENT_LENGTH as the module reads it
  } cases[] = {
      {"body in the head's packet, a request after it",
       {post + "Content-Length: 4\r\n\r\nABCD" + Get("/static.txt")}, "POST", "ABCD", "4"},
      {"method split across packets",
       {"POS", "T /info.php?keep=1 HTTP/1.1\r\nConnection: keep-alive\r\nContent-Length: 4\r\n\r\n",
        "ABCD" + Get("/static.txt")},
       "POST", "ABCD", "4"},
      {"chunked, with an extension and a trailer",
       {post + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n4;x=1\r\ndefg\r\n",
        "A\r\n0123456789\r\n0\r\nX-Trailer: 1\r\n\r\n" + Get("/static.txt")},
       "POST", "abcdefg0123456789", "17"},
      {"chunked, byte by byte",
       {post + "Transfer-Encoding: CHUNKED\r\n\r\n", "2", "\r", "\n", "hi", "\r\n", "0\r\n\r\n",
        Get("/static.txt")},
       "POST", "hi", "2"},
  };
  for (const Case& c : cases) {
    Client client(site.port);
    for (const std::string& packet : c.packets) {
      ASSERT_TRUE(client.Send(packet)) << c.what;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    const Report r = Parse(client.Read().body);
    EXPECT_EQ(r.count("lpszMethod") ? r.at("lpszMethod") : "", c.method) << c.what;
    EXPECT_EQ(r.count("body") ? r.at("body") : "", c.body) << c.what;
    EXPECT_EQ(r.count("cbTotalBytes") ? r.at("cbTotalBytes") : "", c.length) << c.what;
    if (r.count("var.CONTENT_LENGTH")) EXPECT_EQ(r.at("var.CONTENT_LENGTH"), c.length) << c.what;
    EXPECT_EQ(client.Read().body, "static") << c.what;
  }
}

// Many clients try ::1 first for localhost. Either way the module sees the
// connection's own two ends, an IPv4 client in its dotted form.
TEST_F(GatewayTest, ClientsOfBothAddressFamiliesAreServedAndSeenAsThemselves) {
  const std::string vars = "/info.php?keep=1&var=REMOTE_ADDR&var=REMOTE_PORT&var=SERVER_ADDR&var=REQUEST_SCHEME";
  for (const char* address : {"127.0.0.1", "::1"}) {
    Client client(site.port, address);
    ASSERT_TRUE(client.Connected()) << address;
    Report r = Parse(client.Request(Get(vars, "Connection: keep-alive\r\n")).body);
    EXPECT_EQ(r["var.REMOTE_ADDR"], address);
    EXPECT_EQ(r["var.REMOTE_PORT"], std::to_string(client.LocalPort())) << address;
    EXPECT_EQ(r["var.SERVER_ADDR"], address);
    EXPECT_EQ(r["var.REQUEST_SCHEME"], "http");
    EXPECT_EQ(client.Request(Get("/static.txt")).body, "static") << address;
  }
}

// php.ini beside the suite sets post_max_size = 4M (4194304 bytes). A body
// refused for its declared length is refused before the client is told to
// send it, so the first answer is the refusal, never "100 Continue".
TEST_F(GatewayTest, BadBodiesAreRefusedBeforeTheModuleRuns) {
  const std::string post = "POST /info.php HTTP/1.1\r\nHost: x\r\n";
  std::string chunks;
  for (int i = 0; i < 5; ++i) chunks += "100000\r\n" + std::string(0x100000, 'c') + "\r\n";
  struct Case {
    const char* what;
    std::string request;
    int status;
  } cases[] = {
      {"chunk size that is no number",
       post + "Transfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n", 400},
      {"chunk data longer than its size",
       post + "Transfer-Encoding: chunked\r\n\r\n1\r\nabc\r\n0\r\n\r\n", 400},
      {"a body past the largest", post + "Content-Length: 3000000000\r\n\r\n", 413},
      {"past post_max_size, expecting 100 Continue",
       post + "Expect: 100-continue\r\nContent-Length: 4194305\r\n\r\n", 413},
      {"past post_max_size, its body under way",
       post + "Content-Length: 300000000\r\n\r\n" + std::string(256 * 1024, 'b'), 413},
      {"chunked, growing past post_max_size", post + "Transfer-Encoding: chunked\r\n\r\n" + chunks,
       413},
      {"exactly post_max_size", post + "Content-Length: 4194304\r\n\r\n" + std::string(4194304, 'e'),
       200},
  };
  for (const Case& c : cases) {
    Client client(site.port);
    const httptest::Response r = client.Request(c.request);
    EXPECT_EQ(r.status, c.status) << c.what;
    if (c.status == 413) EXPECT_NE(r.body.find("413 Content Too Large"), std::string::npos) << c.what;
    EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(3))) << c.what;
  }
}

TEST_F(GatewayTest, ExpectContinueIsAnsweredBeforeTheBodyIsSent) {
  Client client(site.port);
  ASSERT_TRUE(client.Send("POST /info.php HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                          "Content-Length: 5\r\n\r\n"));
  EXPECT_EQ(client.Read().status, 100);
  ASSERT_TRUE(client.Send("hello"));
  EXPECT_EQ(Parse(client.Read().body).at("body"), "hello");
}

TEST_F(GatewayTest, HttpUrlIsTheTargetAsSent) {
  const Report r = Ask(Get("/a%20b/x.php?q=%41+b&var=HTTP_URL&var=SCRIPT_NAME"));
  EXPECT_EQ(r.at("var.HTTP_URL"), "/a%20b/x.php?q=%41+b&var=HTTP_URL&var=SCRIPT_NAME");
  EXPECT_EQ(r.at("var.SCRIPT_NAME"), "/a b/x.php");
  EXPECT_EQ(r.at("lpszQueryString"), "q=%41+b&var=HTTP_URL&var=SCRIPT_NAME");
}

TEST_F(GatewayTest, CallbacksAnswerAsTheInterfacePrescribes) {
  const Report r = Ask(Get("/info.php"));
  EXPECT_EQ(r.at("small.result"), "0");
  EXPECT_EQ(r.at("small.error"), "122");
  EXPECT_EQ(r.at("small.size"), "35");
  EXPECT_EQ(r.at("exact.result"), "1");
  EXPECT_EQ(r.at("exact.size"), "35");
  EXPECT_EQ(r.at("exact.value"), "Portavane/6.29 (Apache-compatible)");
  EXPECT_EQ(r.at("unknown.result"), "1");
  EXPECT_EQ(r.at("unknown.size"), "1");
  EXPECT_EQ(r.at("write0.result"), "1");
  EXPECT_EQ(r.at("write0.count"), "0");
  EXPECT_EQ(r.at("map.result"), "1");
  EXPECT_EQ(r.at("map.path"), Native("/sub/x.php"));
  EXPECT_EQ(r.at("map.flags"), "77");  // only the path is written
  EXPECT_EQ(r.at("code3"), "0");
  EXPECT_EQ(r.at("code4"), "0");
  EXPECT_EQ(r.at("code1017"), "0");
  EXPECT_EQ(r.at("code1016.null"), "0");
}

// The module's Date and a length that is no number do not pass, nor a
// status that names no code.
TEST_F(GatewayTest, ResponseHeadIsExactlyStatusServerDateHeadersConnection) {
  for (const char* target : {"/info.php?mode=head", "/info.php?mode=head&status=bad"}) {
    const std::string head = RawExchange(site.port, Get(target));
    EXPECT_TRUE(std::regex_match(head, std::regex("HTTP/1\\.1 200 OK\r\nServer: Portavane/6\\.29\r\n"
                                                  "Date: \\w{3}, \\d\\d \\w{3} 20\\d\\d [0-9:]{8} GMT\r\n"
                                                  "X-Test: a\r\nConnection: close\r\n\r\n")))
        << target << "\n" << head;
  }
}

TEST_F(GatewayTest, ModuleKeepsTheConnectionOpenWithFKeepConn) {
  Client client(site.port);
  const httptest::Response first = client.Request(Get("/info.php?keep=1"));  // no Connection header
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(first.Header("Connection"), "Keep-Alive");
  EXPECT_TRUE(client.SilentFor(std::chrono::milliseconds(300)));
  const httptest::Response second = client.Request(Get("/info.php?keep=1"));
  EXPECT_EQ(second.status, 200);
  EXPECT_EQ(Parse(second.body).at("lpszMethod"), "GET");
}

TEST_F(GatewayTest, ModuleClosesTheConnectionWithoutFKeepConn) {
  Client client(site.port);
  const httptest::Response r = client.Request(Get("/info.php", "Connection: keep-alive\r\n"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
}

TEST_F(GatewayTest, OutputWithoutResponseHeaderClosesTheConnection) {
  EXPECT_EQ(RawExchange(site.port, Get("/info.php?mode=noheader", "Connection: keep-alive\r\n")),
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
}

TEST_F(GatewayTest, TwoFirstRequestsAtOnceBothReachTheModule) {
  platform::SetEnv("PV_SUPPORT_LOAD_MS", "300");  // the first load is still running when the second comes
  Client a(site.port), b(site.port);
  a.Send(Get("/info.php?x=a"));
  b.Send(Get("/info.php?x=b"));
  const Report ra = Parse(a.Read(false, std::chrono::seconds(5)).body);
  const Report rb = Parse(b.Read(false, std::chrono::seconds(5)).body);
  platform::SetEnv("PV_SUPPORT_LOAD_MS", "");
  EXPECT_EQ(ra.count("lpszQueryString") ? ra.at("lpszQueryString") : "", "x=a");
  EXPECT_EQ(rb.count("lpszQueryString") ? rb.at("lpszQueryString") : "", "x=b");
}

TEST_F(GatewayTest, ServerFreesTheModuleBeforeItsSupportLibraries) {
  const std::string log = site.folder.Path() + "/unload.log";
  platform::SetEnv("PV_UNLOAD_LOG", log);
  EXPECT_EQ(Ask(Get("/info.php")).at("lpszMethod"), "GET");
  server.reset();
  platform::SetEnv("PV_UNLOAD_LOG", "");
  EXPECT_EQ(site.folder.Read("unload.log"), "module\nsupport\n");
}

TEST_F(GatewayTest, StaticFilesBesideThePhpPages) {
  Client client(site.port);
  const httptest::Response r = client.Request(Get("/static.txt"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "static");
}

}  // namespace
