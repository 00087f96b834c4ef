// The answers of a running server, spoken to through loopback sockets.
#include <gtest/gtest.h>

#include <map>

#include "FolderRulesSite.h"
#include "HttpTestSupport.h"
#include "common/KestroClass.h"
#include "http/UrlMapping.h"

using namespace httptest;

namespace {

class ServerAnswersTest : public ServerTest {
 protected:
  void SetUp() override {
    for (int i = 0; i < 1000; ++i) thousand += static_cast<char>('a' + i % 26);
    site.folder.Write("www/t.txt", thousand);
    site.folder.Write("www/index.html", "<h1>welcome</h1>");
    site.folder.Write("www/style.css", "p{}");
    site.folder.Write("www/logo.png", "png");
    site.folder.Write("www/app.js", "1");
    site.folder.MakeFolder("www/docs");
    site.folder.Write("www/my site/index.html", "spaced");
    site.folder.Write("www/c++ notes.txt", "plus");
    // "é" as the file system names it: UTF-8 on Linux, the code page on Windows.
    accented = TKestro::Utf8ToAnsiIfValid("\xC3\xA9");
    site.folder.Write("www/" + accented + "/x.txt", "x");
    site.folder.Write("secret.txt", "outside");
    site.folder.Write("www/page.php", "<?php echo 1;");
    StartServer();
  }
  std::string TagOf(const std::string& path) {
    return Ask(Get(path)).Header("ETag");
  }

  std::string thousand;
  std::string accented;
};

TEST_F(ServerAnswersTest, FullAnswerCarriesEveryHeaderInOrderAndCloses) {
  Client client(site.port);
  const Response r = client.Request(Get("/t.txt"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.HeaderNames(),
            (std::vector<std::string>{"Server", "Date", "Content-Type", "Content-Length",
                                      "Last-Modified", "ETag", "Accept-Ranges", "Connection"}));
  EXPECT_EQ(r.Header("Server"), "Portavane/6.29");
  EXPECT_EQ(r.Header("Content-Type"), "text/plain");
  EXPECT_EQ(r.Header("Content-Length"), "1000");
  EXPECT_EQ(r.Header("Last-Modified"),
            TKestro::HttpDate(TKestro::FileModifiedLocal(site.www + "/t.txt")));
  EXPECT_EQ(r.Header("ETag"), "\"" + TKestro::FileETag(site.www + "/t.txt") + "\"");
  EXPECT_EQ(r.Header("Accept-Ranges"), "bytes");
  EXPECT_EQ(r.Header("Connection"), "close");
  EXPECT_EQ(r.body, thousand);
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
}

TEST_F(ServerAnswersTest, ServesIndexFilesAndContentTypes) {
  EXPECT_EQ(Ask(Get("/")).body, "<h1>welcome</h1>");
  EXPECT_EQ(Ask(Get("/style.css")).Header("Content-Type"), "text/css");
  EXPECT_EQ(Ask(Get("/logo.png")).Header("Content-Type"), "image/x-png");
  EXPECT_EQ(Ask(Get("/app.js")).Header("Content-Type"), "text/javascript");
  EXPECT_EQ(Ask(Get("/my%20site/")).body, "spaced");
  EXPECT_EQ(Ask(Get("/c++%20notes.txt")).body, "plus");  // in a path a plus is a plus
  EXPECT_EQ(Ask(Get("/%C3%A9/x.txt")).body, "x");
  EXPECT_EQ(Ask(Get("/t.txt", "", "get")).status, 200);  // the method is upper-cased
  EXPECT_EQ(Ask(Get("/t.txt", "", "POST")).body, thousand);
}

TEST_F(ServerAnswersTest, HeadGivesTheFullHeaderWithoutBody) {
  Client client(site.port);
  const Response r = client.Request(Get("/t.txt", "", "HEAD"), true);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("Content-Length"), "1000");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));  // and not one body byte before
}

TEST_F(ServerAnswersTest, NotModifiedNeedsBothValidators) {
  const Response first = Ask(Get("/t.txt"));
  const std::string since = "If-Modified-Since: " + first.Header("Last-Modified") + "\r\n";
  const std::string match = "If-None-Match: " + first.Header("ETag") + "\r\n";
  const Response r = Ask(Get("/t.txt", since + match), true);
  EXPECT_EQ(r.status, 304);
  EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"Server", "Date", "Content-Type",
                                                       "Content-Length", "Connection"}));
  EXPECT_EQ(r.Header("Content-Type"), "text/html");
  EXPECT_EQ(r.Header("Content-Length"), "0");
  EXPECT_EQ(Ask(Get("/t.txt", since)).status, 200);
  EXPECT_EQ(Ask(Get("/t.txt", match)).status, 200);
  EXPECT_EQ(Ask(Get("/t.txt", since + "If-None-Match: \"0123\"\r\n")).status, 200);
}

