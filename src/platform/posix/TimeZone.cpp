#include "platform/TimeZone.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace platform {

namespace {

const char kZoneInfo[] = "/usr/share/zoneinfo/";

// A name of the zone database: letters, digits and "_+-" in parts joined by
// "/", none of them "." or "..", with a file of that name in the database.
// PHP on Linux reads the same database, so it knows the name too.
bool Known(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return false;
  if (name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_+-/") !=
      std::string::npos)
    return false;
  if (name.front() == '.' || name.find("/.") != std::string::npos) return false;
  struct stat st;
  return ::stat((kZoneInfo + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "Area/City" out of a path into the database (".../zoneinfo/Area/City").
std::string AfterZoneInfo(const std::string& path) {
  const std::size_t at = path.find("zoneinfo/");
  return at == std::string::npos ? std::string() : path.substr(at + 9);
}

std::string FromTzVariable(const char* tz) {
  std::string name = tz;
  if (!name.empty() && name.front() == ':') name.erase(0, 1);
  if (!name.empty() && name.front() == '/') name = AfterZoneInfo(name);
  return Known(name) ? name : "UTC";  // the C library takes a TZ it cannot read as UTC
}

std::string FirstLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const std::size_t end = line.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

std::string LinkTarget(const std::string& link) {
  std::string target(4096, '\0');
  const ssize_t n = ::readlink(link.c_str(), &target[0], target.size());
  return n > 0 ? target.substr(0, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::string MachineTimeZone() {
  if (const char* tz = std::getenv("TZ")) return FromTzVariable(tz);
  for (const std::string& name : {FirstLine("/etc/timezone"), AfterZoneInfo(LinkTarget("/etc/localtime"))})
    if (Known(name)) return name;
  return "UTC";
}

}  // namespace platform
