// TfrmAbout: the modal About box. The title centred with the icon 10 pixels
// to its left, the version and the notice line centred under it, the maker's
// e-mail and web site as links, OK for Enter and Escape.
#pragma once
#include <windows.h>

#include <string>

#include "app/win32/WinText.h"

class TfrmAbout {
 public:
  std::string title;
  std::string version;
  std::string notice;

  // Shows the box modally for `owner`; returns when it is closed.
  void ShowModal(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void FormCreate(HWND dialog);
  void FormShow();
  HWND AddControl(const wchar_t* cls, DWORD style, int id, int left, int top, int width, int height,
                  HFONT font);
  HWND AddLabel(int id, int left, int top, HFONT font, const std::string& text);
  void CentreHorizontally(HWND label, const std::string& text, HFONT font);
  LRESULT LabelColours(HDC dc, HWND label);
  void lblEmail2MouseDown();
  void lblEmail2MouseUp();
  void lblWebsite2MouseDown();
  void lblWebsite2MouseUp();
  void btnOKClick();
  void SetPressed(int id, bool& flag, bool pressed);

  HWND dialog_ = nullptr;
  HICON icon_ = nullptr;
  TGdiObject font_, titleFont_, linkFont_;
  HBRUSH white_ = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  bool emailPressed_ = false, websitePressed_ = false;
};
