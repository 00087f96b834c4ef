// TfrmSplash: the farewell window. One bold line centred in a small window
// without a caption bar, in the middle of the screen, with the wait cursor,
// while the servers shut down.
#pragma once
#include <windows.h>

#include <string>

#include "app/win32/WinText.h"

class TfrmSplash {
 public:
  static constexpr wchar_t kClassName[] = L"TfrmSplash";

  // Creates the window (FormCreate), shows `information` in it (FormShow) and
  // lets it paint.
  TfrmSplash(HWND owner, const std::string& information);
  // Closes it (FormClose).
  ~TfrmSplash();
  TfrmSplash(const TfrmSplash&) = delete;
  TfrmSplash& operator=(const TfrmSplash&) = delete;

  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void FormCreate();
  void FormShow(const std::string& information);
  void FormClose();

  HWND window_ = nullptr;
  HWND lblInformation_ = nullptr;
  TGdiObject boldFont_;
};

// Lets every pending message of this thread be handled.
void ProcessMessages();
