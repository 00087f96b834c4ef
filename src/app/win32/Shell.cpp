#include "app/win32/Shell.h"

#include <windows.h>
#include <shellapi.h>

#include "app/win32/WinText.h"
#include "common/KestroClass.h"
#include "platform/Files.h"

namespace {

void ShellOpen(const std::wstring& file, const std::wstring& parameters) {
  ::ShellExecuteW(nullptr, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                  nullptr, SW_SHOWNORMAL);
}

}  // namespace

void OpenFolder(const std::string& path) {
  std::string folder = platform::ExpandFileName(TKestro::Trim(path));
  if (!platform::DirectoryExists(folder)) return;
  ShellOpen(L"explorer", L"\"" + FromAnsi(folder) + L"\"");
}

void OpenInNotepad(const std::string& path) {
  std::string file = TKestro::Trim(path);
  if (!platform::FileExists(file)) return;
  ShellOpen(L"notepad", L"\"" + FromAnsi(file) + L"\"");
}

void OpenLink(const std::string& link) { ShellOpen(FromUtf8(link), std::wstring()); }
