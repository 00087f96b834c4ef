// Windows rows: other names of a file, which the mapping must read as the
// file it opens. An 8.3 short name hides a long extension (notes.phpx is
// NOTE~35W.PHP, page.phtml is PAGE~5CY.PHT), letter case does not count, and
// a long name that the ANSI code page cannot write is not served by its
// short one.
#include <windows.h>

#include <iostream>

#include "FolderRulesSite.h"
#include "UrlMappingRows.h"

namespace {

// folder\name through the wide interface: the name need not fit the code page.
std::wstring WidePath(const std::string& folder, const std::wstring& name) {
  return std::wstring(folder.begin(), folder.end()) + L"\\" + name;  // an ASCII temporary folder
}

// The short name of folder\name, "" when the volume keeps none for it.
std::string ShortName(const std::string& folder, const std::wstring& name) {
  const std::wstring path = WidePath(folder, name);
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
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
      // Where a name is looked up, a trailing dot or a colon would reach
      // another one (sub, a stream of it): refused there, not after the script.
      {"/sub./index.php", MissingUrl()},
      {"/sub:x/index.php", MissingUrl()},
      {"/sub::$INDEX_ALLOCATION/index.php", MissingUrl()},
      {"/sub/index.php:x/y", MissingUrl()},
      {"/sub/index.php/y:x.", FileAt("/sub/index.php", "/sub/index.php", true, "/y:x.")},
  };
  const std::string www = site / "www";
  const std::wstring om = L"\u0950\u0950\u0950\u0950.php";  // in no ANSI code page but UTF-8
  CloseHandle(CreateFileW(WidePath(www, om).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string phpx = ShortName(www, L"notes.phpx"), phtml = ShortName(www, L"page.phtml");
  const std::string omShort = ShortName(www, om);
  if (phpx.empty() || phtml.empty() || omShort.empty()) {
    std::cout << "this volume keeps no short names: their rows are left out\n";
    return rows;
  }
  rows.push_back({"/" + phpx, FileAt("/notes.phpx", "/" + phpx, false)});
  rows.push_back({"/" + phpx + "/x", MissingUrl()});
  rows.push_back({"/" + phtml, FileAt("/page.phtml", "/" + phtml, true)});
  rows.push_back({"/" + phtml + "/x/", FileAt("/page.phtml", "/" + phtml, true, "/x/")});
  if (GetACP() != CP_UTF8) rows.push_back({"/" + omShort, MissingUrl()});
  return rows;
}

// Letter case does not count: every spelling of a denied folder or file is
// refused as the folder's own name is, and -f finds the file in any case.
std::vector<RuleRow> PlatformRuleRows() {
  return {
      {"GET /wiki/DATA/pages/secret.txt", "403 'Denied by the wiki'"},
      {"GET /Wiki/Conf/ACRONYMS.CONF", "403 'Denied by the wiki'"},
      {"GET /wiki/readme", "403 'Denied by the wiki'"},
      {"GET /BLOG/.HTACCESS", "403"},
      {"GET /blog/WP-CONTENT/LOGO.PNG", "file /blog/WP-CONTENT/LOGO.PNG HTTP_AUTHORIZATION="},
      {"GET /wiki/data./pages/secret.txt", "404"},
      {"GET /wiki/data::$INDEX_ALLOCATION/pages/secret.txt", "404"},
  };
}
