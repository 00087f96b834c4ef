#include "app/win32/WinText.h"

namespace {

std::wstring Decode(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

std::string Encode(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int length = static_cast<int>(wide.size());
  int n = ::WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), length, &text[0], n, nullptr, nullptr);
  return text;
}

}  // namespace

std::wstring FromUtf8(const std::string& utf8) { return Decode(CP_UTF8, utf8); }
std::string ToUtf8(const std::wstring& wide) { return Encode(CP_UTF8, wide); }
std::wstring FromAnsi(const std::string& ansi) { return Decode(CP_ACP, ansi); }
std::string ToAnsi(const std::wstring& wide) { return Encode(CP_ACP, wide); }

std::wstring GetText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

void SetText(HWND window, const std::string& utf8) { ::SetWindowTextW(window, FromUtf8(utf8).c_str()); }

HFONT CreateTahoma(int height, bool bold, bool underline) {
  return ::CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

SIZE MeasureText(HFONT font, const std::wstring& text) {
  SIZE size{0, 0};
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, font);
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  return size;
}
