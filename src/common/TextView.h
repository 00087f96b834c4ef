// Small text helpers on views: ASCII case, trimming, searching. No copies.
#pragma once
#include <cstddef>
#include <string_view>

namespace text {

constexpr std::size_t npos = std::string_view::npos;

inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Every character of code 32 or less off both ends.
inline std::string_view Trimmed(std::string_view text) {
  std::size_t from = 0, to = text.size();
  while (from < to && static_cast<unsigned char>(text[from]) <= 32) ++from;
  while (to > from && static_cast<unsigned char>(text[to - 1]) <= 32) --to;
  return text.substr(from, to - from);
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// Position of `what` in `text` without regard to ASCII case, or npos.
inline std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from = 0) {
  if (what.empty()) return from <= text.size() ? from : npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i)
    if (EqualsNoCase(text.substr(i, what.size()), what)) return i;
  return npos;
}

inline std::string_view Before(std::string_view text, std::size_t pos) {
  return pos == npos ? text : text.substr(0, pos);
}

}  // namespace text
