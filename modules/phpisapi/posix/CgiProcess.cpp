// php-cgi processes on Linux: one php-cgi parent gets a listening Unix
// socket in a private folder as its standard input, the way FastCGI servers
// expect to be started, and forks the children that serve the pool's slots.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "Os.h"
#include "ServingChild.h"

namespace phpisapi {

namespace {

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
      listen(fd, SOMAXCONN) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Between fork and exec only async-signal-safe calls.
[[noreturn]] void ExecChild(int listener, int devNull, int errorLog, pid_t parent,
                            char* const* argv, char* const* envp) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);  // php-cgi's parent ends its children on it
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

void Note(const std::string& errorLog, const std::string& line) {
  std::ofstream(errorLog, std::ios::app) << "[php-cgi] " << line << "\n";
}

// One php-cgi parent that forks a child per slot of the pool; the children
// accept on a listening socket the module keeps, share what the parent's
// cache compiled, and are replaced by the parent when one ends. A parent
// that ends is replaced too, on the same socket: a connection made
// meanwhile waits in its queue. One thread forks every parent and waits for
// it; a parent asks for SIGTERM when that thread goes, and ends its
// children on it: the kernel ends them all with the server, however it ends.
class Family {
 public:
  Family(std::string path, int listener, std::string program, CgiSetup setup, int children)
      : path_(std::move(path)),
        program_(std::move(program)),
        setup_(std::move(setup)),
        listener_(listener) {
    setup_.environment.push_back("PHP_FCGI_CHILDREN=" + std::to_string(children));
    watcher_ = std::thread([this] { Watch(); });
  }
  ~Family() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      if (parent_ > 0) kill(-parent_, SIGKILL);
    }
    wake_.notify_all();
    watcher_.join();
    if (listener_ >= 0) close(listener_);
    unlink(path_.c_str());
  }
  Family(const Family&) = delete;
  Family& operator=(const Family&) = delete;

  Channel Connect() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Channel();
    const sockaddr_un address = AddressOf(path_);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
      return Channel(fd);
    close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    revive_ = true;  // php-cgi could not run: it is tried again
    wake_.notify_all();
    return Channel();
  }

  void End(const Channel& channel) {
    if (!channel.Open()) return;
    pid_t parent = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      parent = parent_;
    }
    if (parent > 0 &&
        EndServingChild(static_cast<int>(channel.handle()), parent) == EndResult::kNotFound)
      Note(setup_.errorLog, "the process serving a request given up could not be found to end it");
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    Clock::time_point lastStart{};
    while (!stopping_) {
      // At most one start a second, whatever ends them.
      if (wake_.wait_until(lock, lastStart + std::chrono::seconds(1), [&] { return stopping_; }))
        break;
      if (listener_ < 0) listener_ = Listen(path_);
      lastStart = Clock::now();
      const pid_t pid = listener_ < 0 ? -1 : Spawn();
      parent_ = pid;
      lock.unlock();
      int status = 0;
      pid_t waited = -1;
      if (pid > 0) do waited = waitpid(pid, &status, 0); while (waited < 0 && errno == EINTR);
      lock.lock();
      if (pid > 0) kill(-pid, SIGKILL);  // the children a killed parent left
      parent_ = -1;
      if (stopping_) break;
      if (waited == pid && WIFSIGNALED(status))
        Note(setup_.errorLog, "process " + std::to_string(pid) + " ended by signal " +
                                  std::to_string(WTERMSIG(status)) + " (" +
                                  strsignal(WTERMSIG(status)) + ")");
      if (pid > 0 && !(waited == pid && WIFEXITED(status))) continue;
      // It could not start, or ended by itself as php-cgi only does when it
      // cannot run: the socket goes, so requests fail at once instead of
      // waiting in its queue, until one asks again.
      if (listener_ >= 0) close(listener_);
      listener_ = -1;
      unlink(path_.c_str());
      revive_ = false;
      wake_.wait(lock, [&] { return stopping_ || revive_; });
    }
  }

  // Under mutex_, on the watcher's thread.
  pid_t Spawn() {
    std::vector<std::string> env = setup_.environment;
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string programCopy = program_;
    char* argv[] = {programCopy.data(), nullptr};
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) return -1;
    // -1 when it cannot be opened: php://stderr then goes nowhere.
    const int errorLog =
        open(setup_.errorLog.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    const pid_t self = getpid();
    const pid_t pid = fork();
    if (pid == 0) ExecChild(listener_, devNull, errorLog, self, argv, envp.data());
    if (pid > 0) setpgid(pid, pid);  // the group exists before anyone signals it
    close(devNull);
    if (errorLog >= 0) close(errorLog);
    return pid;
  }

  const std::string path_;
  const std::string program_;
  CgiSetup setup_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int listener_;
  pid_t parent_ = -1;  // also its children's process group
  bool stopping_ = false;
  bool revive_ = false;  // a request found no php-cgi to connect to
  std::thread watcher_;
};

// A slot's view of the family: whichever child accepts its connection.
class FamilyMember : public CgiProcess {
 public:
  explicit FamilyMember(Family& family) : family_(family) {}
  bool Alive() override { return true; }  // the family replaces its own
  Channel Connect() override { return family_.Connect(); }
  void End(const Channel& channel) override { family_.End(channel); }

 private:
  Family& family_;
};

class PosixEndpointSpace : public EndpointSpace {
 public:
  PosixEndpointSpace(std::string folder, int processes)
      : folder_(std::move(folder)), processes_(processes) {}
  ~PosixEndpointSpace() override {
    family_.reset();
    rmdir(folder_.c_str());
  }

  // The family starts with the first slot; every slot shares it.
  std::unique_ptr<CgiProcess> Start(const std::string& program, int,
                                    const CgiSetup& setup) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!family_) {
      const std::string path = folder_ + "/php-cgi.sock";
      const int listener = Listen(path);
      if (listener < 0) return nullptr;
      family_ = std::make_unique<Family>(path, listener, program, setup, processes_);
    }
    return std::make_unique<FamilyMember>(*family_);
  }
  bool KeepsEveryProcess() const override { return true; }

 private:
  const std::string folder_;
  const int processes_;
  std::mutex mutex_;
  std::unique_ptr<Family> family_;  // outlives the slots' members: the pool ends them first
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

std::unique_ptr<EndpointSpace> CreateEndpointSpace(int processes) {
  std::string folder = RuntimeBase() + "/portavane-php-XXXXXX";
  if (!mkdtemp(folder.data())) return nullptr;  // mode 0700: the user's alone
  return std::make_unique<PosixEndpointSpace>(folder, processes);
}

}  // namespace phpisapi
