// A document root whose folders carry the .htaccess files that projects
// ship: a blog's front controller, a framework's public folder, a wiki's
// denied data and settings, and the faults a developer makes (a file that
// cannot be parsed, rules that never end).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "TempFolder.h"

struct RuleRow {
  std::string request;   // the request line's method and target: "GET /blog/hello/"
  std::string expected;  // what answers it, as the tables describe it
};

// Writes the site under site/www.
void WriteFolderRulesSite(const TempFolder& site);

// Rows where letter case decides, which differ between the file systems.
std::vector<RuleRow> PlatformRuleRows();

// Folders whose rules the server must never read as more open than Apache
// would: sections it reads as Apache does (<Limit>, <Require...>), sections
// and modules it cannot read, host networks, handlers, a byte order mark, a
// folder named .htaccess. Each protected file holds the text PROTECTED; its
// PHP prints RAN-PHP, which its source does not hold.
void WriteClosedFolders(const std::function<void(const std::string& relative,
                                                 const std::string& content)>& write);
