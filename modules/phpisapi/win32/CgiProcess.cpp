// php-cgi processes on Windows: each listens on a loopback TCP port of its
// own ("-b"), and all of them belong to a job object that ends them when the
// module (or the server process) goes. Any local program may listen on a
// loopback port, so the module speaks only to a port whose listener is the
// process it started, and starts another on a new port when that one could
// not bind its own.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
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

// Who listens on the loopback port: `listening` false when nobody does;
// `owner` 0 when the system does not say.
struct Listener {
  bool listening = false;
  DWORD owner = 0;
};
Listener ListenerOf(unsigned short port) {
  std::vector<char> table(16 * 1024);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(table.size());
    const DWORD result = GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET,
                                             TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
      table.resize(size);
      continue;
    }
    if (result != NO_ERROR) break;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = rows->table[i];
      if (ntohs(static_cast<u_short>(row.dwLocalPort)) == port &&
          (row.dwLocalAddr == htonl(INADDR_LOOPBACK) || row.dwLocalAddr == htonl(INADDR_ANY)))
        return {true, row.dwOwningPid};
    }
    return {};
  }
  return {true, 0};  // no table: nothing to tell the listeners apart by
}

// Whether the port's listener may be the process: it is, or the system does
// not say who it is.
bool ListenedBy(const Listener& listener, HANDLE process) {
  return listener.listening && (listener.owner == 0 || listener.owner == GetProcessId(process));
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

// An environment block: its entries sorted by name without regard to case,
// as Windows keeps them.
std::vector<char> EnvironmentBlock(std::vector<std::string> entries) {
  std::sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return _stricmp(a.substr(0, a.find('=')).c_str(), b.substr(0, b.find('=')).c_str()) < 0;
  });
  std::vector<char> block;
  for (const std::string& entry : entries) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

// The log that php-cgi's standard error is appended to, inheritable; null
// when it cannot be opened.
HANDLE OpenErrorLog(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

// True once the process listens on the port; false when it ended (it could
// not bind) or another process listens there.
bool ListensSoon(HANDLE process, unsigned short port) {
  const auto deadline = Clock::now() + kStartWait;
  while (Clock::now() < deadline) {
    const Listener listener = ListenerOf(port);
    if (listener.listening) return ListenedBy(listener, process);
    if (WaitForSingleObject(process, 10) != WAIT_TIMEOUT) return false;
  }
  return false;
}

class WinCgiProcess : public CgiProcess {
 public:
  WinCgiProcess(HANDLE process, unsigned short port) : process_(process), port_(port) {}
  ~WinCgiProcess() override {
    End(Channel());
    CloseHandle(process_);
  }

  bool Alive() override { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

  // The slot's own process serves its every connection.
  void End(const Channel&) override {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }

  Channel Connect() override {
    // php-cgi binds its port a moment after it starts, or fails to.
    if (!listening_ && !(listening_ = ListensSoon(process_, port_))) return Channel();
    const auto deadline = Clock::now() + kStartWait;
    while (Alive()) {
      const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      if (s == INVALID_SOCKET) return Channel();
      if (ConnectedSoon(s, port_)) {
        if (!ListenedBy(ListenerOf(port_), process_)) {  // another program took the port
          closesocket(s);
          return Channel();
        }
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
  bool listening_ = false;  // on its port, seen once
};

// The attribute list of a new process: born in one job, and inheriting the
// one handle given (none of the server's other inheritable handles).
class StartAttributes {
 public:
  StartAttributes(HANDLE job, HANDLE inherited) : job_(job), inherited_(inherited) {
    const DWORD count = (job_ ? 1 : 0) + (inherited_ ? 1 : 0);
    if (count == 0) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    storage_.resize(size);
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, count, 0, &size)) return;
    initialized_ = list;
    inJob_ = job_ && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job_,
                                               sizeof job_, nullptr, nullptr);
    inherits_ = inherited_ && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                        &inherited_, sizeof inherited_, nullptr,
                                                        nullptr);
  }
  ~StartAttributes() {
    if (initialized_) DeleteProcThreadAttributeList(initialized_);
  }
  StartAttributes(const StartAttributes&) = delete;
  StartAttributes& operator=(const StartAttributes&) = delete;

  // Null when neither attribute could be set.
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return inJob_ || inherits_ ? initialized_ : nullptr; }
  // Whether the handle is inherited, and only it.
  bool Inherits() const { return inherits_; }

 private:
  HANDLE job_;  // UpdateProcThreadAttribute keeps pointers to these
  HANDLE inherited_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST initialized_ = nullptr;
  bool inJob_ = false, inherits_ = false;
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

  // php-cgi on a new port at each attempt, until one listens on its own.
  // Each start takes a new port: one that php-cgi could not bind fails its
  // first Connect, and the slot starts another.
  std::unique_ptr<CgiProcess> Start(const std::string& program, int index,
                                    const CgiSetup& setup) override {
    const unsigned short port = PortFor(index);
    if (port == 0) return nullptr;
    const HANDLE process = Launch(program, port, setup);
    return process ? std::make_unique<WinCgiProcess>(process, port) : nullptr;
  }
  bool KeepsEveryProcess() const override { return false; }

 private:
  HANDLE Launch(const std::string& program, unsigned short port, const CgiSetup& setup) {
    std::string command = "\"" + program + "\" -b 127.0.0.1:" + std::to_string(port);
    std::vector<char> env = EnvironmentBlock(setup.environment);
    const HANDLE errorLog = OpenErrorLog(setup.errorLog);  // null: php://stderr goes nowhere
    // The process is born in the job: one started first and assigned after
    // would outlive a server killed in between, suspended and forever.
    // Without a job it still starts: PHP answers, only without the clean-up.
    StartAttributes attributes(job_, errorLog);
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = attributes.List() ? sizeof startup : sizeof startup.StartupInfo;
    startup.lpAttributeList = attributes.List();
    if (attributes.Inherits()) {
      startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
      startup.StartupInfo.hStdError = errorLog;
    }
    const DWORD flags = CREATE_NO_WINDOW | (attributes.List() ? EXTENDED_STARTUPINFO_PRESENT : 0);
    PROCESS_INFORMATION info{};
    const bool started =
        CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, attributes.Inherits(),
                       flags, env.data(), nullptr, &startup.StartupInfo, &info);
    if (errorLog) CloseHandle(errorLog);
    if (!started) return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
  }


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

std::vector<std::string> SystemVariables() { return {"PATH", "SystemRoot"}; }

bool ServerVariable(const std::string& name, std::string& value) {
  const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (size == 0) return false;
  std::string found(size, '\0');
  const DWORD length = GetEnvironmentVariableA(name.c_str(), found.data(), size);
  if (length >= size) return false;
  value = found.substr(0, length);
  return true;
}

std::unique_ptr<EndpointSpace> CreateEndpointSpace(int) {
  return std::make_unique<WinEndpointSpace>();
}

}  // namespace phpisapi
