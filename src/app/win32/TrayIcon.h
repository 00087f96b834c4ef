// The icon in the notification area: the first-version record of the wide
// Shell_NotifyIconW (window, id 1, flags message + icon + tip, a 64-character
// tooltip), kept whole and re-sent by every change.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>

class TTrayIcon {
 public:
  static constexpr UINT kCallbackMessage = WM_USER + 1;  // 1025

  // Fills the record with `tip` as the tooltip and adds the icon.
  void Add(HWND window, HICON icon, const std::string& tip);
  // Adds the icon again with the record as it is (after the taskbar restarted).
  void AddAgain();
  void SetTip(const std::string& tip);
  // Callback message 0 while a modal box is open: clicks on the icon do
  // nothing. Nested boxes (an error box inside the tray's Start) nest.
  void SuspendCallbacks();
  void RestoreCallbacks();
  void Remove();

  const NOTIFYICONDATAW& Record() const { return data_; }

 private:
  NOTIFYICONDATAW data_{};
  int suspended_ = 0;
};

// Suspends the icon's callbacks for the life of a modal box.
class TTrayCallbacksSuspended {
 public:
  explicit TTrayCallbacksSuspended(TTrayIcon& icon) : icon_(icon) { icon_.SuspendCallbacks(); }
  ~TTrayCallbacksSuspended() { icon_.RestoreCallbacks(); }
  TTrayCallbacksSuspended(const TTrayCallbacksSuspended&) = delete;
  TTrayCallbacksSuspended& operator=(const TTrayCallbacksSuspended&) = delete;

 private:
  TTrayIcon& icon_;
};
