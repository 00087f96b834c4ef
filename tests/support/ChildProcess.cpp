#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The test's own environment with `changes` first, in place of its values of
// the same names.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes) {
  std::vector<std::string> environment(changes);
  for (char** e = environ; *e; ++e) {
    bool replaced = false;
    for (const auto& change : changes) replaced = replaced || NameOf(change) == NameOf(*e);
    if (!replaced) environment.emplace_back(*e);
  }
  return environment;
}

// The null-terminated array of pointers that posix_spawn takes.
std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment,
                           const std::string& outputFile) {
  const bool piped = outputFile.empty();
  int in[2], out[2], err[2];
  if (piped && (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)))
    return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (piped) {
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env = EnvironmentWith(environment);
  const std::vector<char*> argv = Pointers(args), envp = Pointers(env);
  if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (!piped) return;
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  input_ = in[1];
  outputPipe_ = out[0];
  errorPipe_ = err[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {input_, outputPipe_, errorPipe_})
    if (fd >= 0) ::close(fd);
}

void ChildProcess::Write(const std::string& text) {
  ssize_t ignored = ::write(input_, text.data(), text.size());
  (void)ignored;
}

void ChildProcess::CloseInput() {
  ::close(input_);
  input_ = -1;
}

void ChildProcess::Signal(int signal) {
  // Never -1, which would signal every process, nor a pid already reaped.
  if (pid_ > 0 && !exited_) ::kill(pid_, signal);
}

bool ChildProcess::ReadAvailable(int waitMs) {
  pollfd fds[2] = {{outputPipe_, POLLIN, 0}, {errorPipe_, POLLIN, 0}};
  if (::poll(fds, 2, waitMs) <= 0) return false;  // without pipes, only the wait
  bool read = false;
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
    if (n <= 0) continue;
    (i == 0 ? output_ : errors_).append(buffer, static_cast<std::size_t>(n));
    read = true;
  }
  return read;
}

bool ChildProcess::WaitFor(const std::string& text, const std::string& stream,
                           std::chrono::milliseconds timeout) {
  auto end = Clock::now() + timeout;
  while (stream.find(text) == std::string::npos) {
    if (Clock::now() >= end) return false;
    ReadAvailable(20);
  }
  return true;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitFor(text, output_, timeout);
}

bool ChildProcess::WaitForErrors(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitFor(text, errors_, timeout);
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || exited_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  while (ReadAvailable(0)) {
  }
  exited_ = true;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

int ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  auto end = Clock::now() + timeout;
  while (Running()) {
    if (Clock::now() >= end) return -1;
    ReadAvailable(20);
  }
  return exitCode_;
}
