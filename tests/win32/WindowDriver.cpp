// Drives a running Portavane.exe as a user would, for scripts/screenshot-win:
//   pv_window_driver wait           until the main window is shown
//   pv_window_driver menu <id>      real left clicks on a button of the main window that
//                                   opens a menu, until the menu is open
//   pv_window_driver tray           a real right click on the icon in the taskbar
//   pv_window_driver command <id>   a menu command sent to the main window
//   pv_window_driver key escape     the Escape key
//   pv_window_driver answer yes     presses Yes in the program's question box
// Exit code 0 when done, 1 when the window, the menu or the box did not turn up.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "WindowTestSupport.h"

using namespace wintest;

namespace {

HWND Main() { return FindWindowW(L"TfrmMain", L"Portavane"); }

void ClickAt(POINT at, bool right) {
  SetCursorPos(at.x, at.y);
  Sleep(100);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
}

POINT CentreOf(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A click on control `id` of the main window, after a first click on its
// caption bar that makes sure the window takes the next one.
bool ClickControl(HWND main, int id) {
  HWND control = GetDlgItem(GetDlgItem(main, 100), id);
  if (!control) return false;
  RECT frame;
  GetWindowRect(main, &frame);
  ClickAt(POINT{(frame.left + frame.right) / 2, frame.top + GetSystemMetrics(SM_CYCAPTION) / 2}, false);
  Sleep(500);
  ClickAt(CentreOf(control), false);
  return true;
}

// Whether a pop-up menu of the program that owns `main` is showing.
bool MenuOpen(HWND main) {
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  return !TopLevelWindows("#32768", [pid](DWORD of) { return of == pid; }).empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  std::string arg = argc > 2 ? argv[2] : "";
  if (verb == "wait") return WaitFor([] { return Main() && IsWindowVisible(Main()); }) ? 0 : 1;
  HWND main = Main();
  if (!main) return 1;
  if (verb == "menu") {
    // A click that lands while the window is still being activated is lost:
    // clicked again until the menu shows.
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (!ClickControl(main, std::atoi(arg.c_str()))) return 1;
      if (WaitFor([main] { return MenuOpen(main); }, 2000)) return 0;
    }
    return 1;
  } else if (verb == "tray") {
    // The notification area is the right end of the taskbar; the icon is its last one.
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!taskbar) return 1;
    RECT r;
    GetWindowRect(taskbar, &r);
    ClickAt(POINT{r.right - 11, (r.top + r.bottom) / 2}, true);
  } else if (verb == "command") {
    PostMessageW(main, WM_COMMAND, static_cast<WPARAM>(std::atoi(arg.c_str())), 0);
  } else if (verb == "key") {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = VK_ESCAPE;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
  } else if (verb == "answer") {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HWND box = nullptr;
    WaitFor([&] {
      for (HWND found : TopLevelWindows("#32770", [pid](DWORD of) { return of == pid; }))
        if (TextOf(found) == "Portavane") box = found;
      return box != nullptr;
    });
    if (!box) return 1;
    PostMessageW(box, WM_COMMAND, IDYES, 0);
  } else {
    return 2;
  }
  return 0;
}
