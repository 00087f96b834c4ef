// What the window tests share: finding windows, reading their text and place,
// and acting inside the modal loops of boxes and menus.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace wintest {

std::string Utf8(const std::wstring& wide);
std::wstring Wide(const std::string& utf8);

std::string ClassOf(HWND window);
std::string TextOf(HWND window);
// The window's rectangle in the client coordinates of `parent`.
RECT RectIn(HWND window, HWND parent);
RECT ClientRect(HWND window);

// The visible top-level windows of class `cls` of the processes that
// `ofProcess` accepts by id; by default of this process.
std::vector<HWND> TopLevelWindows(const char* cls, const std::function<bool(DWORD pid)>& ofProcess);
std::vector<HWND> TopLevelWindows(const char* cls);
// The longest text of the static controls of a message box.
std::string BoxText(HWND box);

// Handles this thread's messages until `done` or `timeoutMs` has passed.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);
// Polls every 100 ms, without handling messages, for another process's windows.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000);

// Runs `step` on this thread every 50 ms, also inside the modal loops of
// message boxes, dialogs and menus, until it returns true or the watcher goes.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<bool()> step);
  ~ModalWatcher();
  ModalWatcher(const ModalWatcher&) = delete;
  ModalWatcher& operator=(const ModalWatcher&) = delete;
  bool Done() const { return done_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
  std::function<bool()> step_;
  UINT_PTR timer_;
  bool done_ = false;
};

// A message box of this thread: records its text, then presses `button`.
struct AnsweredBox {
  std::string text;
  UINT trayCallbackWhileOpen = 12345;
};
// Runs `open`, which opens a box of this thread, and answers it with `button`;
// `callback` tells the tray record's callback message while the box is open.
AnsweredBox AnswerBox(const std::function<void()>& open, int button,
                      const std::function<UINT()>& callback = [] { return 0u; });

}  // namespace wintest