// What video players and download managers ask: exactly the one range.
TEST_F(ServerAnswersTest, PartialAnswerIsExactlyTheRangeAsked) {
  struct Case {
    const char* range;
    int status;
    const char* contentRange;  // 206 and 416
    std::size_t first, length;
  } cases[] = {
      {"bytes=500-", 206, "bytes 500-999/1000", 500, 500},
      {"bytes=500-599", 206, "bytes 500-599/1000", 500, 100},
      {"bytes=5-6", 206, "bytes 5-6/1000", 5, 2},
      {"bytes=0-99", 206, "bytes 0-99/1000", 0, 100},
      {"bytes=900-5000", 206, "bytes 900-999/1000", 900, 100},
      {"bytes=-100", 206, "bytes 900-999/1000", 900, 100},
      {"bytes=-5000", 206, "bytes 0-999/1000", 0, 1000},
      {"BYTES = 10-19", 206, "bytes 10-19/1000", 10, 10},
      {"bytes=1000-", 416, "bytes */1000", 0, 0},
      {"bytes=3000000000-", 416, "bytes */1000", 0, 0},
      {"bytes=-0", 416, "bytes */1000", 0, 0},
      {"items=3-", 200, "", 0, 1000},
      {"3-", 200, "", 0, 1000},
      {"bytes=0-1,5-6", 200, "", 0, 1000},
      {"bytes=9-5", 200, "", 0, 1000},
      {"bytes=a-", 200, "", 0, 1000},
  };
  for (const Case& c : cases) {
    const Response r = Ask(Get("/t.txt", std::string("Range: ") + c.range + "\r\n"));
    EXPECT_EQ(r.status, c.status) << c.range;
    EXPECT_EQ(r.Header("Content-Range"), c.contentRange) << c.range;
    EXPECT_EQ(r.body, thousand.substr(c.first, c.length)) << c.range;
  }
  const Response r = Ask(Get("/t.txt", "Range: bytes=500-599\r\n"));
  EXPECT_EQ(r.HeaderNames(),
            (std::vector<std::string>{"Server", "Date", "Content-Type", "Content-Length",
                                      "Content-Range", "Last-Modified", "ETag", "Accept-Ranges",
                                      "Connection"}));
  EXPECT_EQ(Ask(Get("/t.txt", "Range: bytes=500-\r\n", "HEAD"), true).status, 200);
}

TEST_F(ServerAnswersTest, IfRangeHonoursOnlyTheCurrentTag) {
  const std::string tag = TagOf("/t.txt");
  EXPECT_EQ(Ask(Get("/t.txt", "Range: bytes=10-\r\nIf-Range: " + tag + "\r\n")).status, 206);
  EXPECT_EQ(Ask(Get("/t.txt", "Range: bytes=10-\r\nIf-Range: \"ABC\"\r\n")).status, 200);
  const std::string date = Ask(Get("/t.txt")).Header("Last-Modified");
  const Response r = Ask(Get("/t.txt", "Range: bytes=10-\r\nIf-Range: " + date + "\r\n"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, thousand);
}

TEST_F(ServerAnswersTest, RangePastTheEndIsNotSatisfiable) {
  for (const char* range : {"bytes=1000-", "bytes=5000-6000"}) {
    Client client(site.port);
    const Response r = client.Request(Get("/t.txt", std::string("Range: ") + range + "\r\n"));
    EXPECT_EQ(r.status, 416) << range;
    EXPECT_EQ(r.Header("Content-Range"), "bytes */1000");
    EXPECT_EQ(r.Header("Content-Length"), "0");
    EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
  }
}

TEST_F(ServerAnswersTest, FoldersRedirectOrAreNotFound) {
  Response r = Ask(Get("/docs"));
  EXPECT_EQ(r.status, 301);
  EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"Server", "Date", "Location", "Content-Type",
                                                       "Content-Length", "Connection"}));
  // One leading slash and the rest encoded: never a Location of another host;
  // the query is kept.
  site.folder.MakeFolder("www/evil.example");
  site.folder.MakeFolder("www/t");
  const std::vector<std::pair<std::string, std::string>> locations = {
      {"/docs", "/docs/"},
      {"/docs?x=1", "/docs/?x=1"},
      {"/my%20site", "/my%20site/"},
      {"//evil.example", "/evil.example/"},
      {"/\\evil.example?a=b", "/evil.example/?a=b"},
      {"/%5cevil.example", "/evil.example/"},
      {"/%5ct", "/t/"},
  };
  for (const auto& [url, location] : locations)
    EXPECT_EQ(Ask(Get(url)).Header("Location"), location) << url;
  const Response moved = Ask(Get("/%C3%A9"));
  EXPECT_EQ(moved.Header("Location"), EncodeUriPath("/" + accented + "/"));
  EXPECT_EQ(Ask(Get(moved.Header("Location") + "x.txt")).body, "x");  // the browser follows it
  r = Ask(Get("/docs/"));
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
  EXPECT_EQ(Ask(Get("/missing.txt")).status, 404);
}

