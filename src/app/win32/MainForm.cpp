// TfrmMain: the window, its controls, its creation and the dispatch of its
// messages to the handlers.
#include "app/win32/MainForm.h"

#include <windows.h>
#include <commctrl.h>

#include "app/AppTexts.h"
#include "app/win32/Layout.h"
#include "app/win32/LinkLabel.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/SplashForm.h"
#include "services/PvnClass.h"

namespace {

const wchar_t kPanelClass[] = L"TPanel";
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

}  // namespace

void TfrmMain::RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.hInstance = instance;
  cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  cls.lpfnWndProc = &WindowProc;
  cls.lpszClassName = kClassName;
  cls.hIcon = ::LoadIconW(instance, L"MAINICON");
  ::RegisterClassExW(&cls);  // a second form in the same process finds them registered
  cls.lpfnWndProc = &PanelProc;
  cls.lpszClassName = kPanelClass;
  cls.hIcon = nullptr;
  ::RegisterClassExW(&cls);
}

TfrmMain::TfrmMain(const std::vector<std::string>& parameters) : parameters_(parameters) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterClasses(instance);
  RECT frame{0, 0, layout::main::kClientWidth, layout::main::kClientHeight};
  ::AdjustWindowRectEx(&frame, kMainStyle, FALSE, 0);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  window_ = ::CreateWindowExW(0, kClassName, L"", kMainStyle,
                              (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                              (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                              nullptr, nullptr, instance, this);
  CreateControls();
  FormCreate();
}

TfrmMain::~TfrmMain() {
  if (window_) {  // destroyed without the close sequence
    trayIcon_.Remove();
    ::DestroyWindow(window_);
  }
  for (HICON icon : {icon_, smallIcon_, startGlyph_, stopGlyph_})
    if (icon) ::DestroyIcon(icon);
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TfrmMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    form->window_ = nullptr;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  return form->WndProc(message, wParam, lParam);
}

// The panel hands what its controls report to the form.
LRESULT CALLBACK TfrmMain::PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return ::SendMessageW(::GetParent(panel), message, wParam, lParam);
  }
  return ::DefWindowProcW(panel, message, wParam, lParam);
}

HWND TfrmMain::AddControl(const wchar_t* cls, DWORD style, DWORD exStyle, int id, int left, int top,
                          int width, int height, const std::string& text) {
  HWND control = ::CreateWindowExW(exStyle, cls, FromUtf8(text).c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, left, top, width,
                                   height, pnlBackground_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.As<HFONT>()), FALSE);
  return control;
}

