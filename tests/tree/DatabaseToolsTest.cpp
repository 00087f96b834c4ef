// The database tools in a real browser: the program runs from a copy of the
// assembled tree with its MariaDB on a free port, and Debian's Chromium,
// driven by database-tools.cjs through playwright-core, logs in as root
// without a password, creates a database, imports an uploaded .sql file and
// reads the rows back: in the tree's Adminer, and in Debian's phpMyAdmin
// copied into www/ with a configuration of its own, as a user would drop it in.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "ChildProcess.h"
#include "TreeProgram.h"

namespace {

namespace fs = std::filesystem;

const char kSql[] = "-- an export as a user would upload it\n"
                    "CREATE TABLE fruit (id INT PRIMARY KEY, name VARCHAR(40), price DECIMAL(5,2));\n"
                    "INSERT INTO fruit VALUES (1, 'apple', 0.50), (2, 'pear (conference)', 0.75),\n"
                    "  (3, 'crème brûlée \"fig\"', 2.10);\n";

class DatabaseToolsInChromium : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
  }
  TreeProgram tree{TreeProgram::Mysql::kIncluded};
};

TEST_F(DatabaseToolsInChromium, RootLogsInCreatesADatabaseImportsAFileAndSeesItsRows) {
  const fs::path www = fs::path(tree.Root()) / "www";
  fs::copy(fs::path(TreeProgram::AssembledTree()) / "www", www,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_TRUE(fs::exists("/usr/share/phpmyadmin")) << "phpMyAdmin not installed: scripts/install-deps.sh";
  tree.DropInPhpMyAdmin();
  ASSERT_TRUE(tree.Start()) << tree.Output();
  ASSERT_TRUE(tree.DatabaseAnswers()) << tree.Output();

  const TempFolder work;
  const std::string sql = work.Write("orchard.sql", kSql);
  for (const std::string tool : {"adminer", "phpmyadmin"}) {
    SCOPED_TRACE(tool);
    ChildProcess browser("/usr/bin/node",
                         {PV_TREE_BROWSER_SCRIPT, tool, PV_PLAYWRIGHT,
                          "http://127.0.0.1:" + std::to_string(tree.port), work.MakeFolder("profile-" + tool),
                          sql, "orchard_" + tool, "fruit"},
                         {}, work / (tool + ".txt"));
    const int code = browser.WaitForExit(std::chrono::seconds(90));
    const std::string seen = work.Read(tool + ".txt");
    EXPECT_EQ(code, 0) << seen;
    EXPECT_EQ(seen, "import: 2 queries executed OK\n"
                    "row: 1|apple|0.50\n"
                    "row: 2|pear (conference)|0.75\n"
                    "row: 3|crème brûlée \"fig\"|2.10\n");
  }
  EXPECT_TRUE(tree.Quit());
}

}  // namespace
