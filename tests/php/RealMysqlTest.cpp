// Real MariaDB: the console program run from a copy of the assembled tree in
// a folder whose path holds a blank, its server on a free port, queried by
// PHP pages through mysqli and PDO.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <thread>

#include "ChildProcess.h"
#include "TreeProgram.h"
#include "common/KestroClass.h"
#include "platform/Processes.h"
#include "services/PvnClass.h"

namespace {

using httptest::Client;
using httptest::Get;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Each way PHP reaches the server, as one line: the way and the answer of
// SELECT 6*7, or the failure.
const char kQueryPage[] = R"(<?php
mysqli_report(MYSQLI_REPORT_OFF);
$port = (int)$_GET['port'];
foreach (['127.0.0.1', 'localhost'] as $host) {
  $db = @new mysqli($host, 'root', '', '', $port);
  echo "mysqli $host ", $db->connect_errno ? $db->connect_error : $db->query('SELECT 6*7')->fetch_row()[0], "\n";
  try {
    $pdo = new PDO("mysql:host=$host;port=$port", 'root', '');
    echo "pdo $host ", $pdo->query('SELECT 6*7')->fetchColumn(), "\n";
  } catch (PDOException $e) {
    echo "pdo $host ", $e->getMessage(), "\n";
  }
}
$db = @new mysqli('127.0.0.1', 'root', '');
echo "mysqli default port ", $db->connect_errno ? $db->connect_error : $db->query('SELECT 6*7')->fetch_row()[0], "\n";
)";

// Where the root account may write a file through a query: each target as
// one line, "written" or the server's refusal.
const char kOutfilePage[] = R"(<?php
mysqli_report(MYSQLI_REPORT_OFF);
$db = new mysqli('127.0.0.1', 'root', '');
foreach ($_GET['to'] as $to) {
  $done = $db->query("SELECT '<?php echo 7*6;' INTO OUTFILE '" . $db->real_escape_string($to) . "'");
  echo $done ? 'written' : ($db->errno == 1290 ? 'refused' : $db->error), "\n";
})";

// Whether the server of the tree at `app` answers within 30 seconds.
bool Answers(TreeProgram& tree, int seconds = 30) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  const std::string path = "/query.php?port=" + std::to_string(tree.mysqlPort);
  std::string last;
  while (Clock::now() < end) {
    last = Client(tree.port).Request(Get(path)).body;
    if (last.find("mysqli 127.0.0.1 42") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ADD_FAILURE() << "the tree's database did not answer; last page:\n" << last;
  return false;
}

std::string Mysqld(const TreeProgram& tree) { return TPvn::GetMysqldFile(tree.Root()); }

class RealMysql : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
    tree_.WritePage("query.php", kQueryPage);
    for (const char* page : {"index.php", "adminer/index.php", "adminer/local-login.php", "adminer/adminer.php"}) {
      std::ifstream delivered(TreeProgram::AssembledTree() + "/www/" + page);
      tree_.WritePage(page, std::string(std::istreambuf_iterator<char>(delivered), {}));
    }
  }
  void TearDown() override {
    for (const TreeProgram* tree : {&tree_, &other_})
      if (!tree->Root().empty())
        while (std::uint32_t pid = TKestro::FindProcessByFile(Mysqld(*tree))) TKestro::KillProcess(pid);
  }
  TreeProgram tree_{TreeProgram::Mysql::kIncluded};
  TreeProgram other_{TreeProgram::Mysql::kIncluded};
};

TEST_F(RealMysql, TheProgramRunsTheServerForPhpAndQuitStopsIt) {
  ASSERT_TRUE(tree_.Start()) << tree_.Output();
  ASSERT_TRUE(Answers(tree_)) << tree_.Output();
  EXPECT_EQ(Client(tree_.port).Request(Get("/query.php?port=" + std::to_string(tree_.mysqlPort))).body,
            "mysqli 127.0.0.1 42\npdo 127.0.0.1 42\nmysqli localhost 42\npdo localhost 42\n"
            "mysqli default port 42\n");  // my.cnf's port is not 3306
  EXPECT_NE(Client(tree_.port).Request(Get("/index.php")).body.find(
                "MySQL answers on port " + std::to_string(tree_.mysqlPort) + " at 127.0.0.1 and localhost"),
            std::string::npos);
  EXPECT_TRUE(tree_.Quit());
  EXPECT_EQ(TKestro::FindProcessByFile(Mysqld(tree_)), 0u);
}

