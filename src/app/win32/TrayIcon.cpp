#include "app/win32/TrayIcon.h"

#include <cwchar>

#include "app/win32/WinText.h"

// The results of the icon calls are not examined: the next change or the next
// "TaskbarCreated" re-sends the whole record.
void TTrayIcon::Add(HWND window, HICON icon, const std::string& tip) {
  data_ = NOTIFYICONDATAW{};
  data_.cbSize = NOTIFYICONDATAW_V1_SIZE;
  data_.hWnd = window;
  data_.uID = 1;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = kCallbackMessage;
  data_.hIcon = icon;
  SetTip(tip);  // a modify before the add is refused harmlessly
  AddAgain();
}

void TTrayIcon::AddAgain() { ::Shell_NotifyIconW(NIM_ADD, &data_); }

void TTrayIcon::SetTip(const std::string& tip) {
  std::wstring wide = FromUtf8(tip);
  std::size_t room = sizeof data_.szTip / sizeof data_.szTip[0] - 1;
  std::wmemset(data_.szTip, L'\0', room + 1);
  wide.copy(data_.szTip, room);
  ::Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void TTrayIcon::SuspendCallbacks() {
  if (suspended_++ > 0) return;
  data_.uCallbackMessage = 0;
  ::Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void TTrayIcon::RestoreCallbacks() {
  if (--suspended_ > 0) return;
  data_.uCallbackMessage = kCallbackMessage;
  ::Shell_NotifyIconW(NIM_MODIFY, &data_);
}

void TTrayIcon::Remove() { ::Shell_NotifyIconW(NIM_DELETE, &data_); }
