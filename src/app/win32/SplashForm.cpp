#include "app/win32/SplashForm.h"

#include "app/win32/Layout.h"
#include "app/win32/ResourceIds.h"

namespace {

constexpr DWORD kSplashStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kSplashExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;

void RegisterSplashClass(HINSTANCE instance, WNDPROC windowProc) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = windowProc;
  cls.hInstance = instance;
  cls.hCursor = ::LoadCursorW(nullptr, IDC_WAIT);
  cls.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  cls.lpszClassName = TfrmSplash::kClassName;
  ::RegisterClassExW(&cls);  // fails harmlessly when registered before
}

}  // namespace

void ProcessMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

TfrmSplash::TfrmSplash(HWND owner, const std::string& information) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterSplashClass(instance, &WindowProc);
  RECT frame{0, 0, layout::splash::kClientWidth, layout::splash::kClientHeight};
  ::AdjustWindowRectEx(&frame, kSplashStyle, FALSE, kSplashExStyle);
  window_ = ::CreateWindowExW(kSplashExStyle, kClassName, L"", kSplashStyle, 0, 0,
                              frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                              instance, nullptr);
  boldFont_.Reset(CreateTahoma(layout::kFontHeight, true));
  lblInformation_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT,
                                      layout::splash::lblInformationLeft,
                                      layout::splash::lblInformationTop, 0, 0, window_,
                                      reinterpret_cast<HMENU>(IDC_lblInformation), instance, nullptr);
  ::SendMessageW(lblInformation_, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.As<HFONT>()), FALSE);
  FormCreate();
  FormShow(information);
  ::ShowWindow(window_, SW_SHOWNOACTIVATE);
  ::UpdateWindow(window_);
  ProcessMessages();
}

TfrmSplash::~TfrmSplash() { FormClose(); }

LRESULT CALLBACK TfrmSplash::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    case WM_CTLCOLORSTATIC:  // the label's background is the window's
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// The frame is measured with the caption bar, which is then removed, so the
// frame is equally thick on all four sides.
void TfrmSplash::FormCreate() {
  RECT outer, client;
  ::GetWindowRect(window_, &outer);
  ::GetClientRect(window_, &client);
  int border = ((outer.right - outer.left) - client.right) / 2;
  ::SetWindowLongPtrW(window_, GWL_STYLE, ::GetWindowLongPtrW(window_, GWL_STYLE) & ~WS_CAPTION);
  ::SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  int width = outer.right - outer.left;
  int height = client.bottom + 2 * border;
  int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  ProcessMessages();
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

void TfrmSplash::FormShow(const std::string& information) {
  std::wstring text = FromUtf8(information);
  ::SetWindowTextW(lblInformation_, text.c_str());
  SIZE size = MeasureText(boldFont_.As<HFONT>(), text);
  RECT client;
  ::GetClientRect(window_, &client);
  ::SetWindowPos(lblInformation_, nullptr, (client.right - size.cx) / 2,
                 (client.bottom - size.cy) / 2, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmSplash::FormClose() {
  ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
  ::DestroyWindow(window_);
}
