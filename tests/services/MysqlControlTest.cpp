// Starting and stopping the tree's MySQL server, with stand-ins for the MySQL
// programs built for this platform (under Wine, Windows programs, which the
// process snapshot sees), in a tree whose path holds a blank beside the tree
// of another folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempFolder.h"
#include "common/KestroClass.h"
#include "platform/Processes.h"
#include "services/PvnClass.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
const bool kWindows = std::string(platform::ProgramSuffix) == ".exe";
constexpr int kPort = 4321;

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A tree with the stand-ins as mysql/bin/mysqld and mysqladmin, its server
// on `port` and on the socket file mysql/data/mysqld.sock.
std::string MakeTree(const fs::path& app, int port) {
  fs::create_directories(app / "mysql" / "bin");
  fs::create_directories(app / "mysql" / "data");
  std::ofstream(app / "mysql" / "bin" / "my.cnf") << "[mysqld]\nport = " << port << " \nsocket=mysqld.sock\n";
  fs::copy_file(PV_MYSQLD_STANDIN, TPvn::GetMysqldFile(app.string()));
  fs::copy_file(PV_MYSQLADMIN_STANDIN, TPvn::GetMysqladminFile(app.string()));
  return app.string();
}

fs::path Bin(const std::string& app) { return fs::path(app) / "mysql" / "bin"; }

// The process of `program` once it runs; 0 when none came within 10 seconds.
std::uint32_t WaitForProcess(const std::string& program) {
  const auto end = Clock::now() + std::chrono::seconds(10);
  std::uint32_t pid = 0;
  while ((pid = TKestro::FindProcessByFile(program)) == 0 && Clock::now() < end)
    std::this_thread::sleep_for(milliseconds(50));
  return pid;
}

// Whether no process of `program` is left within 2 seconds (an ended
// process takes a moment to go).
bool Gone(const std::string& program) {
  const auto end = Clock::now() + std::chrono::seconds(2);
  while (TKestro::FindProcessByFile(program) != 0 && Clock::now() < end)
    std::this_thread::sleep_for(milliseconds(20));
  return TKestro::FindProcessByFile(program) == 0;
}

// The stand-in's record of its parameters, once it is written.
std::string Arguments(const fs::path& record) {
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (ReadFile(record).empty() && Clock::now() < end)
    std::this_thread::sleep_for(milliseconds(20));
  return ReadFile(record);
}

// As a user starts a server by hand, with the tree's options.
void StartByHand(const std::string& app) {
  platform::LaunchHidden(TPvn::GetMysqldFile(app), "--defaults-file=\"" + TPvn::GetMyCnfFile(app) + "\"");
}

