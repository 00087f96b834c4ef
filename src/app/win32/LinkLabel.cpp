#include "app/win32/LinkLabel.h"

#include <windows.h>
#include <commctrl.h>

namespace {

using TLeftButtonHandler = std::function<void(bool down)>;

LRESULT CALLBACK LinkLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR id, DWORD_PTR data) {
  auto* handler = reinterpret_cast<TLeftButtonHandler*>(data);
  switch (message) {
    case WM_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_LBUTTONDOWN:
      ::SetCapture(window);
      (*handler)(true);
      return 0;
    case WM_LBUTTONUP:
      if (::GetCapture() == window) ::ReleaseCapture();
      (*handler)(false);
      return 0;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(window, LinkLabelProc, id);
      delete handler;
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void MakeLinkLabel(HWND label, std::function<void(bool down)> onLeftButton) {
  auto* handler = new TLeftButtonHandler(std::move(onLeftButton));
  ::SetWindowSubclass(label, LinkLabelProc, 1, reinterpret_cast<DWORD_PTR>(handler));
}
