// What only Linux lets a test bring about: a file that exists but cannot be
// read, and a process out of descriptors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "HttpTestSupport.h"

using namespace httptest;
using namespace std::chrono_literals;

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

// Every descriptor of the process taken but the ones handed out by Release.
class DescriptorHoard {
 public:
  DescriptorHoard() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lower = saved_;
    lower.rlim_cur = 256;  // so hoarding stays quick
    ::setrlimit(RLIMIT_NOFILE, &lower);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) taken_.push_back(fd);
  }
  ~DescriptorHoard() { Release(taken_.size()); ::setrlimit(RLIMIT_NOFILE, &saved_); }
  void Release(std::size_t count) {
    for (; count > 0 && !taken_.empty(); --count) {
      ::close(taken_.back());
      taken_.pop_back();
    }
  }

 private:
  rlimit saved_{};
  std::vector<int> taken_;
};

TEST(PosixAnswersTest, RunningOutOfDescriptorsDoesNotEndListening) {
  TestSite site;
  site.folder.Write("www/a.txt", "a");
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  std::unique_ptr<Client> client;
  {
    DescriptorHoard hoard;
    hoard.Release(1);
    client = std::make_unique<Client>(site.port);  // takes the last one: accept fails now
    ASSERT_TRUE(client->Connected());
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(server->Active());
  }
  EXPECT_EQ(client->Request(Get("/a.txt")).body, "a");
  EXPECT_EQ(Client(site.port).Request(Get("/a.txt")).body, "a");
}

}  // namespace
