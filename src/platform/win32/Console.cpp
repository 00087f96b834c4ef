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

void OnTerminationRequest(std::function<void()> handler) {
  detail::terminationHandler = std::move(handler);
  ::SetConsoleCtrlHandler(detail::OnControlEvent, TRUE);
}

}  // namespace platform
