#include "platform/Process.h"

#include <windows.h>

#include "platform/Files.h"

namespace platform {

namespace detail {

// "C:\" of "C:\x\a.exe", "\\server\share\" of "\\server\share\x\a.exe".
std::string DriveRoot(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
  if (path.compare(0, 2, "\\\\") != 0) return std::string();
  std::size_t share = path.find('\\', 2);
  std::size_t end = share == std::string::npos ? share : path.find('\\', share + 1);
  return (end == std::string::npos ? path : path.substr(0, end)) + "\\";
}

// The standard handles go to the new process, so that its messages reach the
// console the launcher was started from.
void PassStandardHandles(STARTUPINFOA& startup) {
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    if (handle && handle != INVALID_HANDLE_VALUE)
      ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  startup.dwFlags |= STARTF_USESTDHANDLES;
}

}  // namespace detail

bool IsLocalDrive(const std::string& executablePath) {
  UINT type = ::GetDriveTypeA(detail::DriveRoot(executablePath).c_str());
  return type == DRIVE_REMOVABLE || type == DRIVE_FIXED;
}

// The parameters follow the quoted path unquoted, as they were received.
bool RelaunchSelf(const std::vector<std::string>& arguments) {
  std::string commandLine = "\"" + ExecutablePath() + "\"";
  for (const auto& argument : arguments) commandLine += " " + argument;
  STARTUPINFOA startup;
  ::GetStartupInfoA(&startup);
  detail::PassStandardHandles(startup);
  PROCESS_INFORMATION process;
  if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process))
    return false;
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

SingleInstanceGuard::SingleInstanceGuard(const std::string& name) {
  HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
  if (!mutex) return;
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  acquired_ = ::GetLastError() != ERROR_ALREADY_EXISTS;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (handle_ == -1) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  if (acquired_) ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

}  // namespace platform