// Both file systems' letter cases: a host name is the same in any case.
TEST_F(ServerAnswersTest, ProjectFoldersAnswerAtTheirOwnHostsInAnyLetterCase) {
  site.folder.Write("www/blog/index.html", "blog home");
  site.folder.Write("www/Shop/index.html", "shop home");
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"blog.localhost", "blog home"},   {"Blog.LocalHost:" + std::to_string(site.port), "blog home"},
      {"x.BLOG.localhost", "blog home"}, {"shop.localhost", "shop home"},
      {"SHOP.LOCALHOST", "shop home"},   {"LOCALHOST", "<h1>welcome</h1>"},
  };
  for (const auto& [host, body] : rows) EXPECT_EQ(Ask(Get("/", "Host: " + host + "\r\n")).body, body) << host;
  const Response unknown = Ask(Get("/", "Host: Nothing.LocalHost\r\n"));
  EXPECT_EQ(unknown.status, 404);
  EXPECT_NE(unknown.body.find("http://shop.localhost:" + std::to_string(site.port) + "/"), std::string::npos);
}

TEST_F(ServerAnswersTest, UnknownMethodsGet501AndAreLogged) {
  const Response r = Ask(Get("/t.txt", "", "PUT"));
  EXPECT_EQ(r.status, 501);
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
  EXPECT_NE(site.LogText().find(" 127.0.0.1       PUT /t.txt HTTP/1.1\r\n"), std::string::npos)
      << site.LogText();
}

// A browser shows the page of an error rather than a blank one; HEAD gets
// the same head without it.
TEST_F(ServerAnswersTest, ErrorAnswersCarryAShortPageNamingTheirStatus) {
  std::string oversized = "GET /t.txt HTTP/1.1\r\nHost: x\r\n";
  while (oversized.size() < 70 * 1024) oversized += "X-Filler: " + std::string(100, 'f') + "\r\n";
  const struct Case {
    const char* what;
    std::string request;  // with HEAD for its method when `head` is set
    const char* status;
    bool head;
  } cases[] = {
      {"a missing file", Get("/missing.txt"), "404 Not Found", false},
      {"a missing file asked with HEAD", Get("/missing.txt", "", "HEAD"), "404 Not Found", true},
      {"an unknown method", Get("/t.txt", "", "PUT"), "501 Not Implemented", false},
      {"a malformed head", Get("/t.txt", "X-A: 1\rX-B: 2\r\n"), "400 Bad Request", false},
      {"a head past the largest", oversized + "\r\n", "431 Request Header Fields Too Large", false},
      {"a body past PHP's", "POST /page.php HTTP/1.1\r\nHost: x\r\nContent-Length: 9000000\r\n\r\n",
       "413 Content Too Large", false},
  };
  std::map<std::string, std::string> lengths;  // of each status's page
  for (const Case& c : cases) {
    Client client(site.port);
    const Response r = client.Request(c.request, c.head);
    EXPECT_EQ(std::to_string(r.status), std::string(c.status).substr(0, 3)) << c.what;
    EXPECT_EQ(r.Header("Content-Type"), "text/html") << c.what;
    EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(3))) << c.what;  // no byte after the head
    if (c.head) {
      EXPECT_EQ(r.Header("Content-Length"), lengths[c.status]) << c.what;
      continue;
    }
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size())) << c.what;
    EXPECT_NE(r.body.find(std::string("<title>") + c.status + "</title>"), std::string::npos)
        << c.what << ": " << r.body;
    EXPECT_NE(r.body.find(std::string("<h1>") + c.status + "</h1>"), std::string::npos) << c.what;
    lengths[c.status] = r.Header("Content-Length");
  }
}

