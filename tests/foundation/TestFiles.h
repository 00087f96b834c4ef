// A fresh folder for one test, removed with everything in it afterwards, and
// byte-exact file helpers.
#pragma once
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
