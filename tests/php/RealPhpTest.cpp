// Real PHP: the console program run from a copy of the assembled tree, with
// the tree's module, php-cgi, extensions and php.ini, spoken to over HTTP.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <set>
#include <random>
#include <thread>

#include "TreeProgram.h"
#include "common/KestroClass.h"

namespace {

using httptest::Client;
using httptest::Get;
using httptest::Response;
using Clock = std::chrono::steady_clock;

void WritePages(const TreeProgram& tree) {
  tree.WritePage("query.php", "<?php echo json_encode($_GET);");
  tree.WritePage("post.php", "<?php echo json_encode($_POST);");
  tree.WritePage("upload.php",
                 "<?php foreach ($_FILES as $k => $f) echo $k, ' ', $f['name'], ' ', $f['size'], ' ',"
                 " $f['error'], ' ', strtoupper(md5_file($f['tmp_name'])), \"\\n\";"
                 " echo 'note ', $_POST['note'];");
  tree.WritePage("session.php",
                 "<?php session_start(); $_SESSION['n'] = ($_SESSION['n'] ?? 0) + 1;"
                 " setcookie('flavour', 'plain'); echo $_SESSION['n'], ' ', $_COOKIE['flavour'] ?? '-';");
  tree.WritePage("folder/index.php",
                 "<?php echo $_SERVER['REQUEST_URI'], '|', $_SERVER['SCRIPT_NAME'], '|',"
                 " $_SERVER['PHP_SELF'], '|', $_SERVER['QUERY_STRING'];");
  tree.WritePage("pi.php",
                 "<?php foreach (['PATH_INFO', 'SCRIPT_NAME', 'PHP_SELF', 'REQUEST_URI',"
                 " 'PATH_TRANSLATED'] as $k) echo $k, '=', $_SERVER[$k] ?? '-', \"\\n\";");
  tree.WritePage("folder/static.txt", "static");
  tree.WritePage("redirect.php", "<?php header('Location: /query.php?from=redirect');");
  tree.WritePage("gone.php", "<?php http_response_code(404); echo 'gone';");
  tree.WritePage("slow.php", "<?php usleep((int)$_GET['ms'] * 1000); echo getmypid();");
  tree.WritePage("talky.php",
                 "<?php for ($i = 0; $i < 600; ++$i) { echo str_repeat(' ', 8192); flush();"
                 " usleep(100000); }");
  // Sleeps a second, prints, then leaves NAME.after; NAME.shutdown at its end.
  tree.WritePage("finish.php",
                 "<?php $n = __DIR__ . '/' . basename($_GET['name']);"
                 " ignore_user_abort((bool)($_GET['ignore'] ?? 0));"
                 " register_shutdown_function(function () use ($n) {"
                 " file_put_contents(\"$n.shutdown\", connection_status()); });"
                 " sleep(1); echo str_repeat('y', 100); flush();"
                 " file_put_contents(\"$n.after\", 'done');");
  tree.WritePage("ext.php",
                 "<?php foreach (['mysqli', 'pdo_mysql', 'mbstring', 'Zend OPcache'] as $e)"
                 " echo $e, '=', extension_loaded($e) ? 1 : 0, ' ';");
}

class RealPhpTest : public SharedTreeTest<RealPhpTest> {
 public:
  static void Prepare(const TreeProgram& tree) { WritePages(tree); }
};

TEST_F(RealPhpTest, TheTreesExtensionsAreLoaded) {
  EXPECT_EQ(Ask(Get("/ext.php")).body, "mysqli=1 pdo_mysql=1 mbstring=1 Zend OPcache=1 ");
}

TEST_F(RealPhpTest, QueryReachesGet) {
  const Response r = Ask(Get("/query.php?a=1&b=x%20y"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("Server"), "Portavane/6.29");
  EXPECT_EQ(r.body, R"({"a":"1","b":"x y"})");
}

TEST_F(RealPhpTest, UrlencodedPostReachesPost) {
  const std::string body = "name=Ann+Lee&city=%E5%8C%97%E4%BA%AC";
  const Response r = Ask("POST /post.php HTTP/1.1\r\nHost: localhost\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, R"({"name":"Ann Lee","city":"\u5317\u4eac"})");
}

TEST_F(RealPhpTest, MultipartUploadOfSeveralMegabytesArrivesWhole) {
  std::mt19937 random(7);
  std::string file(5 * 1024 * 1024 + 123, '\0');
  for (char& c : file) c = static_cast<char>(random());
  const std::string boundary = "----pvboundary7MA4YWxkTrZu0gW";
  const std::string body = "--" + boundary +
                           "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n--" +
                           boundary +
                           "\r\nContent-Disposition: form-data; name=\"data\"; filename=\"blob.bin\"\r\n"
                           "Content-Type: application/octet-stream\r\n\r\n" +
                           file + "\r\n--" + boundary + "--\r\n";
  Client client(tree_->port);
  // Like curl: the head with Expect, the body after the interim answer.
  client.Send("POST /upload.php HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\n"
              "Content-Type: multipart/form-data; boundary=" + boundary +
              "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
  EXPECT_EQ(client.Read(true).status, 100);
  client.Send(body);
  const Response r = client.Read(false, std::chrono::seconds(20));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "data blob.bin " + std::to_string(file.size()) + " 0 " + TKestro::Md5Hex(file) +
                        "\nnote hello");
}

TEST_F(RealPhpTest, SessionAndCookiesLastAcrossRequests) {
  const Response first = Ask(Get("/session.php"));
  EXPECT_EQ(first.body, "1 -");
  std::string cookies;
  for (const auto& header : first.headers)
    if (header.first == "Set-Cookie")
      cookies += (cookies.empty() ? "" : "; ") + header.second.substr(0, header.second.find(';'));
  EXPECT_NE(cookies.find("PHPSESSID="), std::string::npos) << cookies;
  EXPECT_NE(cookies.find("flavour=plain"), std::string::npos) << cookies;
  EXPECT_EQ(Ask(Get("/session.php", "Cookie: " + cookies + "\r\n")).body, "2 plain");
}

TEST_F(RealPhpTest, FolderUrlIsTheRequestUriOfItsIndexPage) {
  const Response r = Ask(Get("/folder/?x=1"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "/folder/?x=1|/folder/index.php|/folder/index.php|x=1");
}

// Front controllers route on the path after the script, as every server
// a developer could pick runs them.
TEST_F(RealPhpTest, PathAfterTheScriptIsPathInfo) {
  const std::string root = tree_->Root() + "/www";
  struct Case {
    const char* target;
    int status;
    std::string expected;  // the page's lines
  } cases[] = {
      {"/pi.php/foo/bar?a=1", 200,
       "PATH_INFO=/foo/bar\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/foo/bar\n"
       "REQUEST_URI=/pi.php/foo/bar?a=1\nPATH_TRANSLATED=" + root + "/foo/bar\n"},
      {"/pi.php/2024/hello/", 200,
       "PATH_INFO=/2024/hello/\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/2024/hello/\n"
       "REQUEST_URI=/pi.php/2024/hello/\nPATH_TRANSLATED=" + root + "/2024/hello/\n"},
      {"/pi.php/a%20b", 200,
       "PATH_INFO=/a b\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/a b\nREQUEST_URI=/pi.php/a%20b\n"
       "PATH_TRANSLATED=" + root + "/a b\n"},
      {"/pi.php", 200,
       "PATH_INFO=\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php\nREQUEST_URI=/pi.php\nPATH_TRANSLATED=-\n"},
      {"/folder/static.txt/more", 404, ""},
      {"/pi.php/.", 404, ""},
      {"/pi.php/x/../../secret", 404, ""},
  };
  for (const Case& c : cases) {
    const Response r = Ask(Get(c.target));
    EXPECT_EQ(r.status, c.status) << c.target;
    if (c.status == 200) EXPECT_EQ(r.body, c.expected) << c.target;
  }
}

TEST_F(RealPhpTest, LocationHeaderAndResponseCode) {
  const Response moved = Ask(Get("/redirect.php"));
  EXPECT_EQ(moved.status, 302);
  EXPECT_EQ(moved.Header("Location"), "/query.php?from=redirect");
  const Response gone = Ask(Get("/gone.php"));
  EXPECT_EQ(gone.status, 404);
  EXPECT_EQ(gone.body, "gone");
}

TEST_F(RealPhpTest, HeadAnswersWithoutBody) {
  Client client(tree_->port);
  const Response r = client.Request(Get("/query.php?a=1", "Connection: keep-alive\r\n", "HEAD"), true);
  EXPECT_EQ(r.status, 200);
  EXPECT_NE(r.Header("Content-Type").find("text/html"), std::string::npos);
  EXPECT_TRUE(client.SilentFor(std::chrono::milliseconds(300)));  // no body bytes follow
  EXPECT_EQ(client.Request(Get("/query.php?b=2")).body, R"({"b":"2"})");
}

TEST_F(RealPhpTest, KeepAliveConnectionServesTwoPhpRequests) {
  Client client(tree_->port);
  const Response first = client.Request(Get("/query.php?n=1", "Connection: keep-alive\r\n"));
  EXPECT_EQ(first.Header("Connection"), "Keep-Alive");
  EXPECT_EQ(first.body, R"({"n":"1"})");
  const Response second = client.Request(Get("/query.php?n=2", "Connection: keep-alive\r\n"));
  EXPECT_EQ(second.body, R"({"n":"2"})");
  const Response last = client.Request(Get("/query.php?n=3"));  // no keep-alive asked
  EXPECT_EQ(last.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
}

TEST_F(RealPhpTest, SlowPagesRunSideBySide) {
  constexpr int kPages = 10;
  constexpr int kMs = 1000;
  const auto start = Clock::now();
  std::vector<std::future<Response>> pages;
  for (int i = 0; i < kPages; ++i)
    pages.push_back(std::async(std::launch::async, [] {
      Client client(tree_->port);
      client.Send(Get("/slow.php?ms=" + std::to_string(kMs)));
      return client.Read(false, std::chrono::seconds(30));
    }));
  for (auto& page : pages) EXPECT_EQ(page.get().status, 200);
  const auto elapsed = Clock::now() - start;
  // Eight processes by default: about two rounds, far from ten in a row.
  EXPECT_LT(elapsed, std::chrono::milliseconds(kPages * kMs * 6 / 10));
}

// A program of its own: these end php-cgi processes and the program.
class PhpProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
    WritePages(tree);
    ASSERT_TRUE(tree.Start()) << tree.Output();
    ASSERT_EQ(Client(tree.port).Request(Get("/query.php?warm=1")).status, 200);
  }
  void ExpectAllGone(const std::vector<pid_t>& processes) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (pid_t pid : processes) {
      while (!ProcessGone(pid) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_TRUE(ProcessGone(pid)) << "php-cgi " << pid << " is left";
    }
  }
  TreeProgram tree;
};

TEST_F(PhpProcessTest, KilledPhpGivesBadGatewayAndTheNextRequestWorks) {
  Client client(tree.port);
  client.Send(Get("/slow.php?ms=5000"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::vector<pid_t> processes = tree.PhpCgiProcesses();
  ASSERT_FALSE(processes.empty());
  for (pid_t pid : processes) kill(pid, SIGKILL);
  const Response r = client.Read(false, std::chrono::seconds(10));
  EXPECT_EQ(r.status, 502);
  EXPECT_EQ(r.Header("Connection"), "close");
  EXPECT_NE(r.body.find("502 Bad Gateway"), std::string::npos);
  EXPECT_EQ(Client(tree.port).Request(Get("/query.php?after=1")).body, R"({"after":"1"})");
}

// Every php-cgi busy with a page that sleeps a minute, and one more page
// waiting for a process: the module's waits end with the program.
TEST_F(PhpProcessTest, QuittingWhileEveryPhpProcessIsBusyTakesSeconds) {
  constexpr int kPages = 17;  // the pool's processes and one
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kPages; ++i) {
    clients.push_back(std::make_unique<Client>(tree.port));
    clients.back()->Send(Get("/slow.php?ms=60000"));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::vector<pid_t> busy = tree.PhpCgiProcesses();
  EXPECT_GE(busy.size(), 16u);
  const auto start = Clock::now();
  EXPECT_TRUE(tree.Quit());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  ExpectAllGone(busy);
}

// Sixteen connections and one more, each holding a request that PHP would
// wait on: none of them keeps PHP from answering the next page at once.
TEST_F(PhpProcessTest, ClientsThatLeaveOrStallHoldNoPhpProcess) {
  constexpr int kClients = 17;
  struct Abuse {
    const char* what;
    std::string request;
    bool leaves;  // the client closes at once; else it stays, silent
  } abuses[] = {
      {"a body announced and abandoned",
       "POST /post.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\na=1", true},
      {"a body that stalls",
       "POST /post.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\na", false},
      {"a chunked body that stalls",
       "POST /post.php HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n10\r\na", false},
      {"a page that prints while it runs, whose client left", Get("/talky.php"), true},
  };
  for (const Abuse& abuse : abuses) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.push_back(std::make_unique<Client>(tree.port));
      clients.back()->Send(abuse.request);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (abuse.leaves) clients.clear();
    const auto start = Clock::now();
    const Response r = Client(tree.port).Request(Get("/query.php?next=1"));
    EXPECT_EQ(r.body, R"({"next":"1"})") << abuse.what;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << abuse.what;
  }
}

// A client that leaves mid-request: PHP is told, and ends the request by its
// own rules as under Apache: an upload leaves nothing in tmp/, a script that
// ignores user aborts finishes, one that doesn't stops at its next output
// (its shutdown functions run all the same).
TEST_F(PhpProcessTest, AClientThatLeavesLetsPhpEndTheRequestByItsOwnRules) {
  namespace fs = std::filesystem;
  const fs::path www = fs::path(tree.Root()) / "www", tmp = fs::path(tree.Root()) / "tmp";
  const auto inTmp = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(tmp)) names.insert(entry.path().filename());
    return names;
  };
  const std::string boundary = "b0undary";
  const std::string upload =
      "POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=" +
      boundary + "\r\nContent-Length: 20971520\r\n\r\n--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n\r\n" +
      std::string(5 << 20, 'u');
  const struct {
    const char* what;
    std::string request;
    std::vector<std::string> appear, never;  // files in www/
  } cases[] = {
      {"a 20 MB upload abandoned after 5 MB", upload, {}, {}},
      {"a script that ignores user aborts", Get("/finish.php?name=kept&ignore=1"),
       {"kept.after", "kept.shutdown"}, {}},
      {"a script that does not", Get("/finish.php?name=stopped"), {"stopped.shutdown"},
       {"stopped.after"}},
  };
  for (const auto& c : cases) {
    const std::set<std::string> before = inTmp();
    {
      Client client(tree.port);
      client.Send(c.request);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }  // the client leaves
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (const std::string& name : c.appear) {
      while (!fs::exists(www / name) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_TRUE(fs::exists(www / name)) << c.what << ": " << name;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    for (const std::string& name : c.never) EXPECT_FALSE(fs::exists(www / name)) << c.what;
    EXPECT_EQ(inTmp(), before) << c.what;
    // The process is back: the next page runs at once.
    const auto start = Clock::now();
    EXPECT_EQ(Client(tree.port).Request(Get("/query.php?next=1")).body, R"({"next":"1"})");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << c.what;
  }
}

TEST_F(PhpProcessTest, NoPhpProcessOutlivesTheProgram) {
  const std::vector<pid_t> processes = tree.PhpCgiProcesses();
  EXPECT_GE(processes.size(), 4u);  // the pool, started on the first request
  EXPECT_TRUE(tree.Quit());
  ExpectAllGone(processes);
}

TEST_F(PhpProcessTest, NoPhpProcessOutlivesAKilledProgram) {
  const std::vector<pid_t> processes = tree.PhpCgiProcesses();
  ASSERT_FALSE(processes.empty());
  tree.Kill();
  ExpectAllGone(processes);
}

}  // namespace
