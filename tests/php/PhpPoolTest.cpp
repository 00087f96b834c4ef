// The tree's pool of php-cgi processes as a site's load changes: one php-cgi
// whose children serve the pages side by side, each ended alone when its
// page runs too long, losing no page on the way; each process starts with
// the tree's environment, not the server's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TreeProgram.h"

namespace {

namespace fs = std::filesystem;
using httptest::Client;
using httptest::Get;
using httptest::Response;
using Clock = std::chrono::steady_clock;

// True once `done` holds, asked every 100 ms until `limit` has passed.
bool Eventually(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

class PhpPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
    tree.WritePage("slow.php", "<?php usleep((int)$_GET['ms'] * 1000); echo getmypid();");
  }
  bool Start(const std::string& moduleSettings) {
    std::ofstream(fs::path(tree.Root()) / "php" / "phpisapi.ini") << moduleSettings;
    return tree.Start();
  }
  Response Page(int ms) { return Client(tree.port).Request(Get("/slow.php?ms=" + std::to_string(ms))); }
  // `count` clients at once, each asking for the `targets` in turn; their answers.
  std::vector<Response> PagesAtOnce(int count, const std::vector<std::string>& targets) {
    std::vector<std::future<std::vector<Response>>> pages;
    for (int i = 0; i < count; ++i)
      pages.push_back(std::async(std::launch::async, [this, targets] {
        std::vector<Response> answers;
        for (const std::string& target : targets) {
          Client client(tree.port);
          client.Send(Get(target));
          answers.push_back(client.Read(false, std::chrono::seconds(30)));
        }
        return answers;
      }));
    std::vector<Response> answers;
    for (auto& page : pages)
      for (Response& answer : page.get()) answers.push_back(std::move(answer));
    return answers;
  }
  std::size_t Processes() const { return tree.PhpCgiProcesses().size(); }
  std::string ErrorLog() const {
    std::ifstream file(fs::path(tree.Root()) / "log" / "php_errors.log");
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  TreeProgram tree;
};

// One php-cgi keeps a child for each process of the bound, whatever the
// load: the children share what any of them compiled, so a page compiled
// once is cached for all, and an idle child costs little.
TEST_F(PhpPoolTest, OnePhpCgiKeepsAChildPerProcessSharingWhatTheyCompiled) {
  // Old enough for PHP's cache, which passes over files changed in the last seconds.
  fs::last_write_time(fs::path(tree.Root()) / "www" / "slow.php",
                      fs::file_time_type::clock::now() - std::chrono::minutes(1));
  tree.WritePage("cached.php",
                 "<?php usleep(300000); echo opcache_is_script_cached(__DIR__ . '/slow.php')"
                 " ? 'cached' : 'compiled again';");
  struct Case {
    const char* settings;
    std::size_t children;
  } cases[] = {
      {"", 16},
      {"processes = 2\n", 2},
      {"processes = 5\nmin_processes = 1\nidle_timeout = 1\n", 5},  // read on Windows only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    ASSERT_TRUE(Start(c.settings)) << tree.Output();
    EXPECT_EQ(Page(0).status, 200);
    EXPECT_TRUE(Eventually([&] { return Processes() == c.children + 1; }, std::chrono::seconds(10)))
        << Processes();
    const std::vector<pid_t> kept = tree.PhpCgiProcesses();
    // Every child answers one of these at once, most never having run slow.php.
    for (const Response& r : PagesAtOnce(static_cast<int>(c.children), {"/cached.php"}))
      EXPECT_EQ(r.body, "cached");
    std::set<std::string> servedBy;
    for (const Response& r : PagesAtOnce(static_cast<int>(c.children) + 2, {"/slow.php?ms=1000"})) {
      EXPECT_EQ(r.status, 200);
      servedBy.insert(r.body);
    }
    EXPECT_LE(servedBy.size(), c.children);  // never past the bound
    std::this_thread::sleep_for(std::chrono::seconds(2));  // idle: all of them stay
    EXPECT_EQ(tree.PhpCgiProcesses(), kept);
    EXPECT_TRUE(tree.Quit());
  }
}

// Bursts of pages side by side and quiet spells between them, over the
// tree's own application: every page answers, and no php-cgi crashes (the
// module logs a process that ended by a signal nobody sent, and a request
// whose process ended under it).
TEST_F(PhpPoolTest, BurstsAndQuietSpellsLoseNoPageAndNoProcess) {
  const fs::path www = fs::path(TreeProgram::AssembledTree()) / "www";
  fs::copy(www / "adminer", fs::path(tree.Root()) / "www" / "adminer", fs::copy_options::recursive);
  fs::copy(www / "phpinfo.php", fs::path(tree.Root()) / "www" / "phpinfo.php");
  ASSERT_TRUE(Start("processes = 8\n")) << tree.Output();
  const std::pair<std::string, int> pages[] = {
      {"/adminer/", 200},
      {"/phpinfo.php", 200},
      {"/slow.php?ms=100", 200},
      {"/adminer/?server=127.0.0.1&username=nobody", 403},  // its login refused
  };
  std::vector<std::string> targets;
  for (const auto& page : pages) targets.push_back(page.first);
  EXPECT_EQ(Page(0).status, 200);
  EXPECT_TRUE(Eventually([&] { return Processes() == 9; }, std::chrono::seconds(10)));
  const std::vector<pid_t> kept = tree.PhpCgiProcesses();
  for (const int burst : {8, 3, 12, 5}) {
    SCOPED_TRACE(burst);
    const std::vector<Response> got = PagesAtOnce(burst, targets);
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].status, pages[i % targets.size()].second) << targets[i % targets.size()];
      EXPECT_NE(got[i].body.size(), 0u);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(tree.PhpCgiProcesses(), kept);
  }
  EXPECT_EQ(ErrorLog().find("ended by signal"), std::string::npos) << ErrorLog();
  EXPECT_EQ(ErrorLog().find("ended before"), std::string::npos) << ErrorLog();
  EXPECT_TRUE(tree.Quit());
  // The children end by the signal their group is sent at quit, each when it next runs.
  for (pid_t pid : kept)
    EXPECT_TRUE(Eventually([pid] { return ProcessGone(pid); }, std::chrono::seconds(5)))
        << "php-cgi " << pid << " is left";
}

