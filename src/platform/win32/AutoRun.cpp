#include "platform/AutoRun.h"

#include <windows.h>

namespace platform {

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring Wide(const std::string& utf8) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (n > 0)
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], n,
                          nullptr, nullptr);
  return utf8;
}

// The Run key, created when missing; closed with the object.
class RunKey {
 public:
  RunKey() {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                          nullptr, &key_, nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~RunKey() {
    if (key_) ::RegCloseKey(key_);
  }
  RunKey(const RunKey&) = delete;
  RunKey& operator=(const RunKey&) = delete;
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::string ExecutablePathUtf8() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return Utf8(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool ReadAutoRunEntry(const std::string& name, std::string& data) {
  data.clear();
  RunKey key;
  if (!key.Get()) return false;
  std::wstring wideName = Wide(name);
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return true;
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value[0]), &size) != ERROR_SUCCESS)
    return true;
  value.resize(wcsnlen(value.c_str(), value.size()));
  data = Utf8(value);
  return true;
}

bool WriteAutoRunEntry(const std::string& name, const std::string& data) {
  RunKey key;
  if (!key.Get()) return false;
  std::wstring wide = Wide(data);
  ::RegSetValueExW(key.Get(), Wide(name).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  return true;
}

bool DeleteAutoRunEntry(const std::string& name) {
  RunKey key;
  if (!key.Get()) return false;
  ::RegDeleteValueW(key.Get(), Wide(name).c_str());
  return true;
}

}  // namespace platform
