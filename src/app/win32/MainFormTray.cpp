// TfrmMain: the tray icon, its mouse rules, showing and hiding the window,
// and the handlers of the tray menu.
#include "app/AppTexts.h"
#include "app/win32/AboutForm.h"
#include "app/win32/MainForm.h"
#include "app/win32/Maker.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/Shell.h"
#include "app/win32/SplashForm.h"
#include "common/KestroClass.h"

void TfrmMain::AddTrayIcon() { trayIcon_.Add(window_, icon_, ToUtf8(GetText(window_))); }

// A single click toggles the window; a double click toggles it once, on its
// first release, and its second release only brings the window forward.
void TfrmMain::TrayMessage(LPARAM mouseEvent) {
  switch (mouseEvent) {
    case WM_LBUTTONUP:
      if (!trayDoubleClicked_) {
        ShowMainWindow(!::IsWindowVisible(window_));
        return;
      }
      trayDoubleClicked_ = false;
      if (::IsWindowVisible(window_)) ::SetForegroundWindow(window_);
      return;
    case WM_LBUTTONDBLCLK:
      trayDoubleClicked_ = true;
      if (::IsWindowVisible(window_)) ::SetForegroundWindow(window_);
      return;
    case WM_RBUTTONUP:
      ::SetForegroundWindow(window_);
      ProcessMessages();
      TMenus::PopUpAtCursor(menus_.mnuControl(), window_);
      return;
  }
}

// A minimised window goes to the notification area.
void TfrmMain::HideWhenMinimised() {
  hidePending_ = false;
  if (!window_ || !::IsIconic(window_) || !::IsWindowVisible(window_)) return;
  ::SetForegroundWindow(::FindWindowW(L"Shell_TrayWnd", L""));
  ProcessMessages();
  ShowMainWindow(false);
}

// The window and its taskbar button come and go together.
void TfrmMain::ShowMainWindow(bool show) {
  if (show) {
    if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
  } else if (::IsIconic(window_)) {
    ::ShowWindow(window_, SW_HIDE);
  } else {
    ::ShowWindow(window_, SW_MINIMIZE);  // the hook hides it once minimised
  }
}

void TfrmMain::mnuControl_ShowClick() { ShowMainWindow(!::IsWindowVisible(window_)); }

void TfrmMain::mnuControl_StartClick() {
  TTrayCallbacksSuspended suspended(trayIcon_);
  Reported([this] { RefreshPortAndUrls(); });
  mnuStart_StartClick(IDM_mnuStart_Start0);
  if (control_.Active()) ShowBox(app_text::kStartedOk, MB_ICONINFORMATION | MB_OK);
}

void TfrmMain::mnuControl_StopClick() {
  TTrayCallbacksSuspended suspended(trayIcon_);
  btnStopClick();
  if (control_.Active())
    ShowBox(app_text::kStopFailed, MB_ICONERROR | MB_OK);
  else
    ShowBox(app_text::kStoppedOk, MB_ICONINFORMATION | MB_OK);
}

void TfrmMain::mnuControl_Go_AllClick(UINT id) {
  std::string url = TKestro::Trim(menus_.Caption(id));
  if (!url.empty()) OpenLink(url);
}

void TfrmMain::mnuControl_EmailClick() { OpenLink(std::string("mailto:") + PV_MAKER_EMAIL); }
void TfrmMain::mnuControl_WebsiteClick() { OpenLink(PV_MAKER_WEBSITE); }

void TfrmMain::mnuControl_AboutClick() {
  TTrayCallbacksSuspended suspended(trayIcon_);
  TfrmAbout about;
  about.title = TKestro::Trim(ToUtf8(GetText(window_)));
  about.version = PV_VERSION;
  about.notice = PV_MAKER_NOTICE;
  about.ShowModal(window_);
}

// Asked after the menu has closed, as any other close request.
void TfrmMain::mnuControl_ExitClick() { ::PostMessageW(window_, WM_CLOSE, 0, 0); }