TEST_F(ServerAnswersTest, TraversalNeverReachesOutsideTheRoot) {
  for (const char* path : {"/../secret.txt", "/..%2fsecret.txt", "/%2e%2e/secret.txt",
                           "/docs/..%5C..%5Csecret.txt", "/..\\secret.txt",
                           "/docs/%2E%2E%2F%2E%2E%2Fsecret.txt", "/.../secret.txt", "/../"}) {
    const Response r = Ask(Get(path));
    EXPECT_EQ(r.status, 404) << path;
    EXPECT_EQ(r.body.find("outside"), std::string::npos) << path;
  }
}

TEST_F(ServerAnswersTest, OversizedHeadGets431AndIsClosed) {
  for (const char* method : {"GET", "POST"}) {
    Client client(site.port);
    std::string head = std::string(method) + " /t.txt HTTP/1.1\r\nHost: x\r\n";
    while (head.size() < 70 * 1024) head += "X-Filler: " + std::string(100, 'f') + "\r\n";
    client.Send(head);  // and no blank line
    const Response r = client.Read();
    EXPECT_EQ(r.status, 431) << method;
    EXPECT_EQ(r.Header("Connection"), "close");
    EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
  }
}

TEST_F(ServerAnswersTest, PostBodyIsNotReadAsTheNextRequest) {
  Client client(site.port);
  const std::string body = "GET /docs HTTP/1.1\r\n\r\n";  // would answer 301 if taken as a head
  const Response r = client.Request("POST /t.txt HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n"
                                    "Content-Length: " + std::to_string(body.size()) +
                                    "\r\n\r\n" + body);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, thousand);
  EXPECT_EQ(r.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
  EXPECT_EQ(site.LogText().find("/docs"), std::string::npos);
}

TEST_F(ServerAnswersTest, PipelinedRequestsAreAnsweredInOrder) {
  Client client(site.port);
  ASSERT_TRUE(client.Send(Get("/t.txt", "Connection: keep-alive\r\n") +
                          Get("/style.css", "Connection: keep-alive\r\n") +
                          Get("/missing", "Connection: keep-alive\r\n") + Get("/index.html")));
  EXPECT_EQ(client.Read().body, thousand);
  EXPECT_EQ(client.Read().body, "p{}");
  EXPECT_EQ(client.Read().status, 404);
  const Response last = client.Read();
  EXPECT_EQ(last.body, "<h1>welcome</h1>");
  EXPECT_EQ(last.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
}

TEST_F(ServerAnswersTest, KeepAliveServesSeveralRequestsOnOneConnection) {
  Client client(site.port);
  for (int i = 0; i < 3; ++i) {
    const Response r = client.Request(Get("/t.txt", "Connection: keep-alive\r\n"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.Header("Connection"), "");
  }
  const Response last = client.Request(Get("/t.txt", "Connection: close\r\n"));
  EXPECT_EQ(last.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
}

// The folders' rules through real sockets: the status, a mark of the body
// (or the Location) that a browser would show. What each rule resolves to is
// FolderRulesTest's; these rows are what the server makes of a resolution.
class FolderRulesServerTest : public ServerTest {
 protected:
  void SetUp() override {
    WriteFolderRulesSite(site.folder);
    StartServer();
  }
};

TEST_F(FolderRulesServerTest, AnswersAsTheFoldersFilesSay) {
  struct Row {
    std::string method, url;
    int status;
    std::string mark;  // in the body, or the Location of a redirect
  };
  const std::vector<Row> rows = {
      {"GET", "/pages/ABOUT", 200, "about"},
      {"POST", "/pages/form", 200, "posted"},
      {"GET", "/pages/old/x?a=1", 301, "http://localhost/pages/new/x?a=1"},
      {"GET", "/pages/nothing", 404, "no such page"},
      {"GET", "/wiki/data/pages/secret.txt", 403, "Denied by the wiki"},
      {"GET", "/blog/.htaccess", 403, ""},
      {"GET", "/broken/a.txt", 500, ""},
      {"GET", "/plain/a.txt", 200, "plain"},
      {"PUT", "/plain/a.txt", 501, ""},
      {"GET", "/local/a.txt", 200, "local"},  // this client is on loopback
      {"GET", "/lan/a.txt", 403, ""},
  };
  for (const Row& row : rows) {
    const Response r = Ask(Get(row.url, "", row.method));
    EXPECT_EQ(r.status, row.status) << row.method << " " << row.url;
    EXPECT_EQ(r.Header("Date").size(), 29u) << row.method << " " << row.url;  // every answer is dated
    const std::string seen = row.status / 100 == 3 ? r.Header("Location") : r.body;
    EXPECT_NE(seen.find(row.mark), std::string::npos) << row.method << " " << row.url << ": " << seen;
  }
}

}  // namespace
