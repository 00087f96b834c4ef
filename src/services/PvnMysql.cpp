// TPvn: the tree's MySQL server, started hidden at program start and stopped
// through its administration program at the end, by force after 30 seconds.
#include <chrono>
#include <thread>

#include "common/KestroClass.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "services/PvnClass.h"

namespace {

constexpr int kStopRounds = 300;
constexpr std::chrono::milliseconds kStopRound(100);

std::string BinProgram(const std::string& appDir, const std::string& name) {
  return TPvn::GetMysqlDir(appDir) + platform::PathDelim + "bin" + platform::PathDelim + name +
         platform::ProgramSuffix;
}

}  // namespace

std::string TPvn::GetMysqldFile() { return GetMysqldFile(TKestro::GetAppDir()); }
std::string TPvn::GetMysqldFile(const std::string& appDir) { return BinProgram(appDir, "mysqld"); }

std::string TPvn::GetMysqladminFile() { return GetMysqladminFile(TKestro::GetAppDir()); }
std::string TPvn::GetMysqladminFile(const std::string& appDir) {
  return BinProgram(appDir, "mysqladmin");
}

void TPvn::StartMysql() { StartMysql(TKestro::GetAppDir()); }
// A server of the tree that already runs (started by hand) is kept: a second
// one cannot have the locked data folder, keeps retrying for 30 seconds and
// would hold up the stop at the end by as long.
void TPvn::StartMysql(const std::string& appDir) {
  if (TKestro::FindProcessByFile(GetMysqldFile(appDir)) != 0) return;
  platform::LaunchHidden(GetMysqldFile(appDir), "--defaults-file=\"" + GetMyCnfFile(appDir) + "\"" +
                                                    platform::MysqlStandaloneSwitch);
}

void TPvn::StopMysql() { StopMysql(TKestro::GetAppDir()); }
void TPvn::StopMysql(const std::string& appDir) {
  std::string port = TKestro::Trim(TKestro::ReadIniString("mysqld", "port", GetMyCnfFile(appDir)));
  std::string server = GetMysqldFile(appDir);
  std::string admin = GetMysqladminFile(appDir);
  platform::LaunchHidden(admin, "--port=" + port + " -u root shutdown");
  std::uint32_t pid = 0;
  for (int round = 0; round < kStopRounds; ++round) {
    std::this_thread::sleep_for(kStopRound);
    pid = TKestro::FindProcessByFile(server);
    if (pid == 0) break;
  }
  if (pid != 0) TKestro::KillProcess(pid);
  if (std::uint32_t hung = TKestro::FindProcessByFile(admin)) TKestro::KillProcess(hung);
}
