// A Windows tree as delivered: the module in php/, but no PHP for Windows
// beside it yet. A PHP page says what is missing; static files are served.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"

namespace {

using httptest::Get;

using WindowsNoPhpTest = httptest::ServerTest;

TEST_F(WindowsNoPhpTest, PhpPageSaysPhpCgiIsMissing) {
  site.folder.Write("www/page.php", "");
  site.folder.Write("www/static.txt", "static");
  StartServer();
  const httptest::Response r = Ask(Get("/page.php"));
  EXPECT_EQ(r.status, 502);
  EXPECT_NE(r.body.find("php-cgi"), std::string::npos) << r.body;
  EXPECT_EQ(Ask(Get("/static.txt")).body, "static");
}

}  // namespace
