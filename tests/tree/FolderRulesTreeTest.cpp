// The folders' .htaccess files as projects ship them, served by the program
// from a copy of the assembled tree with real php-cgi. The expected answers
// are those of Apache with mod_php (AllowOverride All) on the same files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FolderRulesSite.h"
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
  // The first PHP page starts php-cgi, which a loaded machine may take
  // longer for than a row waits.
  static bool Ready(const TreeProgram& tree) {
    httptest::Client client(tree.port);
    return client.Send(httptest::Get("/lim/x.php")) &&
           client.Read(false, std::chrono::seconds(30)).status == 200;
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
  static void WriteProtectedSites(const TreeProgram& tree) {
    WriteClosedFolders([&](const std::string& relative, const std::string& content) {
      tree.WritePage(relative, content);
    });
    // Other files here: letter case counts on Linux.
    for (const char* name : {"uploads/x.Php", "uploads/X.PHP"})
      tree.WritePage(name, "<?php echo 'RAN-' . 'PHP';\n");
    // A rules file that is a link to a file outside the tree's site.
    tree.WritePage("htlink/a.txt", "PROTECTED\n");
    std::ofstream(tree.Root() + "/outside") << "root:$y$j9T$SECRETHASH:19000:0:99999:7:::\n";
    ::symlink((tree.Root() + "/outside").c_str(), (tree.Root() + "/www/htlink/.htaccess").c_str());
    tree.WritePage("cache/a.txt", "PROTECTED\n");
    tree.WritePage("cache/.htaccess", "Require all granted\n");
  }

 protected:
  // The cache's .htaccess rewritten in place to deny, with its size and its
  // modification time as they were.
  static void DenyCacheFolderUnnoticeably() {
    const std::string rules = tree_->Root() + "/www/cache/.htaccess";
    const auto written = std::filesystem::last_write_time(rules);
    std::fstream(rules, std::ios::in | std::ios::out | std::ios::binary) << "Require all denied \n";
    std::filesystem::last_write_time(rules, written);
  }
};

// Rules the server does not read as Apache does never open their folder:
// it reads them as Apache does or refuses (403, or 500 where the file
// cannot be read), and the protected bytes never show.
TEST_F(TreeFolderRules, RulesNotUnderstoodNeverOpenAFolder) {
  ExpectRows({{"GET /cache/a.txt", 200, "PROTECTED", ""}});
  DenyCacheFolderUnnoticeably();
  ExpectRows({
      {"PUT /lim/x.php", 403, ""},
      {"DELETE /lim/x.php", 403, ""},
      {"GET /lim/x.php", 200, "RAN-PHP"},
      {"GET /lim2/x.php", 403, ""},
      {"HEAD /lim2/x.php", 403, ""},
      {"PUT /lim2/x.php", 200, "RAN-PHP"},
      {"GET /reqall/x.php", 403, ""},
      {"GET /reqany/x.php", 403, ""},
      {"OPTIONS /reqany/x.php", 200, "RAN-PHP"},
      {"GET /reqnone/x.php", 403, ""},
      {"GET /ifsec/x.php", 403, ""},
      {"GET /ifmod/x.php", 403, ""},
      {"GET /opt/t.php5", 200, "RAN-PHP"},
      {"GET /optset/a.inc", 200, "RAN-PHP"},
      {"GET /opttype/p.html", 200, "RAN-PHP"},
      {"GET /cgi/run.pl", 403, ""},
      {"GET /optsrc/s.php", 403, ""},
      {"GET /cidr/a.txt", 403, ""},
      {"GET /mask/a.txt", 403, ""},
      {"GET /badnet/a.txt", 500, ""},
      {"GET /bom/a.txt", 403, ""},
      {"GET /uploads/x.php", 403, ""},
      {"GET /uploads/x.Php", 200, "<?php", "RAN-PHP"},
      {"GET /uploads/X.PHP", 200, "<?php", "RAN-PHP"},
      {"GET /htdir/a.txt", 403, ""},
      {"GET /htlink/a.txt", 500, ""},
      {"GET /cache/a.txt", 403, ""},
  });
  std::ifstream file(tree_->Root() + "/log/server.log");
  const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log.find("SECRETHASH"), std::string::npos) << log;
  for (const char* line : {"ifsec/.htaccess: line 2: Require in a section that is not read; refused with 403",
                           "htdir/.htaccess: a folder, not a file; refused with 403",
                           "htlink/.htaccess: line 1: a link to a file outside the document root, not read"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

}  // namespace
