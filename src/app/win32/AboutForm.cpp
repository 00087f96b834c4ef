#include "app/win32/AboutForm.h"

#include "app/win32/Layout.h"
#include "app/win32/LinkLabel.h"
#include "app/win32/Maker.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/Shell.h"

namespace {

const COLORREF kLinkColour = RGB(0, 0, 255);
const COLORREF kPressedLinkColour = RGB(255, 0, 0);

}  // namespace

void TfrmAbout::ShowModal(HWND owner) {
  ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_frmAbout), owner, &DialogProc,
                    reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TfrmAbout::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* form = reinterpret_cast<TfrmAbout*>(lParam);
    form->FormCreate(dialog);
    form->FormShow();
    return TRUE;
  }
  auto* form = reinterpret_cast<TfrmAbout*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!form) return FALSE;
  switch (message) {
    case WM_CTLCOLORSTATIC:
      return form->LabelColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) form->btnOKClick();
      return TRUE;
    case WM_DESTROY:
      if (form->icon_) ::DestroyIcon(form->icon_);
      return FALSE;
  }
  return FALSE;
}

HWND TfrmAbout::AddControl(const wchar_t* cls, DWORD style, int id, int left, int top, int width,
                           int height, HFONT font) {
  HWND control = ::CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                                   left, top, width, height, dialog_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  if (font) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// Labels size themselves to their text.
HWND TfrmAbout::AddLabel(int id, int left, int top, HFONT font, const std::string& text) {
  std::wstring wide = FromUtf8(text);
  SIZE size = MeasureText(font, wide);
  HWND label = AddControl(L"STATIC", SS_LEFT | SS_NOTIFY, id, left, top, size.cx, size.cy, font);
  ::SetWindowTextW(label, wide.c_str());
  return label;
}

void TfrmAbout::FormCreate(HWND dialog) {
  using namespace layout::about;
  dialog_ = dialog;
  font_.Reset(CreateTahoma(layout::kFontHeight));
  titleFont_.Reset(CreateTahoma(lblTitleFontHeight, true));
  linkFont_.Reset(CreateTahoma(layout::kFontHeight, false, true));
  HFONT font = font_.As<HFONT>();

  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  ::SetWindowPos(dialog, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER);

  AddControl(L"STATIC", SS_ICON | SS_REALSIZECONTROL, IDC_imgIcon, imgIcon.left, imgIcon.top,
             imgIcon.width, imgIcon.height, nullptr);
  AddLabel(IDC_lblTitle, 0, lblTitleTop, titleFont_.As<HFONT>(), std::string());
  AddLabel(IDC_lblVersion, 0, lblVersionTop, font, std::string());
  AddLabel(IDC_lblCopyright, 0, lblCopyrightTop, font, std::string());
  AddLabel(IDC_lblEmail1, lblEmail1Left, lblEmailTop, font, "邮箱:");
  HWND email = AddLabel(IDC_lblEmail2, lblEmail2Left, lblEmailTop, linkFont_.As<HFONT>(), PV_MAKER_EMAIL);
  AddLabel(IDC_lblWebsite1, lblWebsite1Left, lblWebsiteTop, font, "网站:");
  HWND website = AddLabel(IDC_lblWebsite2, lblWebsite2Left, lblWebsiteTop, linkFont_.As<HFONT>(),
                          PV_MAKER_WEBSITE);
  // The frame over the white background, both below the labels.
  HWND bevel = AddControl(L"STATIC", SS_SUNKEN, IDC_bvlBackground, shpBackground.left,
                          shpBackground.top, shpBackground.width, shpBackground.height, nullptr);
  HWND shape = AddControl(L"STATIC", SS_WHITERECT, IDC_shpBackground, shpBackground.left,
                          shpBackground.top, shpBackground.width, shpBackground.height, nullptr);
  ::SetWindowPos(bevel, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SetWindowPos(shape, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  HWND ok = AddControl(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, IDC_btnOK, btnOK.left, btnOK.top,
                       btnOK.width, btnOK.height, font);
  SetText(ok, "确定");
  ::SetFocus(ok);

  MakeLinkLabel(email, [this](bool down) { down ? lblEmail2MouseDown() : lblEmail2MouseUp(); });
  MakeLinkLabel(website, [this](bool down) { down ? lblWebsite2MouseDown() : lblWebsite2MouseUp(); });
}

void TfrmAbout::CentreHorizontally(HWND label, const std::string& text, HFONT font) {
  std::wstring wide = FromUtf8(text);
  ::SetWindowTextW(label, wide.c_str());
  SIZE size = MeasureText(font, wide);
  RECT at;
  ::GetWindowRect(label, &at);
  ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&at), 2);
  ::SetWindowPos(label, nullptr, (layout::about::kClientWidth - size.cx) / 2, at.top, size.cx,
                 size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmAbout::FormShow() {
  SetText(dialog_, "关于");
  HWND lblTitle = ::GetDlgItem(dialog_, IDC_lblTitle);
  CentreHorizontally(lblTitle, title, titleFont_.As<HFONT>());
  icon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), L"RES_ABOUTFORM_ICON",
                                          IMAGE_ICON, 32, 32, 0));
  HWND imgIcon = ::GetDlgItem(dialog_, IDC_imgIcon);
  ::SendMessageW(imgIcon, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
  RECT titleAt;
  ::GetWindowRect(lblTitle, &titleAt);
  ::MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&titleAt), 2);
  const auto& box = layout::about::imgIcon;
  ::SetWindowPos(imgIcon, nullptr, titleAt.left - box.width - layout::about::kIconGap, box.top,
                 box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
  CentreHorizontally(::GetDlgItem(dialog_, IDC_lblVersion), "版本 " + version, font_.As<HFONT>());
  CentreHorizontally(::GetDlgItem(dialog_, IDC_lblCopyright), notice, font_.As<HFONT>());
}

// The labels lie on the white background; the links are blue, red while pressed.
LRESULT TfrmAbout::LabelColours(HDC dc, HWND label) {
  int id = ::GetDlgCtrlID(label);
  if (id == IDC_lblEmail2 || id == IDC_lblWebsite2) {
    bool pressed = id == IDC_lblEmail2 ? emailPressed_ : websitePressed_;
    ::SetTextColor(dc, pressed ? kPressedLinkColour : kLinkColour);
  }
  ::SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(white_);
}

void TfrmAbout::lblEmail2MouseDown() { SetPressed(IDC_lblEmail2, emailPressed_, true); }

void TfrmAbout::lblEmail2MouseUp() {
  SetPressed(IDC_lblEmail2, emailPressed_, false);
  OpenLink(std::string("mailto:") + PV_MAKER_EMAIL);
}

void TfrmAbout::lblWebsite2MouseDown() { SetPressed(IDC_lblWebsite2, websitePressed_, true); }

void TfrmAbout::lblWebsite2MouseUp() {
  SetPressed(IDC_lblWebsite2, websitePressed_, false);
  OpenLink(PV_MAKER_WEBSITE);
}

// A pressed link is red, and blue again when released.
void TfrmAbout::SetPressed(int id, bool& flag, bool pressed) {
  flag = pressed;
  HWND link = ::GetDlgItem(dialog_, id);
  ::InvalidateRect(link, nullptr, TRUE);
  ::UpdateWindow(link);
}

void TfrmAbout::btnOKClick() { ::EndDialog(dialog_, IDOK); }
