// Starting and stopping the tree's MySQL server, with stand-ins for the MySQL
// programs built for this platform (under Wine, Windows programs, which the
// process snapshot sees), in a tree whose path holds a blank.
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
const bool kWindows = std::string(platform::ProgramSuffix) == ".exe";

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A tree with the stand-ins as mysql/bin/mysqld and mysqladmin.
std::string MakeTree(const fs::path& app) {
  fs::create_directories(app / "mysql" / "bin");
  std::ofstream(app / "mysql" / "bin" / "my.cnf") << "[mysqld]\nport = 4321 \n";
  fs::copy_file(PV_MYSQLD_STANDIN, TPvn::GetMysqldFile(app.string()));
  fs::copy_file(PV_MYSQLADMIN_STANDIN, TPvn::GetMysqladminFile(app.string()));
  return app.string();
}

// The process of `program` once it runs; 0 when none came within 10 seconds.
std::uint32_t WaitForProcess(const std::string& program) {
  const auto end = Clock::now() + std::chrono::seconds(10);
  std::uint32_t pid = 0;
  while ((pid = TKestro::FindProcessByFile(program)) == 0 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return pid;
}

// Whether no process of `program` is left within 2 seconds (an ended
// process takes a moment to go).
bool Gone(const std::string& program) {
  const auto end = Clock::now() + std::chrono::seconds(2);
  while (TKestro::FindProcessByFile(program) != 0 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return TKestro::FindProcessByFile(program) == 0;
}

// The stand-in's record of its parameters, once it is written.
std::string Arguments(const fs::path& record) {
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (ReadFile(record).empty() && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return ReadFile(record);
}

class MysqlControl : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& app : {app_, other_})
      for (const std::string& program : {TPvn::GetMysqldFile(app), TPvn::GetMysqladminFile(app)})
        while (std::uint32_t pid = TKestro::FindProcessByFile(program)) TKestro::KillProcess(pid);
  }
  fs::path Bin() const { return fs::path(app_) / "mysql" / "bin"; }
  double SecondsToStop() {
    const auto begin = Clock::now();
    TPvn::StopMysql(app_);
    return std::chrono::duration<double>(Clock::now() - begin).count();
  }

  TempFolder temp_;
  std::string app_ = MakeTree(fs::path(temp_.Path()) / "my tree");
  std::string other_ = MakeTree(fs::path(temp_.Path()) / "other");
};

TEST_F(MysqlControl, StartLaunchesTheServerAndStopEndsItThroughTheAdministrationProgram) {
  TPvn::StartMysql(app_);
  const std::uint32_t pid = WaitForProcess(TPvn::GetMysqldFile(app_));
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(TKestro::UpperCase(TKestro::GetProcessFileName(pid)),
            TKestro::UpperCase(platform::CanonicalFileName(TPvn::GetMysqldFile(app_))));
  EXPECT_EQ(Arguments(Bin() / "mysqld.args"),
            "--defaults-file=" + TPvn::GetMyCnfFile(app_) + "\n" + (kWindows ? "--standalone\n" : ""));

  EXPECT_LT(SecondsToStop(), 10);
  EXPECT_EQ(Arguments(Bin() / "mysqladmin.args"), "--port=4321\n-u\nroot\nshutdown\n");
  EXPECT_EQ(TKestro::FindProcessByFile(TPvn::GetMysqldFile(app_)), 0u);
}

// A server started by hand from the tree is the tree's; one of another
// folder is never matched nor stopped.
TEST_F(MysqlControl, AHandStartedServerIsStoppedAndAnotherFoldersIsLeftAlone) {
  platform::LaunchHidden(TPvn::GetMysqldFile(other_), "");
  const std::uint32_t other = WaitForProcess(TPvn::GetMysqldFile(other_));
  ASSERT_NE(other, 0u);
  platform::LaunchHidden(TPvn::GetMysqldFile(app_), "");
  const std::uint32_t own = WaitForProcess(TPvn::GetMysqldFile(app_));
  ASSERT_NE(own, 0u);
  EXPECT_NE(own, other);

  EXPECT_LT(SecondsToStop(), 10);
  EXPECT_EQ(TKestro::FindProcessByFile(TPvn::GetMysqldFile(app_)), 0u);
  EXPECT_EQ(TKestro::FindProcessByFile(TPvn::GetMysqldFile(other_)), other);
}

TEST_F(MysqlControl, AHungAdministrationProgramIsEnded) {
  std::ofstream(Bin() / "hang") << "";
  EXPECT_LT(SecondsToStop(), 10);
  EXPECT_NE(Arguments(Bin() / "mysqladmin.args"), "") << "the administration program ran";
  EXPECT_TRUE(Gone(TPvn::GetMysqladminFile(app_)));
}

TEST_F(MysqlControl, MissingProgramsAreNoFailure) {
  fs::remove(TPvn::GetMysqldFile(app_));
  fs::remove(TPvn::GetMysqladminFile(app_));
  TPvn::StartMysql(app_);
  EXPECT_LT(SecondsToStop(), 2);
}

// The only long case: the stop waits its 30 seconds, then ends the server.
TEST_F(MysqlControl, AServerThatIgnoresTheShutdownIsEndedAfterThirtySeconds) {
  std::ofstream(Bin() / "ignore-shutdown") << "";
  TPvn::StartMysql(app_);
  ASSERT_NE(WaitForProcess(TPvn::GetMysqldFile(app_)), 0u);
  const double seconds = SecondsToStop();
  EXPECT_GE(seconds, 30);
  EXPECT_LT(seconds, 40);
  EXPECT_TRUE(Gone(TPvn::GetMysqldFile(app_)));
}

}  // namespace
