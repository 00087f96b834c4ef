// The tree's PHP module in a test host (ModuleHost.h), with real php-cgi on
// Linux and the stand-in under Wine: variables past one FastCGI record, bodies
// the server read first, short bodies, clients that leave while PHP is
// awaited, and the path after a script.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <thread>

#include "ModuleHost.h"
#include "common/KestroClass.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class PhpModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    php_ = new PhpFolder;
    if (php_->Module().empty()) return;
    // One process: a request that holds it makes the next one wait; a page
    // that sleeps past 3 seconds ends with its process.
    php_->WriteSettings("processes = 1\nrequest_timeout = 3\n");
    php_->WritePage("page.php");
    php_->WritePage("sub/page.php");
    host_ = new ModuleHost(php_->Module(), php_->DocumentRoot());
  }
  static void TearDownTestSuite() {
    delete host_;  // ends the module's php-cgi
    delete php_;
    host_ = nullptr;
    php_ = nullptr;
  }
  void SetUp() override {
    if (!host_) GTEST_SKIP() << "no assembled tree: run make tree";
    ASSERT_TRUE(host_->Loaded());
  }

  static std::string Pid() { return host_->Serve(HostRequest{}).Lines()["pid"]; }

  static PhpFolder* php_;
  static ModuleHost* host_;
};

PhpFolder* PhpModuleTest::php_ = nullptr;
ModuleHost* PhpModuleTest::host_ = nullptr;

const std::string kNone = "<none>";

std::string Value(const std::map<std::string, std::string>& lines, const std::string& name) {
  const auto found = lines.find(name);
  return found == lines.end() ? kNone : found->second;
}