// A page past request_timeout while others run: its process alone is
// ended (and replaced); the other pages' answers arrive whole from the
// processes that served them all along.
TEST_F(PhpPoolTest, APagePastItsTimeEndsItsOwnProcessOnly) {
  ASSERT_TRUE(Start("processes = 4\nrequest_timeout = 2\n")) << tree.Output();
  EXPECT_EQ(Page(0).status, 200);
  ASSERT_TRUE(Eventually([&] { return Processes() == 5; }, std::chrono::seconds(10)));
  const std::vector<pid_t> before = tree.PhpCgiProcesses();
  std::future<Response> late = std::async(std::launch::async, [this] { return Page(4000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::vector<Response> others = PagesAtOnce(3, std::vector<std::string>(6, "/slow.php?ms=400"));
  EXPECT_EQ(late.get().status, 504);
  std::set<pid_t> servedBy;
  for (const Response& r : others) {
    EXPECT_EQ(r.status, 200);
    servedBy.insert(std::stoi(r.body));
  }
  ASSERT_TRUE(Eventually([&] { return Processes() == 5; }, std::chrono::seconds(5)));
  const std::vector<pid_t> after = tree.PhpCgiProcesses();
  std::vector<pid_t> ended;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                      std::back_inserter(ended));
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(servedBy.count(ended[0]), 0u);
  for (pid_t pid : servedBy) EXPECT_NE(std::find(after.begin(), after.end(), pid), after.end());
}

// php-cgi sees what PHP needs of the environment, not the user's session;
// what a script writes to php://stderr lands in the tree's log.
TEST_F(PhpPoolTest, PhpCgiGetsTheTreesEnvironmentAndItsStderrGoesToTheLog) {
  setenv("PORTAVANE_TEST_SESSION", "secret", 1);
  setenv("HOME", "/home/somebody", 1);
  tree.WritePage("env.php",
                 "<?php foreach (explode(',', $_GET['names']) as $n)"
                 " echo $n, '=', var_export(getenv($n), true), \"\\n\";"
                 " file_put_contents('php://stderr', \"written to stderr\\n\");");
  ASSERT_TRUE(Start("")) << tree.Output();
  unsetenv("PORTAVANE_TEST_SESSION");
  const std::string tmp = "'" + tree.Root() + "/tmp'";
  const struct {
    const char* name;
    std::string value;  // as var_export shows it
  } cases[] = {
      {"PORTAVANE_TEST_SESSION", "false"},
      {"HOME", "false"},
      {"PATH", "'" + std::string(std::getenv("PATH")) + "'"},
      {"PHPRC", "'" + tree.Root() + "/php'"},
      {"TMPDIR", tmp},
      {"TEMP", tmp},
      {"TMP", tmp},
      {"PHP_INI_SCAN_DIR", "''"},
  };
  std::string names, expected;
  for (const auto& c : cases) {
    names += std::string(names.empty() ? "" : ",") + c.name;
    expected += std::string(c.name) + "=" + c.value + "\n";
  }
  const Response r = Client(tree.port).Request(Get("/env.php?names=" + names));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, expected);
  EXPECT_NE(ErrorLog().find("written to stderr\n"), std::string::npos) << ErrorLog();
}

}  // namespace
