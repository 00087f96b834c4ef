#include "platform/Process.h"

#include <windows.h>

#include "platform/Files.h"

namespace platform {

namespace {

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
void PassStandardHandles(STARTUPINFOW& startup) {
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    if (handle && handle != INVALID_HANDLE_VALUE)
      ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  startup.dwFlags |= STARTF_USESTDHANDLES;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

std::wstring ExecutablePathW() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

bool IsLocalDrive(const std::string& executablePath) {
  UINT type = ::GetDriveTypeA(DriveRoot(executablePath).c_str());
  return type == DRIVE_REMOVABLE || type == DRIVE_FIXED;
}

// The parameters follow the quoted path unquoted, as they were received. The
// wide call keeps text that the ANSI code page lacks (the autostart word).
bool RelaunchSelf(const std::vector<std::string>& arguments) {
  std::wstring commandLine = L"\"" + ExecutablePathW() + L"\"";
  for (const auto& argument : arguments) commandLine += L" " + FromUtf8(argument);
  STARTUPINFOW startup;
  ::GetStartupInfoW(&startup);
  PassStandardHandles(startup);
  PROCESS_INFORMATION process;
  if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
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
