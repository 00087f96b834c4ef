// The window program: the entry procedure with the main window as its front
// end. The command line is read wide, so the autostart word reaches the main
// instance intact whatever the system's code page.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/AppTexts.h"
#include "app/StartUp.h"
#include "app/win32/MainForm.h"
#include "app/win32/WinText.h"

namespace {

// The parameters after the program's path, as UTF-8.
std::vector<std::string> CommandLineParameters() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> parameters;
  for (int i = 1; arguments && i < count; ++i) parameters.push_back(ToUtf8(arguments[i]));
  ::LocalFree(arguments);
  return parameters;
}

int RunMainWindow(const std::vector<std::string>& parameters) {
  TfrmMain form(parameters);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (form.Handle() && ::IsDialogMessageW(form.Handle(), &message)) continue;  // Tab, Escape
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  TStartUpFrontEnd frontEnd;
  frontEnd.showError = [](const std::string& message) {
    ::MessageBoxW(nullptr, FromUtf8(message).c_str(), FromUtf8(app_text::kApplicationTitle).c_str(),
                  MB_ICONERROR | MB_OK);
  };
  frontEnd.runMainInstance = RunMainWindow;
  RunEntryProcedure(CommandLineParameters(), frontEnd);
  return 0;  // every way out ends with 0; failures were shown in a box
}
