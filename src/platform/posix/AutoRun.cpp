#include "platform/AutoRun.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/Env.h"
#include "platform/Files.h"

namespace platform {

namespace {

// The autostart folder, made (with its parents) when missing; "" when it
// cannot be.
std::string AutostartFolder() {
  std::string config = GetEnv("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') {
    std::string home = GetEnv("HOME");
    if (home.empty()) return std::string();
    config = home + "/.config";
  }
  std::string folder = config + "/autostart";
  for (std::size_t slash = 1; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    std::string part = folder.substr(0, slash);
    if (!DirectoryExists(part) && ::mkdir(part.c_str(), 0700) != 0 && !DirectoryExists(part))
      return std::string();
  }
  return folder;
}

// The data as an Exec value: inside quotes '"', '`', '$' and '\' take a
// backslash; then the desktop file's own escapes, '\' doubled and '%' doubled.
std::string ExecValue(const std::string& data) {
  std::string quotedEscaped;
  bool quoted = false;
  for (char c : data) {
    if (c == '"') quoted = !quoted;
    else if (quoted && (c == '`' || c == '$' || c == '\\')) quotedEscaped += '\\';
    quotedEscaped += c;
  }
  std::string value;
  for (char c : quotedEscaped) {
    if (c == '\\' || c == '%') value += c;
    value += c;
  }
  return value;
}

}  // namespace

std::string ExecutablePathUtf8() { return ExecutablePath(); }

bool ReadAutoRunEntry(const std::string& name, std::string& data) {
  data.clear();
  std::string folder = AutostartFolder();
  if (folder.empty()) return false;
  std::ifstream entry(folder + "/" + name + ".desktop");
  std::string line;
  while (std::getline(entry, line))
    if (line.compare(0, 5, "Exec=") == 0) data = line.substr(5);
  return true;
}

bool WriteAutoRunEntry(const std::string& name, const std::string& data) {
  std::string folder = AutostartFolder();
  if (folder.empty()) return false;
  std::ofstream entry(folder + "/" + name + ".desktop", std::ios::binary | std::ios::trunc);
  entry << "[Desktop Entry]\nType=Application\nName=" << name
        << "\nExec=" << ExecValue(data) << "\nTerminal=false\n";
  return static_cast<bool>(entry.flush());
}

bool DeleteAutoRunEntry(const std::string& name) {
  std::string folder = AutostartFolder();
  if (folder.empty()) return false;
  RemoveFile(folder + "/" + name + ".desktop");
  return true;
}

}  // namespace platform
