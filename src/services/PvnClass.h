// TPvn: the folder tree around the executable, its settings file pvn/pvn.ini,
// the rewriting of the tree's absolute paths in my.cnf and php.ini, the
// tree's MySQL server and the data of the start-at-log-on entry.
// Nothing is cached: every call computes its paths from the application folder.
//
// Each operation has a form for the tree at a given application folder; the
// argument-less forms use TKestro::GetAppDir().
#pragma once
#include <chrono>
#include <string>

class TPvn {
 public:
  TPvn() = delete;

  // Application folder + "log"; creates the folder (one level) when missing and
  // throws std::runtime_error when it cannot.
  static std::string GetLogDir();
  static std::string GetLogDir(const std::string& appDir);
  // Application folder + "tmp", PHP's sessions, uploads and temporary files;
  // created like the log folder.
  static std::string GetTmpDir();
  static std::string GetTmpDir(const std::string& appDir);
  static std::string GetSettingsFile();  // pvn/pvn.ini
  static std::string GetSettingsFile(const std::string& appDir);
  static std::string GetMyCnfFile();  // mysql/bin/my.cnf
  static std::string GetMyCnfFile(const std::string& appDir);
  static std::string GetMysqlDataDir();  // mysql/data
  static std::string GetMysqlDataDir(const std::string& appDir);
  static std::string GetMysqlDir();  // mysql
  static std::string GetMysqlDir(const std::string& appDir);
  static std::string GetPhpDir();  // php, the value of PHPRC
  static std::string GetPhpDir(const std::string& appDir);
  static std::string GetPhpIniFile();  // php/php.ini
  static std::string GetPhpIniFile(const std::string& appDir);
  // Full path of "www" against the current folder (the application folder at run time).
  static std::string GetRootDir();

  // The settings file's port, trimmed; empty when it or the file is missing.
  static std::string LoadPort();
  static std::string LoadPort(const std::string& appDir);
  // Writes the port when the settings file exists.
  static void SavePort(int port);
  static void SavePort(int port, const std::string& appDir);
  // Creates the log folder, then writes root and log when the settings file exists.
  static void SavePaths();
  static void SavePaths(const std::string& appDir);

  // tmp/mysql-files, the only folder the server reads and writes files in
  // for a query (INTO OUTFILE, LOAD DATA).
  static std::string GetMysqlFilesDir(const std::string& appDir);
  // basedir, datadir and secure_file_priv (the files folder, created when
  // missing) of section mysqld, in forward-slash form; nothing when my.cnf
  // is missing.
  static void UpdateMyCnf();
  static void UpdateMyCnf(const std::string& appDir);
  // extension_dir, mime_magic.magicfile, zend_extension_manager.optimizer_ts and
  // zend_extension_ts; nothing when php.ini is missing.
  // Also PHP's error_log (log/php_errors.log), its temporary folders (tmp/,
  // created when missing), date.timezone (the machine's zone) and the MySQL
  // socket; every path as a double-quoted string that PHP reads back whole.
  // mysqli's default port is my.cnf's port.
  static void UpdatePhpIni();
  static void UpdatePhpIni(const std::string& appDir);

  // --- The MySQL server (PvnMysql.cpp) ---
  static std::string GetMysqldFile();  // mysql/bin/mysqld(.exe)
  static std::string GetMysqldFile(const std::string& appDir);
  static std::string GetMysqladminFile();  // mysql/bin/mysqladmin(.exe)
  static std::string GetMysqladminFile(const std::string& appDir);
  // The server's socket file as my.cnf names it, a relative name taken in the
  // data folder as the server takes it; "" when my.cnf names none.
  static std::string GetMysqlSocketFile(const std::string& appDir);
  // Launches the server hidden with the options of my.cnf, unless a server of
  // the tree runs already; no result.
  static void StartMysql();
  static void StartMysql(const std::string& appDir);
  // Asks the server to shut down through the administration program and
  // returns when no server process of the tree is left, ending the first one
  // found by force after 30 seconds; a hung administration program is ended.
  // Nothing is sent when no server of the tree runs, as the port may then be
  // another server's; the shutdown goes to the tree's server alone (Linux:
  // through its socket file).
  static void StopMysql();
  static void StopMysql(const std::string& appDir);
  // The same with `patience` in place of the 30 seconds.
  static void StopMysql(const std::string& appDir, std::chrono::milliseconds patience);

  // The data of the start-at-log-on entry: the executable's full path in
  // double quotes, a blank and the autostart word, as UTF-8 text.
  static std::string GetAutoRunData();
};
