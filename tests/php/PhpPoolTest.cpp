// The tree's pool of php-cgi processes as a site's load changes: it starts
// with a few, grows while pages run side by side, and gives the extra
// processes back once they have been idle; compiled scripts are left in the
// tree's tmp/ for the processes that start later.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
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
  // `count` pages of `ms` each, all at once; their answers.
  std::vector<Response> PagesAtOnce(int count, int ms) {
    std::vector<std::future<Response>> pages;
    for (int i = 0; i < count; ++i)
      pages.push_back(std::async(std::launch::async, [this, ms] {
        Client client(tree.port);
        client.Send(Get("/slow.php?ms=" + std::to_string(ms)));
        return client.Read(false, std::chrono::seconds(30));
      }));
    std::vector<Response> answers;
    for (auto& page : pages) answers.push_back(page.get());
    return answers;
  }
  std::size_t Processes() const { return tree.PhpCgiProcesses().size(); }

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
        std::async(std::launch::async, [&] { return PagesAtOnce(c.atOnce, 1500); });
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

TEST_F(PhpPoolTest, CompiledScriptsAreLeftInTheTreesTmpForLaterProcesses) {
  ASSERT_TRUE(Start(""));
  const fs::path cache = fs::path(tree.Root()) / "tmp" / "opcache";
  // A script changed in the last 2 seconds is compiled for the one request
  // (opcache.file_update_protection), so the page is asked again.
  EXPECT_TRUE(Eventually(
      [&] {
        if (Page(0).status != 200) return false;
        std::error_code error;
        for (fs::recursive_directory_iterator it(cache, error), end; !error && it != end;
             it.increment(error))
          if (it->path().filename() == "slow.php.bin") return true;
        return false;
      },
      std::chrono::seconds(10)))
      << "no slow.php.bin under " << cache;
}

}  // namespace