std::string RandomBytes(std::size_t length) {
  std::mt19937 random(static_cast<unsigned>(length));
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// php-cgi reads each variable from within one record: thousands of headers,
// or long ones, must reach PHP whole, and one too long for a record must
// cost only itself.
TEST_F(PhpModuleTest, HeadersReachPhpWholeHoweverManyOrLong) {
  struct Case {
    const char* what;
    int count;
    std::size_t length;
    bool arrives;
  };
  const Case cases[] = {
      {"5000 short headers", 5000, 1, true},
      {"three of 30000 bytes", 3, 30000, true},
      {"one too long for a record", 1, 70000, false},
  };
  for (const Case& c : cases) {
    HostRequest request;
    for (int i = 0; i < c.count; ++i)
      request.headers.emplace_back("X-Pv-" + std::to_string(i),
                                   std::string(c.length, static_cast<char>('a' + i % 26)));
    request.headers.emplace_back("X-After", "yes");
    const HostAnswer answer = host_->Serve(request);
    EXPECT_EQ(answer.status, "200 OK") << c.what;
    const auto lines = answer.Lines();
    int arrived = 0;
    for (int i = 0; i < c.count; ++i) arrived += lines.count("HTTP_X_PV_" + std::to_string(i));
    EXPECT_EQ(arrived, c.arrives ? c.count : 0) << c.what;
    EXPECT_EQ(Value(lines, "HTTP_X_PV_0"), c.arrives ? request.headers[0].second : kNone) << c.what;
    EXPECT_EQ(Value(lines, "HTTP_X_AFTER"), "yes") << c.what;
  }
}

TEST_F(PhpModuleTest, BodyReachesPhpByteForByte) {
  struct Case {
    const char* what;
    std::size_t length, given;
    bool expectContinue, continueSent, knowsIsConnected;
  };
  const Case cases[] = {
      {"all of it read already", 3000, 3000, false, false, true},
      {"1 MiB read already, the rest through ReadClient", (1 << 20) + 300000, 1 << 20, true, false,
       true},
      {"none read, Expect: 100-continue", 200000, 0, true, true, true},
      {"none read, a server that knows no code 1018", 70000, 0, false, false, false},
  };
  for (const Case& c : cases) {
    HostRequest request;
    request.method = "POST";
    request.body = RandomBytes(c.length);
    request.given = c.given;
    request.knowsIsConnected = c.knowsIsConnected;
    if (c.expectContinue) request.headers.emplace_back("Expect", "100-continue");
    const HostAnswer answer = host_->Serve(request);
    EXPECT_EQ(answer.status, "200 OK") << c.what;
    EXPECT_EQ(answer.early, c.continueSent ? "HTTP/1.1 100 Continue\r\n\r\n" : "") << c.what;
    EXPECT_EQ(answer.Lines()["CONTENT_LENGTH"], std::to_string(c.length)) << c.what;
    EXPECT_TRUE(answer.PageBody() == request.body) << c.what;
  }
}

// php-cgi would wait for the missing bytes: the request ends at once, and
// the process (told the body is over, or ended) serves the next one.
TEST_F(PhpModuleTest, ShortBodyEndsItsRequestAndProcessAtOnce) {
  struct Case {
    const char* what;
    bool clientStays;
    const char* status;  // "" when nothing is sent
  };
  const Case cases[] = {
      {"the client is still there", true, "400 Bad Request"},
      {"the client went away", false, ""},
  };
  for (const Case& c : cases) {
    HostRequest request;
    request.method = "POST";
    request.body = "a=1" + std::string(999997, 'x');
    request.given = 3;
    request.cut = 3;
    const std::atomic<bool> connected{c.clientStays};
    const auto start = Clock::now();
    const HostAnswer answer = host_->Serve(request, connected);
    EXPECT_LT(Clock::now() - start, milliseconds(3000)) << c.what;
    EXPECT_EQ(answer.result, static_cast<DWORD>(HSE_STATUS_ERROR)) << c.what;
    EXPECT_EQ(answer.status, c.status) << c.what;
    EXPECT_FALSE(Pid().empty()) << c.what;
    EXPECT_LT(Clock::now() - start, milliseconds(3000)) << c.what;
  }
}

// Quitting the server, or a client that leaves, must not wait for PHP: the
// request ends within a few looks at code 1018 and sends nothing; a page
// that sleeps keeps its process no longer than the request's time limit.
TEST_F(PhpModuleTest, ClientThatLeavesEndsItsWaitAndFreesItsProcess) {
  struct Case {
    const char* what;
    bool waitsForProcess;  // else for php-cgi's answer
  };
  const Case cases[] = {
      {"waiting for php-cgi's answer", false},
      {"waiting for a free process", true},
  };
  HostRequest hang;
  hang.query = "hang";
  for (const Case& c : cases) {
    const std::string before = Pid();
    std::atomic<bool> holderThere{true}, waiterThere{true};
    auto holder = std::async(std::launch::async, [&] { return host_->Serve(hang, holderThere); });
    std::this_thread::sleep_for(milliseconds(500));
    std::future<HostAnswer> waiter;
    if (c.waitsForProcess) {
      waiter = std::async(std::launch::async, [&] { return host_->Serve({}, waiterThere); });
      std::this_thread::sleep_for(milliseconds(500));
    }
    std::future<HostAnswer>& leaver = c.waitsForProcess ? waiter : holder;
    (c.waitsForProcess ? waiterThere : holderThere) = false;
    ASSERT_EQ(leaver.wait_for(milliseconds(2000)), std::future_status::ready) << c.what;
    const HostAnswer left = leaver.get();
    EXPECT_EQ(left.result, static_cast<DWORD>(HSE_STATUS_ERROR)) << c.what;
    EXPECT_FALSE(left.headSent) << c.what;
    EXPECT_EQ(left.early + left.body, "") << c.what;
    holderThere = false;
    if (holder.valid()) holder.get();
    const auto start = Clock::now();
    const std::string after = Pid();
    EXPECT_LT(Clock::now() - start, milliseconds(5000)) << c.what;
    EXPECT_FALSE(after.empty()) << c.what;
    EXPECT_NE(after, before) << c.what;
  }
}

TEST_F(PhpModuleTest, PathAfterTheScriptIsPathInfo) {
  struct Case {
    const char* script;
    const char* pathInfo;
    const char* query;
    const char* target;  // as sent; "" when it is the decoded path
  };
  const Case cases[] = {
      {"/page.php", "", "", ""},
      {"/page.php", "/foo/bar", "a=1", "/page.php/foo/bar?a=1"},
      {"/page.php", "/", "", ""},
      {"/sub/page.php", "/2024/hello/", "", ""},
      {"/page.php", "/caf\xC3\xA9 x", "", "/page.php/caf%C3%A9%20x"},
  };
  const std::string root = php_->DocumentRoot();
  for (const Case& c : cases) {
    HostRequest request;
    request.scriptName = c.script;
    request.pathInfo = c.pathInfo;
    request.query = c.query;
    request.target = c.target;
    const std::string url = std::string(c.script) + c.pathInfo;
    const auto lines = host_->Serve(request).Lines();
    EXPECT_EQ(Value(lines, "SCRIPT_NAME"), c.script) << url;
    EXPECT_EQ(Value(lines, "SCRIPT_FILENAME"), TKestro::ToNativePath(root + c.script)) << url;
    EXPECT_EQ(Value(lines, "PATH_INFO"), *c.pathInfo ? c.pathInfo : kNone) << url;
    EXPECT_EQ(Value(lines, "PATH_TRANSLATED"),
              *c.pathInfo ? TKestro::ToNativePath(root + c.pathInfo) : kNone)
        << url;
    EXPECT_EQ(Value(lines, "REQUEST_URI"),
              *c.target ? c.target : url + (*c.query ? "?" : "") + c.query)
        << url;
    if (php_->RealPhp()) {
      EXPECT_EQ(Value(lines, "PHP_SELF"), url) << url;
    }
  }
}

}  // namespace
