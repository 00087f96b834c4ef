#include "services/PvnClass.h"

#include <stdexcept>

#include "common/KestroClass.h"
#include "platform/AutoRun.h"
#include "platform/Files.h"

namespace {

const char kSettingsSection[] = "PVN";
const char kAutostartWord[] = "自动";

// The application folder followed by a suffix written with "\", appended with
// the native delimiter and otherwise unchanged.
std::string InTree(const std::string& appDir, const std::string& suffix) {
  std::string path = appDir;
  for (char c : suffix) path += c == '\\' ? platform::PathDelim : c;
  return path;
}

// The server's socket as my.cnf names it, a relative name taken in the data
// folder as the server takes it; "" when my.cnf names none.
std::string MysqlSocketFile(const std::string& appDir) {
  std::string socket = TKestro::Trim(TKestro::ReadIniString("mysqld", "socket", TPvn::GetMyCnfFile(appDir)));
  if (socket.empty()) return socket;
  socket = TKestro::ToNativePath(socket);
  bool absolute = socket[0] == platform::PathDelim || (socket.size() > 1 && socket[1] == ':');
  return absolute ? socket : TPvn::GetMysqlDataDir(appDir) + platform::PathDelim + socket;
}

}  // namespace

std::string TPvn::GetLogDir() { return GetLogDir(TKestro::GetAppDir()); }
std::string TPvn::GetLogDir(const std::string& appDir) {
  std::string dir = InTree(appDir, "\\log");
  if (!platform::DirectoryExists(dir) && !platform::CreateDir(dir) &&
      !platform::DirectoryExists(dir))
    throw std::runtime_error("Unable to create directory " + dir);
  return dir;
}

std::string TPvn::GetSettingsFile() { return GetSettingsFile(TKestro::GetAppDir()); }
std::string TPvn::GetSettingsFile(const std::string& appDir) {
  return InTree(appDir, "\\pvn\\pvn.ini");
}

std::string TPvn::GetMyCnfFile() { return GetMyCnfFile(TKestro::GetAppDir()); }
std::string TPvn::GetMyCnfFile(const std::string& appDir) {
  return InTree(appDir, "\\mysql\\bin\\my.cnf");
}

std::string TPvn::GetMysqlDataDir() { return GetMysqlDataDir(TKestro::GetAppDir()); }
std::string TPvn::GetMysqlDataDir(const std::string& appDir) {
  return InTree(appDir, "\\mysql\\data");
}

std::string TPvn::GetMysqlDir() { return GetMysqlDir(TKestro::GetAppDir()); }
std::string TPvn::GetMysqlDir(const std::string& appDir) {
  return InTree(appDir, "\\mysql");
}

std::string TPvn::GetPhpDir() { return GetPhpDir(TKestro::GetAppDir()); }
std::string TPvn::GetPhpDir(const std::string& appDir) { return InTree(appDir, "\\php"); }

std::string TPvn::GetPhpIniFile() { return GetPhpIniFile(TKestro::GetAppDir()); }
std::string TPvn::GetPhpIniFile(const std::string& appDir) {
  return InTree(appDir, "\\php\\php.ini");
}

std::string TPvn::GetRootDir() { return platform::ExpandFileName("www"); }

std::string TPvn::LoadPort() { return LoadPort(TKestro::GetAppDir()); }
std::string TPvn::LoadPort(const std::string& appDir) {
  std::string file = GetSettingsFile(appDir);
  if (!platform::FileExists(file)) return std::string();
  return TKestro::Trim(TKestro::ReadIniString(kSettingsSection, "port", file));
}

void TPvn::SavePort(int port) { SavePort(port, TKestro::GetAppDir()); }
void TPvn::SavePort(int port, const std::string& appDir) {
  std::string file = GetSettingsFile(appDir);
  if (platform::FileExists(file))
    TKestro::WriteIniString(kSettingsSection, "port", file, std::to_string(port));
}

void TPvn::SavePaths() { SavePaths(TKestro::GetAppDir()); }
void TPvn::SavePaths(const std::string& appDir) {
  std::string root = GetRootDir();
  std::string log = GetLogDir(appDir);
  std::string file = GetSettingsFile(appDir);
  if (!platform::FileExists(file)) return;
  TKestro::WriteIniString(kSettingsSection, "root", file, root);
  TKestro::WriteIniString(kSettingsSection, "log", file, log);
}

void TPvn::UpdateMyCnf() { UpdateMyCnf(TKestro::GetAppDir()); }
void TPvn::UpdateMyCnf(const std::string& appDir) {
  std::string base = TKestro::ToForwardSlashes(GetMysqlDir(appDir));
  std::string data = TKestro::ToForwardSlashes(GetMysqlDataDir(appDir));
  std::string file = GetMyCnfFile(appDir);
  if (!platform::FileExists(file)) return;
  TKestro::WriteIniString("mysqld", "basedir", file, base);
  TKestro::WriteIniString("mysqld", "datadir", file, data);
}

void TPvn::UpdatePhpIni() { UpdatePhpIni(TKestro::GetAppDir()); }
void TPvn::UpdatePhpIni(const std::string& appDir) {
  std::string file = GetPhpIniFile(appDir);
  if (!platform::FileExists(file)) return;
  TKestro::WriteIniString("PHP", "extension_dir", file, InTree(appDir, "\\php\\ext"));
  TKestro::WriteIniString("PHP", "mime_magic.magicfile", file,
                          InTree(appDir, "\\php\\ext\\magic.mime"));
  TKestro::WriteIniString("Zend", "zend_extension_manager.optimizer_ts", file,
                          InTree(appDir, "\\php\\Zend\\Optimizer\\lib\\Optimizer"));
  std::string lib = TKestro::ReadIniString("Zend", "pvn_zend_extension_ts", file);
  TKestro::WriteIniString("Zend", "zend_extension_ts", file,
                          InTree(appDir, "\\php\\Zend\\Optimizer\\lib\\") + lib);
  std::string socket = MysqlSocketFile(appDir);
  if (socket.empty()) return;
  TKestro::WriteIniString("MySQLi", "mysqli.default_socket", file, socket);
  TKestro::WriteIniString("Pdo_mysql", "pdo_mysql.default_socket", file, socket);
}

std::string TPvn::GetAutoRunData() {
  return "\"" + platform::ExecutablePathUtf8() + "\" " + kAutostartWord;
}
