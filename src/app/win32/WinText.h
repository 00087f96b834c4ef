// Text between the program and the wide Win32 functions: UI text is UTF-8 in
// the sources, paths and settings are in the system's ANSI code page.
#pragma once
#include <windows.h>

#include <string>

std::wstring FromUtf8(const std::string& utf8);
std::string ToUtf8(const std::wstring& wide);
std::wstring FromAnsi(const std::string& ansi);
std::string ToAnsi(const std::wstring& wide);

std::wstring GetText(HWND window);
void SetText(HWND window, const std::string& utf8);

// Tahoma at `height` pixels (8 point is 11), not scaled with the screen's dpi.
HFONT CreateTahoma(int height, bool bold = false, bool underline = false);

// The size of `text` drawn in `font`: what an auto-sized label takes.
SIZE MeasureText(HFONT font, const std::wstring& text);

// A GDI object deleted with its owner.
class TGdiObject {
 public:
  explicit TGdiObject(HGDIOBJ object = nullptr) : object_(object) {}
  ~TGdiObject() {
    if (object_) ::DeleteObject(object_);
  }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  void Reset(HGDIOBJ object) {
    if (object_) ::DeleteObject(object_);
    object_ = object;
  }
  template <typename T>
  T As() const { return static_cast<T>(object_); }

 private:
  HGDIOBJ object_;
};