double SecondsToStop(const std::string& app, milliseconds patience = milliseconds(30'000)) {
  const auto begin = Clock::now();
  TPvn::StopMysql(app, patience);
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

// The tree's own and the tree of another folder, side by side; what either
// left running is ended with them.
struct Trees {
  explicit Trees(int otherPort = kPort + 1)
      : app(MakeTree(fs::path(temp.Path()) / "my tree", kPort)),
        other(MakeTree(fs::path(temp.Path()) / "other", otherPort)) {}
  ~Trees() {
    for (const std::string& tree : {app, other})
      for (const std::string& program : {TPvn::GetMysqldFile(tree), TPvn::GetMysqladminFile(tree)})
        while (std::uint32_t pid = TKestro::FindProcessByFile(program)) TKestro::KillProcess(pid);
  }
  std::string Own() const { return TPvn::GetMysqldFile(app); }

  TempFolder temp;
  std::string app, other;
};

TEST(MysqlControl, StartLaunchesTheServerWithTheOptionFile) {
  Trees trees;
  TPvn::StartMysql(trees.app);
  const std::uint32_t pid = WaitForProcess(trees.Own());
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(TKestro::UpperCase(TKestro::GetProcessFileName(pid)),
            TKestro::UpperCase(platform::CanonicalFileName(trees.Own())));
  EXPECT_EQ(Arguments(Bin(trees.app) / "mysqld.args"),
            "--defaults-file=" + TPvn::GetMyCnfFile(trees.app) + "\n" + (kWindows ? "--standalone\n" : ""));
}

// A stop ends the tree's own server, however it was started, through the
// address that server alone holds (Linux its socket file), and never a
// server of another folder, not even one on the tree's port: there the
// user's own MySQL service keeps the tree's from starting.
TEST(MysqlControl, TheStopEndsTheTreesOwnServerAndNoOther) {
  struct Case {
    const char* what;
    int otherPort;   // of the other folder's server, started first; 0: none runs
    bool byHand;     // the tree's own is started by hand, not by StartMysql
    bool ownRuns;    // the tree's own runs at the stop
  };
  const Case cases[] = {
      {"the tree's own alone", 0, false, true},
      {"the tree's own started by hand, another folder's beside it", kPort + 1, true, true},
      {"another folder's on the tree's port, the tree's could not start", kPort, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Trees trees(c.otherPort ? c.otherPort : kPort + 1);
    std::uint32_t other = 0;
    if (c.otherPort) {
      StartByHand(trees.other);
      other = WaitForProcess(TPvn::GetMysqldFile(trees.other));
      ASSERT_NE(other, 0u);
      Arguments(Bin(trees.other) / "mysqld.args");  // it has taken its port
    }
    if (c.byHand)
      StartByHand(trees.app);
    else
      TPvn::StartMysql(trees.app);
    Arguments(Bin(trees.app) / "mysqld.args");  // it has taken its port or failed to
    if (c.ownRuns)
      ASSERT_NE(WaitForProcess(trees.Own()), 0u);
    else
      ASSERT_TRUE(Gone(trees.Own()));

    EXPECT_LT(SecondsToStop(trees.app), 10);
    EXPECT_TRUE(Gone(trees.Own()));
    const std::string address = kWindows ? "--port=4321"
                                         : "--socket=" + trees.app + "/mysql/data/mysqld.sock";
    EXPECT_EQ(ReadFile(Bin(trees.app) / "mysqladmin.args"),
              c.ownRuns ? "--no-defaults\n" + address + "\n-u\nroot\nshutdown\n" : "");
    if (other) {
      EXPECT_EQ(TKestro::FindProcessByFile(TPvn::GetMysqldFile(trees.other)), other);
    }
  }
}

TEST(MysqlControl, AHungAdministrationProgramIsEnded) {
  Trees trees;
  std::ofstream(Bin(trees.app) / "hang") << "";
  TPvn::StartMysql(trees.app);
  ASSERT_NE(WaitForProcess(trees.Own()), 0u);
  EXPECT_LT(SecondsToStop(trees.app, milliseconds(1000)), 10);
  EXPECT_NE(Arguments(Bin(trees.app) / "mysqladmin.args"), "") << "the administration program ran";
  EXPECT_TRUE(Gone(TPvn::GetMysqladminFile(trees.app)));
  EXPECT_TRUE(Gone(trees.Own()));
}

TEST(MysqlControl, MissingProgramsAreNoFailure) {
  Trees trees;
  fs::remove(trees.Own());
  fs::remove(TPvn::GetMysqladminFile(trees.app));
  TPvn::StartMysql(trees.app);
  EXPECT_LT(SecondsToStop(trees.app), 2);
}

// The stop waits its patience (30 seconds in the program), then ends the server.
TEST(MysqlControl, AServerThatIgnoresTheShutdownIsEndedWhenThePatienceIsSpent) {
  Trees trees;
  std::ofstream(Bin(trees.app) / "ignore-shutdown") << "";
  TPvn::StartMysql(trees.app);
  ASSERT_NE(WaitForProcess(trees.Own()), 0u);
  const double seconds = SecondsToStop(trees.app, milliseconds(2000));
  EXPECT_GE(seconds, 2);
  EXPECT_LT(seconds, 10);
  EXPECT_TRUE(Gone(trees.Own()));
}

}  // namespace
