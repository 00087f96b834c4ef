// TfrmMain: the main window. Its creation prepares the tree and the MySQL
// server; it shows the settings, starts and stops the HTTP server, keeps the
// tray icon and its menu, and shuts everything down behind the farewell
// window when the user confirms the exit.
//
// The main window also takes the roles of the application window: it carries
// the taskbar button (shown with it, gone while it is hidden), owns every box,
// and its minimised state is the program's.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Controller.h"
#include "app/win32/Menus.h"
#include "app/win32/TrayIcon.h"
#include "app/win32/WinText.h"

class TfrmMain {
 public:
  static constexpr wchar_t kClassName[] = L"TfrmMain";

  // `parameters`: the main instance's parameters, UTF-8, the switch first.
  explicit TfrmMain(const std::vector<std::string>& parameters);
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  HWND Handle() const { return window_; }
  // The panel that holds every control (GetDlgItem on it finds them).
  HWND Panel() const { return pnlBackground_; }
  const TMenus& Menus() const { return menus_; }
  const NOTIFYICONDATAW& TrayData() const { return trayIcon_.Record(); }

  // Normalises the port field, saves a changed port, sets the URL captions.
  void RefreshPortAndUrls();

 private:
  static constexpr UINT kHideWhenMinimised = WM_APP + 1;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
  static void RegisterClasses(HINSTANCE instance);
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

  // Creation (MainForm.cpp).
  void CreateControls();
  HWND AddControl(const wchar_t* cls, DWORD style, DWORD exStyle, int id, int left, int top,
                  int width, int height, const std::string& text = std::string());
  HWND Control(int id) const { return ::GetDlgItem(pnlBackground_, id); }
  void FormCreate();
  void DrawOverBanner(const DRAWITEMSTRUCT& item);
  void DrawGlyphButton(const DRAWITEMSTRUCT& item);
  static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR form);

  // Commands (MainFormCommands.cpp).
  void Command(UINT id);
  // Runs `operation`; a failure of the tree's files is told in an error box.
  void Reported(const std::function<void()>& operation);
  void btnStartClick();
  void mnuStart_StartClick(UINT id);
  void btnStopClick();
  void UpdateStatus(bool stopped);
  bool edtPortKeyPress(wchar_t key);
  void btnPortDefClick();
  void btnRootClick();
  void btnPVNClick();
  void btnPHPClick();
  void btnLogClick();
  void btnMysqlMenuClick();
  void mnuMysql_OpenClick();
  void mnuMysql_MyIniClick();
  void mnuMysql_DataDirClick();
  void chkAutoRunClick();
  void lblHelpMouseDown();
  void lblHelpMouseUp();
  void ShowHelp();
  bool FormClose();
  int ShowBox(const std::string& text, UINT flags);
  std::string PortText() const;

  // Tray (MainFormTray.cpp).
  void AddTrayIcon();
  void TrayMessage(LPARAM mouseEvent);
  void HideWhenMinimised();
  void ShowMainWindow(bool show);
  void mnuControl_ShowClick();
  void mnuControl_StartClick();
  void mnuControl_StopClick();
  void mnuControl_Go_AllClick(UINT id);
  void mnuControl_EmailClick();
  void mnuControl_WebsiteClick();
  void mnuControl_AboutClick();
  void mnuControl_ExitClick();

  std::vector<std::string> parameters_;
  HWND window_ = nullptr;
  HWND pnlBackground_ = nullptr;
  HICON icon_ = nullptr;       // MAINICON, 32 x 32: window, tray and imgPvn
  HICON smallIcon_ = nullptr;  // MAINICON, 16 x 16: the caption bar
  HICON startGlyph_ = nullptr, stopGlyph_ = nullptr;
  TGdiObject banner_, font_, topFont_, helpFont_;
  TMenus menus_;
  TTrayIcon trayIcon_;
  TController control_;
  UINT taskbarCreatedMsg_ = 0;
  bool trayDoubleClicked_ = false;
  bool initialized_ = false;
  bool helpPressed_ = false;
  bool hidePending_ = false;
};
