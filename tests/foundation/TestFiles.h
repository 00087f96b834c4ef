// Helpers of the foundation suites: a fresh folder per test, byte-exact file
// access, and the comparison of INI files written by Wine.
#pragma once
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "common/KestroClass.h"
#include "platform/Env.h"
#include "platform/Files.h"

class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("pv-foundation-" + std::to_string(Stamp()) + "-" + std::to_string(++counter));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
      platform::SetReadOnly(entry.path().string(), false);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder in the platform's form, no trailing delimiter.
  std::string Path() const { return path_.string(); }
  // A name inside the folder, joined with the native delimiter.
  std::string operator/(const std::string& name) const { return Path() + platform::PathDelim + name; }

 private:
  static long long Stamp() {
    return static_cast<long long>(
        std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007LL);
  }
  std::filesystem::path path_;
};

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