// Creation order is the keyboard order and, reversed, the drawing order: the
// pictures and labels over the banner come before it, the rows before their
// group box.
void TfrmMain::CreateControls() {
  using namespace layout::main;
  font_.Reset(CreateTahoma(layout::kFontHeight));
  topFont_.Reset(CreateTahoma(lblTopFontHeight, true));
  helpFont_.Reset(CreateTahoma(layout::kFontHeight, true, true));
  pnlBackground_ = ::CreateWindowExW(
      WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_BORDER,
      pnlBackground.left, pnlBackground.top, pnlBackground.width, pnlBackground.height, window_,
      reinterpret_cast<HMENU>(IDC_pnlBackground), ::GetModuleHandleW(nullptr), nullptr);

  AddControl(L"STATIC", SS_OWNERDRAW, 0, IDC_imgPvn, imgPvn.left, imgPvn.top, imgPvn.width, imgPvn.height);
  AddControl(L"STATIC", SS_OWNERDRAW, 0, IDC_lblTop, lblTopLeft, lblTopTop, 0, 0);
  std::wstring help = FromUtf8("帮助");
  SIZE helpSize = MeasureText(helpFont_.As<HFONT>(), help);
  HWND lblHelp = AddControl(L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0, IDC_lblHelp, lblHelpLeft,
                            lblHelpTop, helpSize.cx, helpSize.cy, "帮助");
  MakeLinkLabel(lblHelp, [this](bool down) { down ? lblHelpMouseDown() : lblHelpMouseUp(); });
  AddControl(L"STATIC", SS_BITMAP | SS_REALSIZECONTROL, 0, IDC_imgTop, imgTop.left, imgTop.top,
             imgTop.width, imgTop.height);

  struct Row {
    int label, edit, button;
    const char *caption, *buttonCaption;
  };
  const Row rows[6] = {{IDC_lblPort, IDC_edtPort, IDC_btnPortDef, "端口", "定义"},
                       {IDC_lblRoot, IDC_edtRoot, IDC_btnRoot, "文档目录", "打开"},
                       {IDC_lblPVN, IDC_edtPVN, IDC_btnPVN, "pvn.ini", "打开"},
                       {IDC_lblPHP, IDC_edtPHP, IDC_btnPHP, "php.ini", "打开"},
                       {IDC_lblLog, IDC_edtLog, IDC_btnLog, "日志目录", "打开"},
                       {IDC_lblMysql, IDC_edtMysql, IDC_btnMysqlMenu, "MySQL目录", "..."}};
  for (int i = 0; i < 6; ++i) {
    const Row& row = rows[i];
    int top = grpSetting.top + kRowTops[i];
    SIZE label = MeasureText(font_.As<HFONT>(), FromUtf8(row.caption));
    AddControl(L"STATIC", SS_LEFT, 0, row.label, grpSetting.left + kLabelLeft,
               top + kLabelBelowEdit, label.cx, label.cy, row.caption);
    DWORD readOnly = row.edit == IDC_edtPort ? 0 : ES_READONLY;
    HWND edit = AddControl(L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | readOnly, WS_EX_CLIENTEDGE, row.edit,
                           grpSetting.left + kEditLeft, top, kEditWidth, kEditHeight);
    ::SetWindowSubclass(edit, &EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    AddControl(L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, row.button, grpSetting.left + kButtonLeft,
               top - kButtonAboveEdit, kButtonWidth, kButtonHeight, row.buttonCaption);
  }
  ::SendMessageW(Control(IDC_edtPort), EM_LIMITTEXT, kPortMaxLength, 0);
  AddControl(L"BUTTON", BS_GROUPBOX, 0, IDC_grpSetting, grpSetting.left, grpSetting.top,
             grpSetting.width, grpSetting.height, "设置");

  HWND status = AddControl(STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0,
                           IDC_StatusBar1, StatusBar1.left, StatusBar1.top, StatusBar1.width,
                           StatusBar1.height);
  int parts[2] = {kStatusPanel0Width, -1};
  ::SendMessageW(status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  AddControl(L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0, IDC_chkAutoRun, chkAutoRun.left, chkAutoRun.top,
             chkAutoRun.width, chkAutoRun.height, "Windows启动时运行");
  // Start and Stop draw their glyph beside their text themselves (DrawGlyphButton).
  AddControl(L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, 0, IDC_btnStart, btnStart.left, btnStart.top,
             btnStart.width, btnStart.height, "开始...");
  AddControl(L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, 0, IDC_btnStop, btnStop.left, btnStop.top,
             btnStop.width, btnStop.height, "停止");
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  startGlyph_ = static_cast<HICON>(::LoadImageW(instance, L"RES_BTNSTART_GLYPH", IMAGE_ICON, 16, 16, 0));
  stopGlyph_ = static_cast<HICON>(::LoadImageW(instance, L"RES_BTNSTOP_GLYPH", IMAGE_ICON, 16, 16, 0));
}

// The port field takes only digits and Backspace as typed; no edit selects
// its text when it gets the focus.
LRESULT CALLBACK TfrmMain::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR form) {
  if (message == WM_GETDLGCODE)
    return ::DefSubclassProc(edit, message, wParam, lParam) & ~DLGC_HASSETSEL;
  if (message == WM_CHAR && ::GetDlgCtrlID(edit) == IDC_edtPort &&
      !reinterpret_cast<TfrmMain*>(form)->edtPortKeyPress(static_cast<wchar_t>(wParam)))
    return 0;
  return ::DefSubclassProc(edit, message, wParam, lParam);
}

void TfrmMain::FormCreate() {
  initialized_ = false;
  Reported(&TController::PrepareTree);

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  SetText(window_, app_text::kApplicationTitle);
  icon_ = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, 32, 32, 0));
  smallIcon_ = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, 16, 16, 0));
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  trayDoubleClicked_ = false;
  taskbarCreatedMsg_ = ::RegisterWindowMessageW(L"TaskbarCreated");

  banner_.Reset(::LoadImageW(instance, L"RES_MAINFORM_TOP", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ::SendMessageW(Control(IDC_imgTop), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_.As<HBITMAP>()));
  std::wstring caption = GetText(window_);
  HWND lblTop = Control(IDC_lblTop);
  ::SetWindowTextW(lblTop, caption.c_str());
  SIZE topSize = MeasureText(topFont_.As<HFONT>(), caption);
  ::SetWindowPos(lblTop, nullptr, 0, 0, topSize.cx, topSize.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  ::SetWindowTextW(Control(IDC_edtPort), FromAnsi(control_.LoadPort()).c_str());

  ::SetWindowTextW(Control(IDC_edtRoot), FromAnsi(TPvn::GetRootDir()).c_str());
  ::SetWindowTextW(Control(IDC_edtPVN), FromAnsi(TPvn::GetSettingsFile()).c_str());
  ::SetWindowTextW(Control(IDC_edtPHP), FromAnsi(TPvn::GetPhpIniFile()).c_str());
  Reported([this] { ::SetWindowTextW(Control(IDC_edtLog), FromAnsi(TPvn::GetLogDir()).c_str()); });
  ::SetWindowTextW(Control(IDC_edtMysql), FromAnsi(TPvn::GetMysqlDir()).c_str());

  ::SendMessageW(Control(IDC_chkAutoRun), BM_SETCHECK,
                 TController::CheckAutoRun() ? BST_CHECKED : BST_UNCHECKED, 0);

  control_.CreateServer();
  Reported([this] { RefreshPortAndUrls(); });
  AddTrayIcon();
  UpdateStatus(true);

  if (TController::IsAutostart(parameters_)) {
    mnuStart_StartClick(IDM_mnuStart_Start0);  // the window stays hidden, only the icon shows
  } else {
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::SetFocus(Control(IDC_edtPort));
  }
  initialized_ = true;
}

// A push button with its glyph left of its text, greyed when disabled.
void TfrmMain::DrawGlyphButton(const DRAWITEMSTRUCT& item) {
  RECT box = item.rcItem;
  bool pushed = item.itemState & ODS_SELECTED, disabled = item.itemState & ODS_DISABLED;
  ::DrawFrameControl(item.hDC, &box, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  std::wstring text = GetText(item.hwndItem);
  HGDIOBJ oldFont = ::SelectObject(item.hDC, font_.As<HFONT>());
  SIZE size = MeasureText(font_.As<HFONT>(), text);
  constexpr int kGlyph = 16, kGap = 3;
  int shift = pushed ? 1 : 0;
  int left = (box.right - (kGlyph + kGap + size.cx)) / 2 + shift;
  int top = (box.bottom - kGlyph) / 2 + shift;
  HICON glyph = item.CtlID == IDC_btnStart ? startGlyph_ : stopGlyph_;
  ::DrawStateW(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(glyph), 0, left, top, kGlyph, kGlyph,
               DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
  RECT label{left + kGlyph + kGap, box.top + shift, box.right, box.bottom + shift};
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &label,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(item.hDC, oldFont);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = box;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(item.hDC, &focus);
  }
}

// The pictures and labels over the banner draw the banner behind them.
void TfrmMain::DrawOverBanner(const DRAWITEMSTRUCT& item) {
  RECT at = item.rcItem;
  ::MapWindowPoints(item.hwndItem, pnlBackground_, reinterpret_cast<POINT*>(&at), 2);
  HDC bannerDc = ::CreateCompatibleDC(item.hDC);
  HGDIOBJ old = ::SelectObject(bannerDc, banner_.As<HBITMAP>());
  ::BitBlt(item.hDC, 0, 0, at.right - at.left, at.bottom - at.top, bannerDc, at.left, at.top, SRCCOPY);
  ::SelectObject(bannerDc, old);
  ::DeleteDC(bannerDc);
  if (item.CtlID == IDC_imgPvn) {
    ::DrawIconEx(item.hDC, 0, 0, icon_, 32, 32, 0, nullptr, DI_NORMAL);
    return;
  }
  std::wstring text = GetText(item.hwndItem);
  bool help = item.CtlID == IDC_lblHelp;
  HGDIOBJ oldFont = ::SelectObject(item.hDC, help ? helpFont_.As<HFONT>() : topFont_.As<HFONT>());
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, help && helpPressed_ ? RGB(255, 0, 0) : RGB(255, 255, 255));
  RECT box = item.rcItem;
  ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(item.hDC, oldFont);
}

// The hook of the tray icon runs after the form's own handling of every message.
LRESULT TfrmMain::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = DefaultHandling(message, wParam, lParam);
  if (!initialized_ || !window_) return result;
  if (message == WM_QUERYENDSESSION) return FormClose() ? TRUE : FALSE;
  if (message == taskbarCreatedMsg_) trayIcon_.AddAgain();
  if (::IsIconic(window_) && ::IsWindowVisible(window_) && !hidePending_) {
    hidePending_ = true;  // hidden outside the minimising, once it has finished
    ::PostMessageW(window_, kHideWhenMinimised, 0, 0);
  }
  if (message == TTrayIcon::kCallbackMessage) TrayMessage(lParam);
  return result;
}

LRESULT TfrmMain::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) Command(LOWORD(wParam));
      return 0;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      item.CtlType == ODT_BUTTON ? DrawGlyphButton(item) : DrawOverBanner(item);
      return TRUE;
    }
    case WM_CLOSE:
      FormClose();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case kHideWhenMinimised:
      HideWhenMinimised();
      return 0;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}
