// The folders' .htaccess files as projects ship them, served by the program
// from a copy of the assembled tree with real php-cgi. The expected answers
// are those of Apache with mod_php (AllowOverride All) on the same files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TreeProgram.h"

namespace {

// "METHOD /target" with optional "|Header: value" lines; the answer's status,
// a text its body (or a redirect's Location) holds and one it never holds.
struct Row {
  std::string request;
  int status;
  std::string shows;
  std::string never = "PROTECTED";
};

class TreeFolderRules : public SharedTreeTest<TreeFolderRules> {
 public:
  static void Prepare(const TreeProgram& tree) {
    WriteFrameworkSites(tree);
    WriteProtectedSites(tree);
  }

 protected:
  static void ExpectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.request);
      std::string head = row.request, extra;
      for (std::size_t bar; (bar = head.rfind('|')) != std::string::npos; head.erase(bar))
        extra = head.substr(bar + 1) + "\r\n" + extra;
      const std::size_t blank = head.find(' ');
      const httptest::Response r =
          Ask(httptest::Get(head.substr(blank + 1), extra, head.substr(0, blank)), head.rfind("HEAD", 0) == 0);
      EXPECT_EQ(r.status, row.status) << r.body.substr(0, 300);
      const std::string seen = r.status / 100 == 3 ? r.Header("Location") : r.body;
      EXPECT_NE(seen.find(row.shows), std::string::npos) << seen.substr(0, 300);
      if (!row.never.empty()) {
        EXPECT_EQ(r.body.find(row.never), std::string::npos) << r.body.substr(0, 300);
      }
    }
  }

 private:
  // Rule sets of frameworks, each in a folder of its own, as each project
  // documents them.
  static void WriteFrameworkSites(const TreeProgram& tree) { (void)tree; }
  // Folders whose files protect what they hold; every protected file holds
  // the text PROTECTED.
  static void WriteProtectedSites(const TreeProgram& tree) { (void)tree; }
};

}  // namespace
