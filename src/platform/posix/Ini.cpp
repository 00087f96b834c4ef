// INI access with the semantics of the Windows private-profile functions. The
// file is edited as text: only the line of the written key changes (or one or
// two lines are added), so comments, blank lines, spacing and line endings of
// every other line survive a write unchanged.
#include "platform/Ini.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/Files.h"
#include "platform/IniText.h"

namespace platform {

namespace {

constexpr std::size_t kMaxValueLength = 2047;
constexpr std::size_t npos = std::string::npos;

struct IniLine {
  std::string text;  // without its line ending
  std::string eol;   // "\r\n", "\n", or "" for a last line without one
};

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<IniLine> SplitLines(const std::string& content) {
  std::vector<IniLine> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t nl = content.find('\n', pos);
    if (nl == npos) {
      lines.push_back({content.substr(pos), ""});
      break;
    }
    bool crlf = nl > pos && content[nl - 1] == '\r';
    std::size_t end = crlf ? nl - 1 : nl;
    lines.push_back({content.substr(pos, end - pos), crlf ? "\r\n" : "\n"});
    pos = nl + 1;
  }
  return lines;
}

// The line ending that lines added to the file get: the file's own, CR LF for a new file.
std::string LineEnding(const std::vector<IniLine>& lines) {
  for (const auto& line : lines)
    if (!line.eol.empty()) return line.eol;
  return "\r\n";
}

// A section header "[name]" (blanks allowed around the line and the name).
bool ParseSection(const std::string& text, std::string& name) {
  std::string line = TrimIniBlanks(text);
  if (line.empty() || line[0] != '[') return false;
  std::size_t close = line.rfind(']');
  if (close == npos) return false;
  name = TrimIniBlanks(line, 1, close);
  return true;
}

// A key line "name=value"; a line without "=" holds no key.
bool ParseKey(const std::string& text, std::string& name, std::string& value) {
  std::size_t eq = text.find('=');
  if (eq == npos) return false;
  name = TrimIniBlanks(text, 0, eq);
  value = TrimIniBlanks(text, eq + 1);
  return !name.empty();
}

// Where a key lives in the file's lines.
struct Location {
  std::size_t section = npos;  // header line of the first matching section
  std::size_t key = npos;      // the key's line inside that section
  std::size_t append = npos;   // where a missing key goes: after the section's last non-blank line
};

// The caller's names count without blanks around them, as with the private-profile functions.
// A line's text as parsed: a UTF-8 byte-order mark before the first line is no text.
std::string ParsedText(const std::vector<IniLine>& lines, std::size_t i) {
  static const std::string kBom = "\xEF\xBB\xBF";
  if (i == 0 && lines[0].text.compare(0, kBom.size(), kBom) == 0)
    return lines[0].text.substr(kBom.size());
  return lines[i].text;
}

Location Locate(const std::vector<IniLine>& lines, const std::string& sectionName,
                const std::string& keyName) {
  const std::string section = TrimIniBlanks(sectionName), key = TrimIniBlanks(keyName);
  Location at;
  std::string name, value;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string text = ParsedText(lines, i);
    if (ParseSection(text, name)) {
      if (at.section != npos) break;  // the matching section has ended
      if (EqualNoCase(name, section)) at.section = at.append = i + 1;
      continue;
    }
    if (at.section == npos) continue;
    if (!TrimIniBlanks(text).empty()) at.append = i + 1;
    if (at.key == npos && ParseKey(text, name, value) && EqualNoCase(name, key)) at.key = i;
  }
  if (at.section != npos) --at.section;
  return at;
}

std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

bool ReadWholeFile(const std::string& file, std::string& content) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes all of `content` to `fd` and closes it.
bool WriteAndClose(int fd, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bool closed = ::close(fd) == 0;
  return done == content.size() && closed;
}

// An existing file is replaced whole by a new one renamed over it, so that a
// reader at any moment sees the old text or the new, never a truncated file:
// a database server started by hand reads my.cnf while the program rewrites
// it at start. A write cut off leaves the old file. A link stays a link.
bool WriteWholeFile(const std::string& file, const std::string& content) {
  char resolved[PATH_MAX];
  const std::string target = ::realpath(file.c_str(), resolved) ? resolved : file;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    if (::access(target.c_str(), W_OK) != 0) return false;
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) {
      const bool kept = ::fchmod(fd, old.st_mode & 07777) == 0 &&
                        (::fchown(fd, old.st_uid, old.st_gid) == 0 || errno == EPERM);
      if (WriteAndClose(fd, content) && kept && ::rename(temp.c_str(), target.c_str()) == 0) return true;
      ::unlink(temp.c_str());
      return false;
    }
    // A folder that takes no new file: the file itself is still writable.
  }
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd >= 0 && WriteAndClose(fd, content);
}

std::string JoinLines(const std::vector<IniLine>& lines) {
  std::string content;
  for (const auto& line : lines) content += line.text + line.eol;
  return content;
}

}  // namespace

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file) {
  // Like GetPrivateProfileString, the default loses trailing blanks.
  std::string fallback = defaultValue;
  while (!fallback.empty() && IsIniBlank(fallback.back())) fallback.pop_back();
  std::string content;
  if (!FileExists(file) || !ReadWholeFile(file, content)) return fallback;
  auto lines = SplitLines(content);
  auto at = Locate(lines, section, key);
  if (at.key == npos) return fallback;
  std::string name, value;
  ParseKey(lines[at.key].text, name, value);
  value = Unquote(value);
  if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
  return value;
}

bool WriteIniValue(const std::string& section, const std::string& key,
                   const std::string& value, const std::string& file) {
  std::string content;
  if (HoldsLineBreak(section + key + value) || DirectoryExists(file)) return false;
  if (FileExists(file) && !ReadWholeFile(file, content)) return false;
  auto lines = SplitLines(content);
  const std::string eol = LineEnding(lines);
  const std::string keyLine = TrimIniBlanks(key) + "=" + value;
  auto at = Locate(lines, section, key);
  if (at.key != npos) {
    lines[at.key].text = keyLine;
  } else {
    std::size_t insert = at.section != npos ? at.append : lines.size();
    if (insert > 0 && lines[insert - 1].eol.empty()) lines[insert - 1].eol = eol;
    std::vector<IniLine> added;
    if (at.section == npos) added.push_back({"[" + TrimIniBlanks(section) + "]", eol});
    added.push_back({keyLine, eol});
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), added.begin(), added.end());
  }
  return WriteWholeFile(file, JoinLines(lines));
}

}  // namespace platform
