#include "platform/Console.h"

#include <windows.h>

namespace platform {

namespace detail {

std::function<void()> terminationHandler;

// Runs on a thread the system creates for the event. After a close, log-off
// or shut-down event the system ends the process once this returns, so it
// waits here for the program's own exit instead.
BOOL WINAPI OnControlEvent(DWORD event) {
  terminationHandler();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    ::Sleep(INFINITE);
  return TRUE;
}

}  // namespace detail

void UseUtf8ConsoleOutput() { ::SetConsoleOutputCP(CP_UTF8); }

void SurviveLostConsole() {}

// NUL is a character device that is no console.
bool StandardInputIsNull() {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (!input || input == INVALID_HANDLE_VALUE) return true;
  DWORD mode = 0;
  return ::GetFileType(input) == FILE_TYPE_CHAR && !::GetConsoleMode(input, &mode);
}

void OnTerminationRequest(std::function<void()> handler) {
  detail::terminationHandler = std::move(handler);
  ::SetConsoleCtrlHandler(detail::OnControlEvent, TRUE);
}

}  // namespace platform
