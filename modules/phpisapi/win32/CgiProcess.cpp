// php-cgi processes on Windows: each listens on a loopback TCP port of its
// own ("-b"), and all of them belong to a job object that ends them when the
// module (or the server process) goes.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "Os.h"

namespace phpisapi {

namespace {

constexpr auto kStartWait = std::chrono::seconds(10);

class Winsock {
 public:
  Winsock() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~Winsock() {
    if (ok_) WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;

 private:
  WSADATA data_{};
  bool ok_ = false;
};

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A loopback port that was free a moment ago.
unsigned short FreePort() {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return 0;
  sockaddr_in address = Loopback(0);
  int length = sizeof address;
  unsigned short port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  closesocket(s);
  return port;
}

// Connects the socket, left non-blocking, within a short wait. Windows
// reports a port that nobody listens on yet only after retrying for a second
// or more, so a try that is not through at once gives way to a fresh one.
bool ConnectedSoon(SOCKET s, unsigned short port) {
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  const sockaddr_in address = Loopback(port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
  fd_set done, failed;
  FD_ZERO(&done);
  FD_SET(s, &done);
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval wait{0, 50'000};
  return select(0, nullptr, &done, &failed, &wait) == 1 && FD_ISSET(s, &done);
}

// The parent's environment without PHP_INI_SCAN_DIR and php-cgi's own
// process management, PHPRC passing through.
std::vector<char> ChildEnvironment() {
  std::vector<char> block;
  char* env = GetEnvironmentStringsA();
  for (const char* e = env; e && *e; e += strlen(e) + 1) {
    const std::string entry = e;
    const std::string name = entry.substr(0, entry.find('=', 1));
    if (_stricmp(name.c_str(), "PHP_INI_SCAN_DIR") == 0 ||
        _stricmp(name.c_str(), "PHP_FCGI_CHILDREN") == 0 ||
        _stricmp(name.c_str(), "PHP_FCGI_MAX_REQUESTS") == 0)
      continue;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  }
  if (env) FreeEnvironmentStringsA(env);
  for (const char* extra : {"PHP_INI_SCAN_DIR=", "PHP_FCGI_MAX_REQUESTS=0"}) {
    block.insert(block.end(), extra, extra + strlen(extra));
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

class WinCgiProcess : public CgiProcess {
 public:
  WinCgiProcess(HANDLE process, unsigned short port) : process_(process), port_(port) {}
  ~WinCgiProcess() override {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
  }

  bool Alive() override { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

  Channel Connect() override {
    // php-cgi binds its port a moment after it starts.
    const auto deadline = Clock::now() + kStartWait;
    while (Alive()) {
      const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      if (s == INVALID_SOCKET) return Channel();
      if (ConnectedSoon(s, port_)) {
        BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof noDelay);
        return Channel(static_cast<std::intptr_t>(s));
      }
      closesocket(s);
      if (Clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Channel();
  }

 private:
  HANDLE process_;
  unsigned short port_;
};

// The attribute list that puts a new process into one job.
class JobAttribute {
 public:
  explicit JobAttribute(HANDLE job) : job_(job) {
    if (!job_) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    initialized_ = list;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job_, sizeof job_,
                                  nullptr, nullptr))
      list_ = list;
  }
  ~JobAttribute() {
    if (initialized_) DeleteProcThreadAttributeList(initialized_);
  }
  JobAttribute(const JobAttribute&) = delete;
  JobAttribute& operator=(const JobAttribute&) = delete;

  // Null when there is no job or the list could not be made.
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

 private:
  HANDLE job_;  // UpdateProcThreadAttribute keeps a pointer to it
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST initialized_ = nullptr;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

class WinEndpointSpace : public EndpointSpace {
 public:
  WinEndpointSpace() : job_(CreateJobObjectA(nullptr, nullptr)) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // A crashing php-cgi ends at once instead of waiting behind an error
    // report box, so its request gets 502 now, not when someone closes the box.
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (job_)
      SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  ~WinEndpointSpace() override {
    if (job_) CloseHandle(job_);
  }

  std::unique_ptr<CgiProcess> Start(const std::string& program, int index) override {
    const unsigned short port = PortFor(index);
    if (port == 0) return nullptr;
    std::string command = "\"" + program + "\" -b 127.0.0.1:" + std::to_string(port);
    std::vector<char> env = ChildEnvironment();
    // The process is born in the job: one started first and assigned after
    // would outlive a server killed in between, suspended and forever.
    // Without a job it still starts: PHP answers, only without the clean-up.
    JobAttribute inJob(job_);
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = inJob.List() ? sizeof startup : sizeof startup.StartupInfo;
    startup.lpAttributeList = inJob.List();
    const DWORD flags = CREATE_NO_WINDOW | (inJob.List() ? EXTENDED_STARTUPINFO_PRESENT : 0);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, flags,
                        env.data(), nullptr, &startup.StartupInfo, &info))
      return nullptr;
    CloseHandle(info.hThread);
    return std::make_unique<WinCgiProcess>(info.hProcess, port);
  }

 private:
  // A free port that no other slot's php-cgi was given: the system may hand
  // out a port again once its first holder let it go, and two php-cgi on one
  // port would leave the slot of the one that failed to bind talking to the
  // other's queue. A slot's process has ended before the slot starts anew.
  unsigned short PortFor(int index) {
    std::lock_guard<std::mutex> lock(portsMutex_);
    for (int attempt = 0; attempt < 8; ++attempt) {
      const unsigned short port = FreePort();
      bool taken = false;
      for (const auto& given : ports_) taken |= given.first != index && given.second == port;
      if (port == 0 || taken) continue;
      ports_[index] = port;
      return port;
    }
    return 0;
  }

  Winsock winsock_;
  HANDLE job_;
  std::mutex portsMutex_;  // slots start their processes at the same time
  std::map<int, unsigned short> ports_;  // the last port of each slot
};

}  // namespace

std::unique_ptr<EndpointSpace> CreateEndpointSpace() {
  return std::make_unique<WinEndpointSpace>();
}

}  // namespace phpisapi
