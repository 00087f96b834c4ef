// Helpers of the foundation suites: a fresh folder per test, byte-exact file
// access, and the comparison of INI files written by Wine.
#pragma once
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "TempFolder.h"
#include "common/KestroClass.h"
#include "platform/Env.h"

inline void WriteBytes(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Wine's private-profile functions rewrite the whole file on every write: blank
// lines go, blanks around names and "=" go, and every line ends in CR LF. The
// semantics (and Windows) keep every other line byte for byte; under Wine the
// byte-exact cases compare the lines in that canonical form instead.
inline bool UnderWine() { return !platform::GetEnv("WINELOADER").empty(); }

inline std::string CanonicalIni(const std::string& bytes) {
  std::string out, line;
  auto flush = [&] {
    std::string t = TKestro::Trim(line);
    std::size_t eq = t.find('=');
    if (eq != std::string::npos && t[0] != '[')
      t = TKestro::Trim(t.substr(0, eq)) + "=" + TKestro::Trim(t.substr(eq + 1));
    if (!t.empty()) out += t + "\r\n";
    line.clear();
  };
  for (char c : bytes) {
    if (c == '\n')
      flush();
    else
      line += c;
  }
  flush();
  return out;
}

// Byte for byte, or in Wine's canonical form under Wine.
inline void ExpectSameLines(const std::string& actual, const std::string& expected) {
  if (UnderWine())
    EXPECT_EQ(CanonicalIni(actual), CanonicalIni(expected)) << "as written by Wine: " << actual;
  else
    EXPECT_EQ(actual, expected);
}
