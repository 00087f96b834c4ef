#include "TreeProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

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

TreeProgram::TreeProgram() : port(httptest::FreePort()) {
  const fs::path from = AssembledTree();
  const fs::path to = folder_.Path();
  if (from.empty()) return;
  fs::copy(from / "portavane", to / "portavane");
  fs::copy(from / "php", to / "php", fs::copy_options::recursive);
  fs::copy(from / "pvn", to / "pvn", fs::copy_options::recursive);
  fs::create_directories(to / "mysql" / "bin");
  fs::copy(from / "mysql" / "bin" / "my.cnf", to / "mysql" / "bin" / "my.cnf");
  fs::create_directories(to / "log");
  fs::create_directories(to / "www");
  const fs::path settings = to / "pvn" / "pvn.ini";
  const std::string text = std::regex_replace(ReadFile(settings), std::regex("(^|\n)port=[0-9]*"),
                                              "$1port=" + std::to_string(port));
  std::ofstream(settings, std::ios::binary | std::ios::trunc) << text;
}

TreeProgram::~TreeProgram() {
  if (pid_ > 0) Quit();
}

void TreeProgram::WritePage(const std::string& relative, const std::string& content) const {
  folder_.Write("www/" + relative, content);
}

bool TreeProgram::Start() {
  const std::string program = folder_.Path() + "/portavane";
  const std::string output = folder_.Path() + "/output.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  // A lock folder of its own, so a Portavane the user runs does not refuse this one.
  std::string runtime = "XDG_RUNTIME_DIR=" + folder_.Path();
  std::vector<char*> envp{&runtime[0]};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) envp.push_back(*e);
  envp.push_back(nullptr);
  const int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed) {
    pid_ = -1;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    if (httptest::Client(port).Connected()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool TreeProgram::Quit() {
  if (pid_ <= 0) return false;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Kill();
  return false;
}

void TreeProgram::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::vector<pid_t> TreeProgram::PhpCgiProcesses() const {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = std::stoi(name);
    if (ParentOf(pid) == pid_ && ReadFile(entry.path() / "comm").rfind("php-cgi", 0) == 0)
      found.push_back(pid);
  }
  return found;
}

std::string TreeProgram::Output() const { return folder_.Read("output.txt"); }
