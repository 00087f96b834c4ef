#include "platform/Encoding.h"

#include <windows.h>

namespace platform {

std::string Utf8ToFileNameEncoding(const std::string&, const std::u16string& utf16) {
  if (utf16.empty()) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
  int length = static_cast<int>(utf16.size());
  int size = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, "?", nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, length, &result[0], size, "?", nullptr);
  return result;
}

}  // namespace platform
