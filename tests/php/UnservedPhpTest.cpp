// A tree whose PHP module is missing, or has no HttpExtensionProc: PHP
// requests are answered 503 with a page that says PHP could not be loaded,
// which the PHP error log tells once; static files are still served.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "platform/Processes.h"

namespace {

using httptest::Client;
using httptest::Get;

class UnservedPhpTest : public httptest::ServerTest {
 protected:
  void SetUp() override {
    site.folder.Write("www/page.php", "<?php echo 1;");
    site.folder.Write("www/docs/index.php", "<?php echo 1;");
    site.folder.Write("www/static.txt", "static");
    StartServer();
  }
};

TEST_F(UnservedPhpTest, PhpRequestsAreToldPhpCouldNotBeLoaded) {
  const struct Case {
    const char* path;
    const char* method;
  } cases[] = {
      {"/page.php", "GET"}, {"/docs/", "GET"}, {"/page.php", "HEAD"}, {"/page.php", "POST"}};
  std::string pageLength;
  for (const Case& c : cases) {
    const bool head = std::string(c.method) == "HEAD";
    Client client(site.port);
    const httptest::Response r =
        client.Request(Get(c.path, "Connection: keep-alive\r\n", c.method), head);
    EXPECT_EQ(r.status, 503) << c.path << " " << c.method;
    EXPECT_EQ(r.Header("Date").size(), 29u) << c.path << " " << c.method;
    EXPECT_EQ(r.Header("Connection"), "close") << c.path << " " << c.method;
    EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(3))) << c.path << " " << c.method;
    if (head) {
      EXPECT_EQ(r.Header("Content-Length"), pageLength);
      continue;
    }
    pageLength = r.Header("Content-Length");
    EXPECT_EQ(pageLength, std::to_string(r.body.size()));
    EXPECT_NE(r.body.find("PHP could not be loaded from the folder <code>php</code>"),
              std::string::npos)
        << r.body;
    EXPECT_NE(r.body.find("phpisapi"), std::string::npos) << r.body;
    // A Windows tree says where PHP for Windows goes.
    EXPECT_EQ(r.body.find("PHP for Windows") != std::string::npos, *platform::ProgramSuffix != '\0')
        << r.body;
  }
  const std::string log = site.folder.Read("log/php_errors.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;  // once, not per request
  EXPECT_NE(log.find("PHP could not be loaded from "), std::string::npos) << log;
}

TEST_F(UnservedPhpTest, StaticFilesAreStillServed) {
  EXPECT_EQ(Ask(Get("/page.php")).status, 503);
  Client client(site.port);
  const httptest::Response r = client.Request(Get("/static.txt"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "static");
}

}  // namespace
