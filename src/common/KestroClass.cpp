// TKestro: paths, text and INI access.
#include "common/KestroClass.h"

#include <stdexcept>

#include "common/TextView.h"
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

std::string TKestro::Trim(const std::string& text) { return std::string(text::Trimmed(text)); }

std::string TKestro::UpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = text::UpperAscii(c);
  return result;
}

std::string TKestro::LowerCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = text::LowerAscii(c);
  return result;
}

std::int64_t TKestro::StrToInt64Def(const std::string& text, std::int64_t fallback) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (negative || digits[0] == '+')) digits.remove_prefix(1);
  // The negative side holds one more value than the positive one.
  constexpr auto kMaxPositive = static_cast<std::uint64_t>(INT64_MAX);
  std::uint64_t value = 0;
  if (!text::ParseDecimal(digits, value) || value > kMaxPositive + (negative ? 1 : 0))
    return fallback;
  if (!negative) return static_cast<std::int64_t>(value);
  return value == 0 ? 0 : -static_cast<std::int64_t>(value - 1) - 1;
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
