#include "http/ProjectHosts.h"

#include <algorithm>

#include "common/KestroClass.h"
#include "platform/Files.h"

namespace {

constexpr std::string_view kLocalSuffix = ".localhost";

bool IsHostLabel(const std::string& name) {
  if (name.empty() || name.size() > 63 || name.front() == '-' || name.back() == '-') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

// Whether a Host header names something under .localhost, and then the
// label before it ("blog" of "x.Blog.localhost:60080"), lower-cased. An IPv6
// address, "[...]", is no such name.
bool IsUnderLocalhost(const std::string& host, std::string& label) {
  std::string name = TKestro::LowerCase(host.substr(0, host.find(':')));
  if (!name.empty() && name.back() == '.') name.pop_back();  // the absolute form
  if (name.size() <= kLocalSuffix.size() ||
      name.compare(name.size() - kLocalSuffix.size(), kLocalSuffix.size(), kLocalSuffix) != 0)
    return false;
  name.resize(name.size() - kLocalSuffix.size());
  label = name.substr(name.rfind('.') + 1);
  return true;
}

bool IsProjectFolder(const std::string& documentRoot, const std::string& name) {
  const std::string path = documentRoot + platform::PathDelim + name;
  return IsHostLabel(name) && TKestro::LowerCase(name) != kToolsFolder &&
         platform::DirectoryExists(path) &&
         !platform::IsSymbolicLink(path);
}

}  // namespace

TProjectHost ProjectHostOf(const std::string& documentRoot, const std::string& host) {
  TProjectHost chosen;
  std::string label;
  if (!IsUnderLocalhost(host, label)) return chosen;
  chosen.kind = TProjectHost::Kind::kUnknown;
  if (label.empty()) return chosen;
  std::string folder;
  if (IsProjectFolder(documentRoot, label)) {
    folder = label;
  } else {
    for (const std::string& name : ProjectNames(documentRoot)) {
      if (TKestro::LowerCase(name) != label) continue;
      if (!folder.empty()) return chosen;  // Blog and BLOG: neither is meant more
      folder = name;
    }
  }
  if (folder.empty()) return chosen;
  chosen.kind = TProjectHost::Kind::kProject;
  chosen.root = documentRoot + platform::PathDelim + folder;
  return chosen;
}

std::vector<std::string> ProjectNames(const std::string& documentRoot) {
  std::vector<std::string> names;
  for (const std::string& name : platform::FindEntries(documentRoot, "*"))
    if (IsProjectFolder(documentRoot, name)) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ProjectUrl(const std::string& name, const std::string& port) {
  return "http://" + TKestro::LowerCase(name) + ".localhost:" + port;
}

std::string UnknownProjectPage(const std::vector<std::string>& projects, const std::string& port) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><title>404 No such project</title></head><body>\n"
      "<h1>No such project</h1>\n<p>No folder of www has this name. ";
  if (projects.empty()) return page + "The tree has no projects yet.</p>\n</body></html>\n";
  page += "The projects of this tree:</p>\n<ul>\n";
  for (const std::string& name : projects) {
    // Labels hold letters, digits and hyphens only: nothing to escape.
    const std::string url = ProjectUrl(name, port) + "/";
    page += "<li><a href=\"" + url + "\">" + url + "</a></li>\n";
  }
  return page + "</ul>\n</body></html>\n";
}
