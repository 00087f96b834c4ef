// Files that exist but cannot be read, as only Linux can make them in a test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "HttpTestSupport.h"

using namespace httptest;

namespace {

TEST(PosixAnswersTest, AFileThatCannotBeReadGetsAnErrorStatusNotA200) {
  TestSite site;
  ASSERT_EQ(::mkfifo((site.www + "/pipe.txt").c_str(), 0644), 0);  // opening it would block
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  Client client(site.port);
  const Response r = client.Request(Get("/pipe.txt"));
  EXPECT_EQ(r.status, 403);
  EXPECT_EQ(r.Header("Content-Length"), "0");
  EXPECT_EQ(r.Header("ETag"), "");
}

}  // namespace
