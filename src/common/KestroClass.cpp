// TKestro: paths, text and INI access.
#include "common/KestroClass.h"

#include <stdexcept>

#include "platform/Files.h"
#include "platform/Ini.h"

namespace {

// Every `from` becomes `to`, then runs of `to` collapse to one.
std::string SlashesTo(const std::string& path, char from, char to) {
  std::string result;
  result.reserve(path.size());
  for (char c : path) {
    char d = c == from ? to : c;
    if (d == to && !result.empty() && result.back() == to) continue;
    result += d;
  }
  return result;
}

}  // namespace

std::string TKestro::GetAppDir() { return FolderOf(platform::ExecutablePath()); }

std::string TKestro::FolderOf(const std::string& path) {
  std::size_t delim = path.rfind(platform::PathDelim);
  return delim == std::string::npos ? std::string() : path.substr(0, delim);
}

std::string TKestro::ToBackslashPath(const std::string& path) {
  return SlashesTo(path, '/', '\\');
}

std::string TKestro::ToForwardSlashes(const std::string& path) {
  return SlashesTo(path, '\\', '/');
}

std::string TKestro::ToNativePath(const std::string& path) {
  return platform::PathDelim == '\\' ? ToBackslashPath(path) : ToForwardSlashes(path);
}

std::string TKestro::Trim(const std::string& text) {
  std::size_t from = 0, to = text.size();
  while (from < to && static_cast<unsigned char>(text[from]) <= 32) ++from;
  while (to > from && static_cast<unsigned char>(text[to - 1]) <= 32) --to;
  return text.substr(from, to - from);
}

std::string TKestro::UpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

std::string TKestro::LowerCase(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

std::int64_t TKestro::StrToInt64Def(const std::string& text, std::int64_t fallback) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return fallback;
  // Accumulate towards the negative side, which holds one more value.
  constexpr std::int64_t kMin = INT64_MIN;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return fallback;
    int digit = c - '0';
    if (value < (kMin + digit) / 10) return fallback;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == kMin) return fallback;
    value = -value;
  }
  return value;
}

std::string TKestro::ReadIniString(const std::string& section, const std::string& key,
                                   const std::string& file) {
  if (!platform::FileExists(file)) return std::string();
  return platform::ReadIniValue(section, key, std::string(), file);
}

void TKestro::WriteIniString(const std::string& section, const std::string& key,
                             const std::string& file, const std::string& value) {
  if (platform::FileExists(file) && platform::IsReadOnly(file))
    platform::SetReadOnly(file, false);  // a failure shows as the refused write below
  if (!platform::WriteIniValue(section, key, value, file))
    throw std::runtime_error("Unable to write to " + file);
}
