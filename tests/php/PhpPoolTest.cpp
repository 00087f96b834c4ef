// The tree's pool of php-cgi processes as a site's load changes: it starts
// with a few, grows while pages run side by side, and gives the extra
// processes back once they have been idle, losing no page on the way; each
// process starts with the tree's environment, not the server's.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
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

TEST_F(PhpPoolTest, ThePoolGrowsWithPagesSideBySideAndShrinksBackWhenIdle) {
  struct Case {
    const char* settings;
    std::size_t first;   // processes after the first page
    int atOnce;          // pages then run side by side
    std::size_t most;    // processes at most while they run
    std::size_t idle;    // processes once the others were idle a while
  } cases[] = {
      {"min_processes = 1\nidle_timeout = 1\n", 1, 6, 6, 1},
      {"min_processes = 3\nidle_timeout = 1\n", 3, 6, 6, 3},
      {"processes = 2\nmin_processes = 1\nidle_timeout = 1\n", 1, 4, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    ASSERT_TRUE(Start(c.settings)) << tree.Output();
    EXPECT_EQ(Page(0).status, 200);
    EXPECT_EQ(Processes(), c.first);

    std::future<std::vector<Response>> pages =
        std::async(std::launch::async, [&] { return PagesAtOnce(c.atOnce, {"/slow.php?ms=1500"}); });
    EXPECT_TRUE(Eventually([&] { return Processes() == c.most; }, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Processes(), c.most);  // never past the bound
    for (const Response& r : pages.get()) EXPECT_EQ(r.status, 200);

    // A page now and then, as a quiet site gets them: the idle processes
    // end, the pages keep their answers.
    EXPECT_TRUE(Eventually([&] { return Page(0).status == 200 && Processes() == c.idle; },
                           std::chrono::seconds(15)));
    EXPECT_EQ(Page(0).status, 200);
    EXPECT_EQ(Processes(), c.idle);
    EXPECT_TRUE(tree.Quit());
  }
}

// Bursts that start processes and quiet spells that end them again, over the
// tree's own application: every page answers, and no php-cgi crashes (the
// module logs one that ended by a signal nobody sent).
TEST_F(PhpPoolTest, BurstsThatGrowAndShrinkThePoolLoseNoPage) {
  const fs::path www = fs::path(TreeProgram::AssembledTree()) / "www";
  fs::copy(www / "adminer", fs::path(tree.Root()) / "www" / "adminer", fs::copy_options::recursive);
  fs::copy(www / "phpinfo.php", fs::path(tree.Root()) / "www" / "phpinfo.php");
  ASSERT_TRUE(Start("processes = 8\nmin_processes = 1\nidle_timeout = 1\n")) << tree.Output();
  const std::pair<std::string, int> pages[] = {
      {"/adminer/", 200},
      {"/phpinfo.php", 200},
      {"/slow.php?ms=100", 200},
      {"/adminer/?server=127.0.0.1&username=nobody", 403},  // its login refused
  };
  std::vector<std::string> targets;
  for (const auto& page : pages) targets.push_back(page.first);
  for (const int burst : {8, 3, 8, 5}) {
    SCOPED_TRACE(burst);
    std::future<std::vector<Response>> answers =
        std::async(std::launch::async, [&] { return PagesAtOnce(burst, targets); });
    EXPECT_TRUE(Eventually([&] { return Processes() > 1; }, std::chrono::seconds(10)));
    const std::vector<Response> got = answers.get();
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].status, pages[i % targets.size()].second) << targets[i % targets.size()];
      EXPECT_NE(got[i].body.size(), 0u);
    }
    EXPECT_TRUE(Eventually([&] { return Page(0).status == 200 && Processes() == 1; },
                           std::chrono::seconds(15)));
  }
  EXPECT_EQ(ErrorLog().find("ended by signal"), std::string::npos) << ErrorLog();
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