// A page the developer opens can rebind its own host name to 127.0.0.1 and
// reach the database tools from the browser: the empty root password works
// only for the names of this machine, in Adminer and in phpMyAdmin set up as
// the README says, and root writes files nowhere a page could run.
TEST_F(RealMysql, OnlyThisMachinesNamesLogInWithoutPasswordAndQueriesWriteNoPages) {
  ASSERT_TRUE(fs::exists("/usr/share/phpmyadmin")) << "phpMyAdmin not installed: scripts/install-deps.sh";
  tree_.DropInPhpMyAdmin();
  tree_.WritePage("outfile.php", kOutfilePage);
  ASSERT_TRUE(tree_.Start()) << tree_.Output();
  ASSERT_TRUE(Answers(tree_)) << tree_.Output();
  const std::string port = ":" + std::to_string(tree_.port);
  const struct {
    const char* address;
    std::string host;
    bool logsIn;
  } hosts[] = {
      {"127.0.0.1", "localhost" + port, true},
      {"127.0.0.1", "127.0.0.1" + port, true},
      {"127.0.0.1", "LocalHost", true},
      // A project's own host: the tree's tools are under the main host only.
      {"127.0.0.1", "app.localhost" + port, false},
      {"::1", "[::1]" + port, true},
      {"::1", "localhost", true},
      {"127.0.0.1", "rebind.attacker.example", false},
      {"127.0.0.1", "rebind.attacker.example" + port, false},
      {"127.0.0.1", "evil.example", false},
      {"127.0.0.1", "localhost.attacker.example", false},
      {"127.0.0.1", "127.0.0.1.attacker.example", false},
      {"127.0.0.1", "", false},
  };
  for (const auto& h : hosts) {
    // Each tool's own steps, as a browser takes them with its cookies: the
    // login form, its post, and the page after it, which connects.
    std::map<std::string, std::string> jar;
    auto ask = [&](const std::string& method, const std::string& target, const std::string& body) {
      std::string cookies;
      for (const auto& [name, value] : jar) cookies += (cookies.empty() ? "" : "; ") + name + "=" + value;
      Client client(tree_.port, h.address);
      httptest::Response r = client.Request(
          method + " " + target + " HTTP/1.1\r\nHost: " + h.host + "\r\nCookie: " + cookies + "\r\n" +
          (body.empty() ? "" : "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                   std::to_string(body.size()) + "\r\n") +
          "\r\n" + body);
      for (const auto& [name, value] : r.headers)
        if (name == "Set-Cookie") {
          const std::string pair = value.substr(0, value.find(';'));
          const std::string key = pair.substr(0, pair.find('=')), given = pair.substr(pair.find('=') + 1);
          if (given == "deleted") jar.erase(key); else jar[key] = given;
        }
      return r;
    };
    ask("GET", "/adminer/", "");
    ask("POST", "/adminer/",
        "auth%5Bdriver%5D=server&auth%5Bserver%5D=localhost&auth%5Busername%5D=root&auth%5Bpassword%5D=");
    const httptest::Response adminer = ask("GET", "/adminer/?server=localhost&username=root", "");
    EXPECT_EQ(adminer.body.find("name=\"logout\"") != std::string::npos, h.logsIn)
        << "Adminer " << h.address << " " << h.host;

    jar.clear();
    const std::string form = ask("GET", "/phpmyadmin/index.php", "").body;
    std::smatch token, session;
    std::regex_search(form, token, std::regex("name=\"token\" value=\"([^\"]+)\""));
    std::regex_search(form, session, std::regex("name=\"set_session\" value=\"([^\"]+)\""));
    ask("POST", "/phpmyadmin/index.php?route=/",
        "route=%2F&server=1&token=" + token.str(1) + "&set_session=" + session.str(1) +
            "&pma_username=root&pma_password=");
    const httptest::Response pma = ask("GET", "/phpmyadmin/index.php?route=/", "");
    EXPECT_EQ(pma.body.find("route=/logout") != std::string::npos, h.logsIn)
        << "phpMyAdmin " << h.address << " " << h.host << "\n" << pma.body.substr(0, 3000);
  }

  const std::string www = tree_.Root() + "/www";
  const struct {
    std::string to;
    const char* outcome;
  } targets[] = {
      {www + "/x.php", "refused"},
      {tree_.Root() + "/y.php", "refused"},
      {TPvn::GetMysqlDataDir(tree_.Root()) + "/z.php", "refused"},
      {TPvn::GetMysqlFilesDir(tree_.Root()) + "/export.txt", "written"},
  };
  std::string query, expected;
  for (const auto& t : targets) {
    query += "&to[]=" + t.to;
    expected += std::string(t.outcome) + "\n";
  }
  for (char& c : query)
    if (c == ' ') c = '+';
  EXPECT_EQ(Client(tree_.port).Request(Get("/outfile.php?" + query.substr(1))).body, expected);
  EXPECT_EQ(Client(tree_.port).Request(Get("/x.php")).status, 404);
}

// A server started by hand from the tree before the program is used by it
// and stopped at its end; the server of another tree keeps running.
TEST_F(RealMysql, AHandStartedServerIsStoppedAndAnotherTreesIsLeftRunning) {
  for (const TreeProgram* tree : {&tree_, &other_}) {
    TPvn::UpdateMyCnf(tree->Root());  // as after an earlier run of the copy
    platform::LaunchHidden(Mysqld(*tree), "--defaults-file=\"" + TPvn::GetMyCnfFile(tree->Root()) + "\"");
  }
  // The program is to find the hand-started server running, not race its start.
  const auto seen = Clock::now() + std::chrono::seconds(10);
  while (TKestro::FindProcessByFile(Mysqld(tree_)) == 0 && Clock::now() < seen)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(tree_.Start()) << tree_.Output();
  ASSERT_TRUE(Answers(tree_, 60)) << tree_.Output();
  const std::uint32_t other = TKestro::FindProcessByFile(Mysqld(other_));
  ASSERT_NE(other, 0u);
  const auto quit = Clock::now();
  EXPECT_TRUE(tree_.Quit());
  EXPECT_LT(Clock::now() - quit, std::chrono::seconds(10)) << "no second server waited for";
  EXPECT_EQ(TKestro::FindProcessByFile(Mysqld(tree_)), 0u);
  EXPECT_EQ(TKestro::FindProcessByFile(Mysqld(other_)), other);
  TPvn::StopMysql(other_.Root());
  EXPECT_EQ(TKestro::FindProcessByFile(Mysqld(other_)), 0u);
}

// `./portavane </dev/null | head -3`: the program's output is a pipe whose
// reader is gone. Its writes fail, and the end a signal asks for still runs
// its close sequence, which stops the tree's server.
TEST_F(RealMysql, AProgramWhoseOutputIsGoneStillStopsTheServerAtItsEnd) {
  const std::string folder = std::filesystem::path(tree_.Root()).parent_path().string();
  const std::string output = folder + "/output";
  ASSERT_EQ(::mkfifo(output.c_str(), 0600), 0);
  const int reader = ::open(output.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ChildProcess program(tree_.Root() + "/portavane", {},
                       {"XDG_RUNTIME_DIR=" + folder, "XDG_CONFIG_HOME=" + folder + "/config"}, output);
  ::close(reader);  // the program has opened its end: posix_spawn returns after the exec
  ASSERT_TRUE(Answers(tree_)) << "the program died of its first line";
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitForExit(std::chrono::seconds(45)), 0);
  EXPECT_EQ(TKestro::FindProcessByFile(Mysqld(tree_)), 0u);
}

}  // namespace
