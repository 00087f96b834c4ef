#include "Settings.h"

#include <fstream>

#include "common/TextView.h"  // header-only: the module links none of the server's libraries

namespace phpisapi {

namespace {

std::string Trim(const std::string& value) { return std::string(text::Trimmed(value)); }

void ReadPositive(const std::string& text, int low, int high, int& value) {
  try {
    std::size_t used = 0;
    const int number = std::stoi(text, &used);
    if (used == text.size() && number >= low && number <= high) value = number;
  } catch (...) {
  }
}

}  // namespace

Settings LoadSettings(const std::string& path) {
  Settings settings;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (name == "processes") ReadPositive(value, 1, 256, settings.processes);
    else if (name == "min_processes") ReadPositive(value, 1, 256, settings.minProcesses);
    else if (name == "idle_timeout") ReadPositive(value, 1, 86400, settings.idleSeconds);
    else if (name == "requests_per_process") ReadPositive(value, 1, 1 << 30, settings.requestsPerProcess);
    else if (name == "request_timeout") ReadPositive(value, 1, 86400, settings.requestTimeoutSeconds);
  }
  return settings;
}

}  // namespace phpisapi
