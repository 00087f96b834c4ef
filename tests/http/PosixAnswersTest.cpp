// What only Linux lets a test bring about: a file that exists but cannot be
// read, a file past 4 GiB that takes no room, and a process out of descriptors.
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

// A pipe in the site is no file to serve: opening it would block the worker.
TEST(PosixAnswersTest, AFileThatCannotBeReadGetsAnErrorStatusNotA200) {
  TestSite site;
  ASSERT_EQ(::mkfifo((site.www + "/pipe.txt").c_str(), 0644), 0);
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  Client client(site.port);
  const Response r = client.Request(Get("/pipe.txt"));
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
  EXPECT_EQ(r.Header("ETag"), "");
}

// A video or disk image past 4 GiB: its size and a range far into it.
TEST(PosixAnswersTest, FilesPastFourGibibytesAreServedWithExactRanges) {
  TestSite site;
  const std::int64_t size = 5LL << 30;
  const int fd = ::open((site.www + "/big.iso").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, "tail", 4, size - 4), 4);  // the rest is a hole
  ::close(fd);
  auto server = site.StartServer();
  ASSERT_TRUE(server->Active());
  EXPECT_EQ(Client(site.port).Request(Get("/big.iso", "", "HEAD"), true).Header("Content-Length"),
            std::to_string(size));
  const Response far = Client(site.port).Request(Get("/big.iso", "Range: bytes=4294967296-4294967299\r\n"));
  EXPECT_EQ(far.status, 206);
  EXPECT_EQ(far.Header("Content-Range"), "bytes 4294967296-4294967299/" + std::to_string(size));
  EXPECT_EQ(far.body, std::string(4, '\0'));
  const Response last = Client(site.port).Request(Get("/big.iso", "Range: bytes=-4\r\n"));
  EXPECT_EQ(last.body, "tail");
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
