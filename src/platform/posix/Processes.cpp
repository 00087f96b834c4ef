#include "platform/Processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/Files.h"

extern char** environ;

namespace platform {

const char ProgramSuffix[] = "";
const char MysqlStandaloneSwitch[] = "";

// Given on the command line, the socket wins over a host that the
// environment (MYSQL_HOST) names.
std::string MysqlServerOption(const std::string& port, const std::string& socketFile) {
  return socketFile.empty() ? "--port=" + port : "--socket=\"" + socketFile + "\"";
}

namespace {

// The words of a Windows-style parameter text: blanks part them, double quotes
// group and are dropped.
std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

// The child is reaped by a thread of its own, so it leaves no zombie behind
// that would still look like a running process.
void LaunchHidden(const std::string& program, const std::string& parameters) {
  std::vector<std::string> words = SplitParameters(parameters);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (auto& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  ::posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigfillset(&defaults);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  ::posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int failed = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  if (failed == 0) std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

std::vector<std::uint32_t> ProcessIds() {
  std::vector<std::uint32_t> ids;
  std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
  if (!proc) return ids;
  while (const dirent* entry = ::readdir(proc.get())) {
    char* end = nullptr;
    unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && pid > 0 && pid <= INT_MAX)
      ids.push_back(static_cast<std::uint32_t>(pid));
  }
  return ids;
}

// The kernel gives the link's target already canonical; a zombie, a process
// of another user and one whose file was deleted give nothing.
std::string ProcessFileName(std::uint32_t pid) {
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink(link.c_str(), &buffer[0], buffer.size());
  if (n <= 0) return std::string();
  buffer.resize(static_cast<std::size_t>(n));
  return FileExists(buffer) ? buffer : std::string();
}

std::string CanonicalFileName(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real && FileExists(real.get()) ? std::string(real.get()) : std::string();
}

// Never 0 or a negative number, which would reach whole process groups.
void KillProcess(std::uint32_t pid) {
  if (pid == 0 || pid > INT_MAX) return;
  ::kill(static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace platform
