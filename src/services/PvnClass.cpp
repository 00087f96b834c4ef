#include "services/PvnClass.h"

#include <stdexcept>

#include "common/KestroClass.h"
#include "common/Product.h"
#include "platform/AutoRun.h"
#include "platform/Files.h"
#include "platform/TimeZone.h"

namespace {

const char kSettingsSection[] = "PVN";
const char kMysqlFiles[] = "\\tmp\\mysql-files";

// The application folder followed by a suffix written with "\", appended with
// the native delimiter and otherwise unchanged.
std::string InTree(const std::string& appDir, const std::string& suffix) {
  std::string path = appDir;
  for (char c : suffix) path += c == '\\' ? platform::PathDelim : c;
  return path;
}

// The folder of the tree at `suffix`, created (one level) when missing.
std::string TreeFolder(const std::string& appDir, const std::string& suffix) {
  std::string dir = InTree(appDir, suffix);
  if (!platform::DirectoryExists(dir) && !platform::CreateDir(dir) &&
      !platform::DirectoryExists(dir))
    throw std::runtime_error("Unable to create directory " + dir);
  return dir;
}

// `value` as a double-quoted string of PHP's ini syntax, which PHP reads back
// byte for byte wherever the tree lies (unquoted, ( ) & | ~ ! ^ ; and quotes
// are syntax). Inside the quotes a backslash before \ " or $ escapes it, "${"
// starts a variable and any other backslash is itself: a backslash is doubled
// only before those and before the closing quote, so Windows paths stay
// readable, and every " and $ is escaped.
std::string PhpIniString(const std::string& value) {
  const std::string escaped = "\\\"$";
  std::string quoted = "\"";
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    const bool beforeEscaped = i + 1 == value.size() || escaped.find(value[i + 1]) != std::string::npos;
    if (c == '"' || c == '$' || (c == '\\' && beforeEscaped)) quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

// PHP's session handler splits its path at the first two ";" (depth, mode,
// folder), so a folder whose path holds one is given both before it: depth 0
// and mode 0600, the handler's own defaults.
std::string SessionSavePath(const std::string& dir) {
  return dir.find(';') == std::string::npos ? dir : "0;0600;" + dir;
}

// What PHP left in tmp/ from an earlier run: uploads and its own temporary
// files ("php" and a random suffix) of a php-cgi that ended while it held
// them. Sessions and folders (caches) stay.
void EmptyPhpLeftovers(const std::string& tmp) {
  for (const std::string& name : platform::FindEntries(tmp, "php*")) {
    const std::string path = tmp + platform::PathDelim + name;
    if (platform::FileExists(path)) platform::RemoveFile(path);
  }
}

}  // namespace

std::string TPvn::GetLogDir() { return GetLogDir(TKestro::GetAppDir()); }
std::string TPvn::GetLogDir(const std::string& appDir) { return TreeFolder(appDir, "\\log"); }

std::string TPvn::GetTmpDir() { return GetTmpDir(TKestro::GetAppDir()); }
std::string TPvn::GetTmpDir(const std::string& appDir) { return TreeFolder(appDir, "\\tmp"); }

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

std::string TPvn::GetMysqlFilesDir(const std::string& appDir) {
  return InTree(appDir, kMysqlFiles);
}

void TPvn::UpdateMyCnf() { UpdateMyCnf(TKestro::GetAppDir()); }
void TPvn::UpdateMyCnf(const std::string& appDir) {
  std::string base = TKestro::ToForwardSlashes(GetMysqlDir(appDir));
  std::string data = TKestro::ToForwardSlashes(GetMysqlDataDir(appDir));
  std::string file = GetMyCnfFile(appDir);
  if (!platform::FileExists(file)) return;
  TKestro::WriteIniString("mysqld", "basedir", file, base);
  TKestro::WriteIniString("mysqld", "datadir", file, data);
  // The server refuses to start when this folder is missing.
  GetTmpDir(appDir);
  const std::string files = TreeFolder(appDir, kMysqlFiles);
  TKestro::WriteIniString("mysqld", "secure_file_priv", file, TKestro::ToForwardSlashes(files));
}

void TPvn::UpdatePhpIni() { UpdatePhpIni(TKestro::GetAppDir()); }
void TPvn::UpdatePhpIni(const std::string& appDir) {
  std::string file = GetPhpIniFile(appDir);
  if (!platform::FileExists(file)) return;
  auto write = [&file](const char* section, const char* key, const std::string& value) {
    TKestro::WriteIniString(section, key, file, PhpIniString(value));
  };
  write("PHP", "extension_dir", InTree(appDir, "\\php\\ext"));
  write("PHP", "mime_magic.magicfile", InTree(appDir, "\\php\\ext\\magic.mime"));
  write("Zend", "zend_extension_manager.optimizer_ts",
        InTree(appDir, "\\php\\Zend\\Optimizer\\lib\\Optimizer"));
  std::string lib = TKestro::ReadIniString("Zend", "pvn_zend_extension_ts", file);
  write("Zend", "zend_extension_ts", InTree(appDir, "\\php\\Zend\\Optimizer\\lib\\") + lib);
  write("PHP", "error_log", GetLogDir(appDir) + platform::PathDelim + "php_errors.log");
  std::string tmp = GetTmpDir(appDir);
  EmptyPhpLeftovers(tmp);
  write("PHP", "upload_tmp_dir", tmp);
  write("PHP", "sys_temp_dir", tmp);
  write("Session", "session.save_path", SessionSavePath(tmp));
  // Blank, also in a php.ini that an earlier start filled in: php-cgi
  // processes sharing one file cache crashed in opcache.
  write("opcache", "opcache.file_cache", "");
  write("Date", "date.timezone", platform::MachineTimeZone());
  // mysqli's default port follows the tree's server; pdo_mysql has no such
  // setting.
  const std::string port =
      TKestro::Trim(TKestro::ReadIniString("mysqld", "port", GetMyCnfFile(appDir)));
  if (!port.empty() && port.find_first_not_of("0123456789") == std::string::npos)
    TKestro::WriteIniString("MySQLi", "mysqli.default_port", file, port);
  std::string socket = GetMysqlSocketFile(appDir);
  if (socket.empty()) return;
  write("MySQLi", "mysqli.default_socket", socket);
  write("Pdo_mysql", "pdo_mysql.default_socket", socket);
}

std::string TPvn::GetAutoRunData() {
  return "\"" + platform::ExecutablePathUtf8() + "\" " PV_AUTOSTART_WORD;
}
