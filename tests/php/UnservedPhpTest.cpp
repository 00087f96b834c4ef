// A tree whose PHP module is missing, or has no HttpExtensionProc: PHP
// requests are closed unanswered, static files are still served.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"

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

TEST_F(UnservedPhpTest, PhpRequestsAreClosedWithoutAnAnswer) {
  for (const char* path : {"/page.php", "/docs/"}) {
    Client client(site.port);
    client.Send(Get(path, "Connection: keep-alive\r\n"));
    EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(3))) << path;
  }
}

TEST_F(UnservedPhpTest, StaticFilesAreStillServed) {
  Client php(site.port);
  php.Send(Get("/page.php"));
  EXPECT_TRUE(php.ClosedWithin(std::chrono::seconds(3)));
  Client client(site.port);
  const httptest::Response r = client.Request(Get("/static.txt"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "static");
}

}  // namespace
