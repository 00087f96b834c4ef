#include "TreeProgram.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Field 4 of /proc/PID/stat, the parent; -1 when the process is gone.
pid_t ParentOf(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(stat.substr(close + 2));
  char state = 0;
  pid_t parent = -1;
  rest >> state >> parent;
  return parent;
}

}  // namespace

bool ProcessGone(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || stat.compare(close + 2, 1, "Z") == 0;
}

std::string TreeProgram::AssembledTree() {
  const char* chosen = std::getenv("PV_ASSEMBLED_TREE");  // another assembly than make tree's
  const fs::path tree = chosen && *chosen ? fs::path(chosen) : fs::path(PV_SOURCE_DIR) / "dist" / "Portavane";
  return fs::exists(tree / "portavane") && fs::exists(tree / "php" / "php-cgi") ? tree.string()
                                                                                 : std::string();
}

namespace {

// Every `key`=number line of the file gets `value`.
void SetNumber(const fs::path& file, const std::string& key, int value) {
  const std::string text = std::regex_replace(ReadFile(file), std::regex("(^|\n)" + key + "=[0-9]*"),
                                              "$1" + key + "=" + std::to_string(value));
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

TreeProgram::TreeProgram(Mysql mysql)
    : port(httptest::FreePort()),
      mysql_(mysql == Mysql::kIncluded),
      root_(mysql_ ? folder_.Path() + "/Portavane tree" : folder_.Path()) {
  const fs::path from = AssembledTree();
  const fs::path to = root_;
  if (from.empty()) return;
  fs::create_directories(to);
  fs::copy(from / "portavane", to / "portavane");
  fs::copy(from / "php", to / "php", fs::copy_options::recursive);
  fs::copy(from / "pvn", to / "pvn", fs::copy_options::recursive);
  fs::create_directories(to / "mysql" / "bin");
  if (mysql_) {
    // Folders and files only: a socket a server left behind cannot be copied.
    for (const auto& entry : fs::recursive_directory_iterator(from / "mysql")) {
      const fs::path target = to / fs::relative(entry.path(), from);
      if (entry.is_directory()) fs::create_directories(target);
      else if (entry.is_regular_file()) fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
    }
    mysqlPort = httptest::FreePort();
    SetNumber(to / "mysql" / "bin" / "my.cnf", "port", mysqlPort);
  } else {
    fs::copy(from / "mysql" / "bin" / "my.cnf", to / "mysql" / "bin" / "my.cnf");
  }
  fs::create_directories(to / "log");
  fs::create_directories(to / "www");
  SetNumber(to / "pvn" / "pvn.ini", "port", port);
}

TreeProgram::~TreeProgram() {
  if (program_) Quit();
  if (!mysql_) return;
  // A MariaDB the program failed to stop would hold the tree's files and port.
  const fs::path mysqld = fs::path(root_) / "mysql" / "bin" / "mysqld";
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::error_code error;
    if (fs::read_symlink(entry.path() / "exe", error) == mysqld)
      kill(std::stoi(entry.path().filename().string()), SIGKILL);
  }
}

void TreeProgram::WritePage(const std::string& relative, const std::string& content) const {
  const fs::path page = fs::path(root_) / "www" / relative;
  fs::create_directories(page.parent_path());
  std::ofstream(page, std::ios::binary) << content;
}

void TreeProgram::DropInPhpMyAdmin() const {
  const fs::path pma = fs::path(root_) / "www" / "phpmyadmin";
  fs::copy("/usr/share/phpmyadmin", pma, fs::copy_options::recursive);
  const fs::path vendor = pma / "libraries" / "vendor_config.php";
  std::ifstream in(vendor);
  std::string text(std::istreambuf_iterator<char>(in), {});
  in.close();
  text = std::regex_replace(text, std::regex("'configFile' => '[^']*'"), "'configFile' => ROOT_PATH . 'config.inc.php'");
  text = std::regex_replace(text, std::regex("'tempDir' => '[^']*'"), "'tempDir' => ROOT_PATH . 'tmp/'");
  std::ofstream(vendor, std::ios::trunc) << text;
  WritePage("phpmyadmin/config.inc.php",
            "<?php\n"
            "require_once __DIR__ . '/../adminer/local-login.php';\n"
            "$cfg['blowfish_secret'] = 'a secret of thirty-two bytes!!!!';\n"
            "$cfg['Servers'][1]['auth_type'] = 'cookie';\n"
            "$cfg['Servers'][1]['host'] = 'localhost';\n"
            "$cfg['Servers'][1]['AllowNoPassword'] = portavane_passwordless_login();\n");
}

bool TreeProgram::Start() {
  // A lock folder of its own, so a Portavane the user runs does not refuse
  // this one, and a configuration folder for the autostart entry.
  const std::vector<std::string> environment{"XDG_RUNTIME_DIR=" + folder_.Path(),
                                             "XDG_CONFIG_HOME=" + folder_.Path() + "/config"};
  program_ = std::make_unique<ChildProcess>(root_ + "/portavane", std::vector<std::string>{},
                                            environment,
                                            mysql_ ? std::string() : folder_.Path() + "/output.txt");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!program_->Running()) {
      program_.reset();
      return false;
    }
    if (httptest::Client(port).Connected()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool TreeProgram::DatabaseAnswers() const {
  WritePage("ready.php", "<?php mysqli_report(MYSQLI_REPORT_OFF);"
                         " echo @mysqli_connect('localhost', 'root', '') ? 'ready' : 'not yet';");
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    if (httptest::Client(port).Request(httptest::Get("/ready.php")).body == "ready") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool TreeProgram::Quit() {
  if (!program_) return false;
  if (mysql_)
    program_->Write("quit\n");
  else
    program_->Signal(SIGTERM);
  program_->WaitForExit(std::chrono::seconds(45));
  const bool ended = program_->Exited();
  program_.reset();  // kills it when it did not end
  return ended;
}

void TreeProgram::Kill() { program_.reset(); }

std::vector<pid_t> TreeProgram::PhpCgiProcesses() const {
  std::vector<pid_t> found{program_ ? program_->Pid() : -1};
  // Breadth first: a parent is found before its children.
  for (std::size_t next = 0; next < found.size(); ++next)
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const pid_t pid = std::stoi(name);
      if (ParentOf(pid) == found[next] && ReadFile(entry.path() / "comm").rfind("php-cgi", 0) == 0)
        found.push_back(pid);
    }
  found.erase(found.begin());
  std::sort(found.begin(), found.end());
  return found;
}

std::string TreeProgram::Output() const {
  if (mysql_) return program_ ? program_->Output() + program_->Errors() : std::string();
  return folder_.Read("output.txt");
}
