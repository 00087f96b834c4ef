// The blanks around the names and values of INI lines, for both INI
// implementations: the Linux one parses lines with them, the Windows one
// checks with them the line that the system wrote.
#pragma once
#include <string>

namespace platform {

inline bool IsIniBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A CR or LF in a name or value would end its line early and add lines of
// its own to the file: such a write is refused.
inline bool HoldsLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// text[from, to) without the blanks around it.
inline std::string TrimIniBlanks(const std::string& text, std::size_t from = 0,
                                 std::size_t to = std::string::npos) {
  if (to > text.size()) to = text.size();
  while (from < to && IsIniBlank(text[from])) ++from;
  while (to > from && IsIniBlank(text[to - 1])) --to;
  return text.substr(from, to - from);
}

}  // namespace platform
