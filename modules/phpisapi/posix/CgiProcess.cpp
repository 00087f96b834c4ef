// php-cgi processes on Linux. Each one gets a listening Unix socket in a
// private folder as its standard input, the way FastCGI servers expect to be
// started, so it can be connected to at once. Children are forked by one
// long-lived thread and ask for SIGKILL when that thread goes: the kernel
// then ends them with the server process, however it ends.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "Os.h"

namespace phpisapi {

namespace {

// Runs jobs one at a time on its own thread, the parent of every child.
class SpawnThread {
 public:
  SpawnThread() : thread_([this] { Loop(); }) {}
  ~SpawnThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  void Run(const std::function<void()>& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t ticket = ++queued_;
    jobs_.push_back(job);
    wake_.notify_all();
    done_.wait(lock, [&] { return finished_ >= ticket; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      auto job = std::move(jobs_.front());
      jobs_.erase(jobs_.begin());
      lock.unlock();
      job();
      lock.lock();
      ++finished_;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::function<void()>> jobs_;
  std::uint64_t queued_ = 0, finished_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

int Listen(const std::string& path) {
  if (path.size() >= sizeof(sockaddr_un{}.sun_path)) return -1;
  unlink(path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_un address = AddressOf(path);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Between fork and exec only async-signal-safe calls.
[[noreturn]] void ExecChild(int listener, int devNull, int errorLog, pid_t parent,
                            char* const* argv, char* const* envp) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  setpgid(0, 0);  // a Ctrl+C at the server's terminal is the server's to handle
  sigset_t all;
  sigemptyset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  dup2(listener, 0);
  dup2(devNull, 1);
  dup2(errorLog >= 0 ? errorLog : devNull, 2);
  if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
    for (int fd = 3; fd < 65536; ++fd) close(fd);
  execve(argv[0], argv, envp);
  _exit(127);
}

class PosixCgiProcess : public CgiProcess {
 public:
  PosixCgiProcess(pid_t pid, std::string path, std::string errorLog)
      : pid_(pid), path_(std::move(path)), errorLog_(std::move(errorLog)) {}
  ~PosixCgiProcess() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int status = 0;  // another signal came before this one
      if (waitpid(pid_, &status, 0) == pid_ && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        NoteSignal(WTERMSIG(status));
    }
    unlink(path_.c_str());
  }

  bool Alive() override {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t result = waitpid(pid_, &status, WNOHANG);
    if (result == 0) return true;
    if (result < 0 && errno == ECHILD) return kill(pid_, 0) == 0;  // SIGCHLD ignored
    if (result == pid_ && WIFSIGNALED(status)) NoteSignal(WTERMSIG(status));
    pid_ = -1;  // reaped
    return false;
  }

  Channel Connect() override {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Channel();
    const sockaddr_un address = AddressOf(path_);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return Channel();
    }
    return Channel(fd);
  }

 private:
  // A php-cgi that crashed (or was killed by someone else) shows in PHP's
  // log: its request got a 502 that PHP itself never logged.
  void NoteSignal(int signal) const {
    std::ofstream(errorLog_, std::ios::app)
        << "[php-cgi] process " << pid_ << " ended by signal " << signal << " ("
        << strsignal(signal) << ")\n";
  }

  pid_t pid_;
  std::string path_;
  std::string errorLog_;
};

class PosixEndpointSpace : public EndpointSpace {
 public:
  explicit PosixEndpointSpace(std::string folder) : folder_(std::move(folder)) {}
  ~PosixEndpointSpace() override { rmdir(folder_.c_str()); }

  std::unique_ptr<CgiProcess> Start(const std::string& program, int index,
                                    const CgiSetup& setup) override {
    const std::string path =
        folder_ + "/cgi-" + std::to_string(index) + "-" + std::to_string(++started_) + ".sock";
    const int listener = Listen(path);
    if (listener < 0) return nullptr;
    pid_t pid = -1;
    spawner_.Run([&] { pid = Spawn(program, listener, setup); });
    close(listener);  // the child holds it now
    if (pid <= 0) {
      unlink(path.c_str());
      return nullptr;
    }
    return std::make_unique<PosixCgiProcess>(pid, path, setup.errorLog);
  }

 private:
  static pid_t Spawn(const std::string& program, int listener, const CgiSetup& setup) {
    std::vector<std::string> env = setup.environment;
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string programCopy = program;
    char* argv[] = {programCopy.data(), nullptr};
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) return -1;
    // -1 when it cannot be opened: php://stderr then goes nowhere.
    const int errorLog =
        open(setup.errorLog.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) ExecChild(listener, devNull, errorLog, parent, argv, envp.data());
    close(devNull);
    if (errorLog >= 0) close(errorLog);
    return pid;
  }

  std::string folder_;
  std::atomic<unsigned long> started_{0};
  SpawnThread spawner_;  // last member: its thread ends before the rest goes
};

std::string RuntimeBase() {
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    struct stat st {};
    if (value && *value && stat(value, &st) == 0 && S_ISDIR(st.st_mode) &&
        std::strlen(value) < 60)
      return value;
  }
  return "/tmp";
}

}  // namespace

std::vector<std::string> SystemVariables() { return {"PATH"}; }

bool ServerVariable(const std::string& name, std::string& value) {
  const char* found = std::getenv(name.c_str());
  if (found) value = found;
  return found != nullptr;
}

std::unique_ptr<EndpointSpace> CreateEndpointSpace() {
  std::string folder = RuntimeBase() + "/portavane-php-XXXXXX";
  if (!mkdtemp(folder.data())) return nullptr;  // mode 0700: the user's alone
  return std::make_unique<PosixEndpointSpace>(folder);
}

}  // namespace phpisapi
