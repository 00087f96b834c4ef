// The text helpers of every layer above the platform: ASCII case, trimming,
// searching and decimal and hexadecimal digits, on views, without copies.
// (The PHP module builds without the server's code and keeps its own few;
// the platform layer, below this one, keeps the INI file's.)
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace text {

constexpr std::size_t npos = std::string_view::npos;

inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

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

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits only, at least one.
inline bool IsDecimal(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!IsDigit(c)) return false;
  return true;
}

// The value of decimal digits; false for no digit, another character or a
// value past 64 bits.
inline bool ParseDecimal(std::string_view digits, std::uint64_t& value) {
  if (!IsDecimal(digits)) return false;
  std::uint64_t result = 0;
  for (char c : digits) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (result > (UINT64_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  value = result;
  return true;
}

// 0 to 15 for a hexadecimal digit in either case, else -1.
inline int HexDigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = UpperAscii(c);
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

}  // namespace text
