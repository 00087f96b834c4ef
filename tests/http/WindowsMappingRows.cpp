// Windows rows: other names of a file, which the mapping must read as the
// file it opens. An 8.3 short name hides a long extension (notes.phpx is
// NOTE~35W.PHP, page.phtml is PAGE~5CY.PHT), letter case does not count, and
// a long name that the ANSI code page cannot write is not served by its
// short one.
#include <windows.h>

#include <iostream>

#include "UrlMappingRows.h"

namespace {

// The short name of the last component of `path`, "" when the volume keeps none.
std::string ShortName(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  const std::string shortPath(buffer, n);
  const std::string name = shortPath.substr(shortPath.find_last_of('\\') + 1);
  return name == path.substr(path.find_last_of('\\') + 1) ? std::string() : name;
}

// A file made through the wide interface: its name need not fit the code page.
std::string ShortNameOfNewFile(const std::string& folder, const std::wstring& name) {
  const std::wstring wideFolder(folder.begin(), folder.end());  // ASCII temporary folder
  CloseHandle(CreateFileW((wideFolder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetShortPathNameW((wideFolder + L"\\" + name).c_str(), buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  const std::wstring shortPath(buffer, n);
  const std::wstring shortName = shortPath.substr(shortPath.find_last_of(L'\\') + 1);
  return shortName == name ? std::string() : std::string(shortName.begin(), shortName.end());
}

}  // namespace

std::vector<MappingRow> PlatformMappingRows(const TempFolder& site) {
  std::vector<MappingRow> rows = {
      {"/SECRET.PHP", FileAt("/secret.php", "/SECRET.PHP", true)},
      {"/SUB/", FileAt("/SUB/index.php", "/SUB/index.php", true)},
      {"/Sub/INDEX.Php/x", FileAt("/Sub/index.php", "/Sub/INDEX.Php", true, "/x")},
  };
  const std::string phpx = ShortName(site / "www\\notes.phpx");
  const std::string phtml = ShortName(site / "www\\page.phtml");
  // A long name of characters outside every ANSI code page but UTF-8.
  const std::string om = ShortNameOfNewFile(site / "www", L"\u0950\u0950\u0950\u0950.php");
  if (phpx.empty() || phtml.empty() || om.empty()) {
    std::cout << "this volume keeps no short names: their rows are left out\n";
    return rows;
  }
  rows.push_back({"/" + phpx, FileAt("/notes.phpx", "/" + phpx, false)});
  rows.push_back({"/" + phpx + "/x", MissingUrl()});
  rows.push_back({"/" + phtml, FileAt("/page.phtml", "/" + phtml, true)});
  rows.push_back({"/" + phtml + "/x/", FileAt("/page.phtml", "/" + phtml, true, "/x/")});
  if (GetACP() != CP_UTF8) rows.push_back({"/" + om, MissingUrl()});
  return rows;
}
