#include "platform/Processes.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/Files.h"

namespace platform {

const char ProgramSuffix[] = ".exe";
const char MysqlStandaloneSwitch[] = " --standalone";

std::string MysqlServerOption(const std::string& port, const std::string&) { return "--port=" + port; }

namespace {

// The process-status and snapshot functions, looked up at first use: a
// system without them only leaves the processes unlisted and unnamed.
struct ProcessFunctions {
  using EnumModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  using ModuleFileName = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  using Snapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using Walk = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);

  EnumModules enumModules = nullptr;
  ModuleFileName moduleFileName = nullptr;
  Snapshot snapshot = nullptr;
  Walk first = nullptr;
  Walk next = nullptr;

  ProcessFunctions() {
    if (HMODULE psapi = ::LoadLibraryA("PSAPI.dll")) {
      enumModules = reinterpret_cast<EnumModules>(
          reinterpret_cast<void*>(::GetProcAddress(psapi, "EnumProcessModules")));
      moduleFileName = reinterpret_cast<ModuleFileName>(
          reinterpret_cast<void*>(::GetProcAddress(psapi, "GetModuleFileNameExA")));
    }
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    snapshot = reinterpret_cast<Snapshot>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
    first = reinterpret_cast<Walk>(reinterpret_cast<void*>(::GetProcAddress(kernel, "Process32First")));
    next = reinterpret_cast<Walk>(reinterpret_cast<void*>(::GetProcAddress(kernel, "Process32Next")));
  }
  bool CanName() const { return enumModules && moduleFileName; }
  bool CanList() const { return snapshot && first && next; }
};

const ProcessFunctions& Functions() {
  static const ProcessFunctions functions;
  return functions;
}

struct HandleCloser {
  HANDLE h;
  ~HandleCloser() {
    if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};

// Enabled once and left enabled for the rest of the run.
void EnableDebugPrivilege(HANDLE token) {
  TOKEN_PRIVILEGES privileges{};
  if (!::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = 0;
  TOKEN_PRIVILEGES previous{};
  DWORD size = sizeof previous;
  ::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, &previous, &size);
  previous.PrivilegeCount = 1;
  previous.Privileges[0].Luid = privileges.Privileges[0].Luid;
  previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
  ::AdjustTokenPrivileges(token, FALSE, &previous, size, nullptr, nullptr);
}

}  // namespace

void LaunchHidden(const std::string& program, const std::string& parameters) {
  ::ShellExecuteA(nullptr, "open", program.c_str(), parameters.c_str(), nullptr, SW_HIDE);
}

std::vector<std::uint32_t> ProcessIds() {
  std::vector<std::uint32_t> ids;
  const auto& functions = Functions();
  if (!functions.CanList()) return ids;
  HandleCloser snapshot{functions.snapshot(TH32CS_SNAPALL, 0)};
  if (snapshot.h == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = functions.first(snapshot.h, &entry); more; more = functions.next(snapshot.h, &entry))
    ids.push_back(entry.th32ProcessID);
  return ids;
}

// The first module of a process is its executable.
std::string ProcessFileName(std::uint32_t pid) {
  const auto& functions = Functions();
  if (!functions.CanName()) return std::string();
  HandleCloser process{::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)};
  if (!process.h) return std::string();
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!functions.enumModules(process.h, &module, sizeof module, &needed)) return std::string();
  char name[MAX_PATH];
  DWORD n = functions.moduleFileName(process.h, module, name, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return CanonicalFileName(std::string(name, n));
}

std::string CanonicalFileName(const std::string& path) {
  if (!FileExists(path)) return std::string();
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD n = ::GetShortPathNameA(path.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n);
  }
}

void KillProcess(std::uint32_t pid) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return;
  HandleCloser closeToken{token};
  EnableDebugPrivilege(token);
  HandleCloser process{::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid)};
  if (process.h) ::TerminateProcess(process.h, 0);
}

}  // namespace platform
