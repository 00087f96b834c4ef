#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<std::string> env(environment);
  for (char** e = environ; *e; ++e) env.push_back(*e);  // the test's own values come later
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
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
  if (pid_ > 0) ::kill(pid_, signal);  // never -1: that would signal every process
}

bool ChildProcess::ReadAvailable(int waitMs) {
  pollfd fds[2] = {{outputPipe_, POLLIN, 0}, {errorPipe_, POLLIN, 0}};
  if (::poll(fds, 2, waitMs) <= 0) return false;
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

int ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (exited_) return exitCode_;
  auto end = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      while (ReadAvailable(0)) {
      }
      exited_ = true;
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return exitCode_;
    }
    if (Clock::now() >= end) return -1;
    ReadAvailable(20);
  }
}
