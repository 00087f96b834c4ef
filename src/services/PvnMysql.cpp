// TPvn: the tree's MySQL server, started hidden at program start and stopped
// through its administration program at the end, by force after 30 seconds.
#include <thread>

#include "common/KestroClass.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "services/PvnClass.h"

namespace {

constexpr std::chrono::milliseconds kStopPatience(30'000);
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

std::string TPvn::GetMysqlSocketFile(const std::string& appDir) {
  std::string socket = TKestro::Trim(TKestro::ReadIniString("mysqld", "socket", GetMyCnfFile(appDir)));
  if (socket.empty()) return socket;
  socket = TKestro::ToNativePath(socket);
  bool absolute = socket[0] == platform::PathDelim || (socket.size() > 1 && socket[1] == ':');
  return absolute ? socket : GetMysqlDataDir(appDir) + platform::PathDelim + socket;
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
void TPvn::StopMysql(const std::string& appDir) { StopMysql(appDir, kStopPatience); }

// The port of my.cnf may be another server's (a MySQL service of the user's
// own, which kept the tree's from starting): a shutdown goes out only while
// the tree's server runs, and addresses it as closely as the platform allows.
// No option file is read, so none of the user's can point the command at
// another server or give it a password the tree's root does not have.
void TPvn::StopMysql(const std::string& appDir, std::chrono::milliseconds patience) {
  const std::string server = GetMysqldFile(appDir);
  std::uint32_t pid = TKestro::FindProcessByFile(server);
  if (pid == 0) return;
  std::string port = TKestro::Trim(TKestro::ReadIniString("mysqld", "port", GetMyCnfFile(appDir)));
  std::string admin = GetMysqladminFile(appDir);
  platform::LaunchHidden(admin, "--no-defaults " +
                                    platform::MysqlServerOption(port, GetMysqlSocketFile(appDir)) +
                                    " -u root shutdown");
  // Each look walks every process, which takes its own time on a busy
  // system, so the rounds also end when the patience is spent.
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (auto rounds = patience / kStopRound; rounds > 0 && std::chrono::steady_clock::now() < deadline;
       --rounds) {
    std::this_thread::sleep_for(kStopRound);
    pid = TKestro::FindProcessByFile(server);
    if (pid == 0) break;
  }
  if (pid != 0) TKestro::KillProcess(pid);
  if (std::uint32_t hung = TKestro::FindProcessByFile(admin)) TKestro::KillProcess(hung);
}
