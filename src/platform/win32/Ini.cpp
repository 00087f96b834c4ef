#include "platform/Ini.h"

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/IniText.h"

namespace platform {

namespace {

// The private-profile functions look for a bare file name in the Windows
// folder; the system means the current folder, as on Linux.
std::string FullIniPath(const std::string& file) { return ExpandFileName(file); }

// Wine's WritePrivateProfileStringA reports success even when it could not save
// the file, so a file that exists but cannot be opened for writing is refused
// here. A missing file is left to the write, which creates it.
bool MayWrite(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  CloseHandle(h);
  return true;
}

bool SameLetters(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(),
                                                static_cast<int>(a.size()), b.data(),
                                                static_cast<int>(b.size())) == CSTR_EQUAL;
}

// Wine also ignores errors while it saves an opened file: the written line must
// be in the file afterwards.
bool FileHoldsLine(const std::string& path, const std::string& key, const std::string& value) {
  const std::string name = TrimIniBlanks(key), text = TrimIniBlanks(value);
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t eq = line.find('=');
    if (eq != std::string::npos && SameLetters(TrimIniBlanks(line, 0, eq), name) &&
        TrimIniBlanks(line, eq + 1) == text)
      return true;
  }
  return false;
}

}  // namespace

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file) {
  std::vector<char> buffer(2048);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(buffer.size()),
                                     FullIniPath(file).c_str());
  return std::string(buffer.data(), n);
}

bool WriteIniValue(const std::string& section, const std::string& key,
                   const std::string& value, const std::string& file) {
  const std::string path = FullIniPath(file);
  return !HoldsLineBreak(section + key + value) && MayWrite(path) &&
         WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) &&
         FileHoldsLine(path, key, value);
}

}  // namespace platform
