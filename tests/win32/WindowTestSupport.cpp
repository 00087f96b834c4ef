#include "WindowTestSupport.h"

#include <chrono>
#include <map>
#include <thread>

namespace wintest {

namespace {

std::map<UINT_PTR, class ModalWatcher*>& Watchers() {
  static std::map<UINT_PTR, ModalWatcher*> watchers;
  return watchers;
}

}  // namespace

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
  return text;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

std::string ClassOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return Utf8(name);
}

std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return Utf8(text);
}

RECT RectIn(HWND window, HWND parent) {
  RECT r;
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT ClientRect(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return r;
}

std::vector<HWND> TopLevelWindows(const char* cls, const std::function<bool(DWORD pid)>& ofProcess) {
  struct Search {
    std::string cls;
    const std::function<bool(DWORD)>& ofProcess;
    std::vector<HWND> found;
  } search{cls, ofProcess, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (s->ofProcess(pid) && IsWindowVisible(window) && ClassOf(window) == s->cls)
          s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> TopLevelWindows(const char* cls) {
  DWORD self = GetCurrentProcessId();
  return TopLevelWindows(cls, [self](DWORD pid) { return pid == self; });
}

std::string BoxText(HWND box) {
  std::string longest;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    std::string text = TextOf(child);
    if (_stricmp(ClassOf(child).c_str(), "Static") == 0 && text.size() > longest.size()) longest = text;
  }
  return longest;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
  return true;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

ModalWatcher::ModalWatcher(std::function<bool()> step)
    : step_(std::move(step)), timer_(SetTimer(nullptr, 0, 50, &Tick)) {
  Watchers()[timer_] = this;
}

ModalWatcher::~ModalWatcher() {
  KillTimer(nullptr, timer_);
  Watchers().erase(timer_);
}

void CALLBACK ModalWatcher::Tick(HWND, UINT, UINT_PTR id, DWORD) {
  auto found = Watchers().find(id);
  if (found == Watchers().end() || found->second->done_) return;
  found->second->done_ = found->second->step_();
}

AnsweredBox AnswerBox(const std::function<void()>& open, int button,
                      const std::function<UINT()>& callback) {
  AnsweredBox answered;
  ModalWatcher watcher([&] {
    auto boxes = TopLevelWindows("#32770");
    if (boxes.empty()) return false;
    answered.text = BoxText(boxes[0]);
    answered.trayCallbackWhileOpen = callback();
    PostMessageW(boxes[0], WM_COMMAND, static_cast<WPARAM>(button), 0);
    return true;
  });
  open();
  return answered;
}

}  // namespace wintest
