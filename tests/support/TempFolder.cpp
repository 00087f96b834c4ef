#include "TempFolder.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static int counter = 0;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007LL;
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    const fs::path path =
        base / ("pv-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
    if (fs::create_directory(path)) {
      path_ = path.string();
      break;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  for (auto& entry : fs::recursive_directory_iterator(path_, ignored))
    platform::SetReadOnly(entry.path().string(), false);
  fs::remove_all(path_, ignored);
}

std::string TempFolder::operator/(const std::string& name) const {
  return path_ + platform::PathDelim + name;
}

std::string TempFolder::Write(const std::string& relative, const std::string& content) const {
  const fs::path path = fs::path(path_) / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

std::string TempFolder::MakeFolder(const std::string& relative) const {
  const fs::path path = fs::path(path_) / relative;
  fs::create_directories(path);
  return path.string();
}

std::string TempFolder::Read(const std::string& relative) const {
  std::ifstream file(fs::path(path_) / relative, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
