// The tree's PHP as a developer meets it, with real php-cgi: its extensions
// loaded wherever the tree lies, errors in log/php_errors.log, sessions,
// uploads and temporary files in tmp/, dates in the machine's zone, and an
// extension whose file is missing kept out of every page.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "ChildProcess.h"
#include "TreeProgram.h"
#include "common/KestroClass.h"
#include "services/PvnClass.h"

namespace {

namespace fs = std::filesystem;
using httptest::Client;
using httptest::Get;

// The extensions of the Linux tree, by the names PHP loads them under.
const std::vector<std::string> kExtensions = {
    "bcmath", "ctype", "curl", "dom", "exif", "fileinfo", "gd", "gettext", "iconv",
    "intl", "mbstring", "mysqli", "mysqlnd", "Zend OPcache", "PDO", "pdo_mysql",
    "pdo_sqlite", "Phar", "SimpleXML", "sqlite3", "tokenizer", "xml", "xmlreader",
    "xmlwriter", "xsl", "zip"};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PHP array of the extensions' names.
std::string PhpList(const std::vector<std::string>& names) {
  std::string list = "[";
  for (const std::string& name : names) list += "'" + name + "',";
  return list + "]";
}

// What php-cgi reads from the rewritten php.ini of a tree dropped into a
// folder whose name PHP's ini syntax would misread unquoted: every path as
// the tree's own, byte for byte, the extensions loaded, a session stored.
TEST(DroppedTree, PhpReadsEveryPathBackWholeAndLoadsTheExtensions) {
  const fs::path assembled = TreeProgram::AssembledTree();
  if (assembled.empty()) GTEST_SKIP() << "no assembled tree: run make tree";
  const TempFolder folder;
  for (const std::string name : {"paren test (1)", "a&b|c~d!e^f;g", "cost $5 ${HOME} $",
                                 "say \"hi\" \\ \\$x\\"}) {
    SCOPED_TRACE(name);
    const fs::path app = fs::path(folder.Path()) / name / "Portavane";
    fs::create_directories(app / "mysql" / "bin");
    fs::copy(assembled / "php", app / "php", fs::copy_options::recursive);
    fs::copy(assembled / "mysql" / "bin" / "my.cnf", app / "mysql" / "bin" / "my.cnf");
    // A name that ends in a backslash: written before the closing quote.
    TKestro::WriteIniString("Zend", "pvn_zend_extension_ts", TPvn::GetPhpIniFile(app.string()), "lib\\");
    TPvn::UpdatePhpIni(app.string());

    const std::string script = (app / "check.php").string();
    std::ofstream(script) << "<?php session_start(); $_SESSION['n'] = 1; session_write_close();\n"
                             "echo 'session ', session_id(), \"\\n\";\n"
                             "foreach (['extension_dir', 'error_log', 'upload_tmp_dir', 'sys_temp_dir',"
                             " 'mysqli.default_socket', 'zend_extension_ts'] as $key)"
                             " echo $key, '=', get_cfg_var($key), \"\\n\";\n"
                             "foreach (" << PhpList(kExtensions) << " as $e)"
                             " if (!extension_loaded($e)) echo \"not loaded: $e\\n\";\n";
    // One CGI request, as the module's php-cgi processes serve them.
    ChildProcess php((app / "php" / "php-cgi").string(), {},
                     {"PHPRC=" + (app / "php").string(), "PHP_INI_SCAN_DIR=", "REQUEST_METHOD=GET",
                      "SCRIPT_FILENAME=" + script, "REDIRECT_STATUS=200"});
    php.CloseInput();
    ASSERT_EQ(php.WaitForExit(std::chrono::seconds(30)), 0) << php.Output() << php.Errors();
    const std::size_t body = php.Output().find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos) << php.Output();

    std::istringstream lines(php.Output().substr(body + 4));
    std::string session;
    std::getline(lines, session);
    const std::string rest(std::istreambuf_iterator<char>(lines), {});
    const std::string a = app.string();
    EXPECT_EQ(rest, "extension_dir=" + a + "/php/ext\n"
                    "error_log=" + a + "/log/php_errors.log\n"
                    "upload_tmp_dir=" + a + "/tmp\n"
                    "sys_temp_dir=" + a + "/tmp\n"
                    "mysqli.default_socket=" + a + "/mysql/data/mysqld.sock\n"
                    "zend_extension_ts=" + a + "/php/Zend/Optimizer/lib/lib\\\n");
    ASSERT_EQ(session.rfind("session ", 0), 0u) << php.Output();
    EXPECT_TRUE(fs::exists(app / "tmp" / ("sess_" + session.substr(8)))) << "the session kept in tmp/";
    EXPECT_EQ(php.Errors(), "");
  }
}

// The program run from a copy of the assembled tree with the machine's zone
// set to Asia/Tokyo, serving the pages of the tests.
class TreePhp : public SharedTreeTest<TreePhp> {
 public:
  static void Prepare(const TreeProgram& tree) {
    setenv("TZ", "Asia/Tokyo", 1);  // the program takes it when it starts
    fs::copy(fs::path(TreeProgram::AssembledTree()) / "www", fs::path(tree.Root()) / "www",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    tree.WritePage("warn.php", "<?php echo $nowhere; echo 'done';");
    tree.WritePage("session.php", "<?php session_start(); $_SESSION['n'] = 1; echo session_id();");
    tree.WritePage("upload.php", "<?php echo dirname($_FILES['f']['tmp_name']), '|', sys_get_temp_dir(),"
                                 " '|', file_get_contents($_FILES['f']['tmp_name']);");
    tree.WritePage("date.php", "<?php echo date_default_timezone_get(), ' ', date('Z');");
  }

 protected:
  static fs::path InTree(const std::string& relative) { return fs::path(tree_->Root()) / relative; }
};

TEST_F(TreePhp, PhpInfoAndTheWelcomePageListEveryExtension) {
  const std::string info = Ask(Get("/phpinfo.php")).body;
  const std::string welcome = Ask(Get("/index.php")).body;
  const std::size_t listed = welcome.find("<p id=\"extensions\">");
  ASSERT_NE(listed, std::string::npos) << welcome;
  const std::string list = welcome.substr(listed, welcome.find("</p>", listed) - listed);
  for (std::string name : kExtensions) {
    EXPECT_NE(list.find(name), std::string::npos) << name << " not on the welcome page";
    name = TKestro::LowerCase(name);
    for (char& c : name) c = c == ' ' ? '+' : c;
    EXPECT_NE(info.find("name=\"module_" + name + "\""), std::string::npos) << name << " not in phpinfo()";
  }
  EXPECT_EQ(welcome.find("id=\"not-loaded\""), std::string::npos) << welcome;
  EXPECT_NE(welcome.find(InTree("log/php_errors.log").string()), std::string::npos) << welcome;
  EXPECT_NE(welcome.find("href=\"adminer/\""), std::string::npos);
}

TEST_F(TreePhp, AWarningIsShownAndLandsInTheTreesErrorLog) {
  const httptest::Response r = Ask(Get("/warn.php"));
  EXPECT_EQ(r.status, 200);
  EXPECT_NE(r.body.find("Undefined variable $nowhere"), std::string::npos) << r.body;
  EXPECT_NE(ReadFile(InTree("log/php_errors.log"))
                .find("PHP Warning:  Undefined variable $nowhere in " + InTree("www/warn.php").string()),
            std::string::npos)
      << ReadFile(InTree("log/php_errors.log"));
}

TEST_F(TreePhp, SessionsUploadsAndTemporaryFilesStayInTheTreesTmp) {
  const std::string id = Ask(Get("/session.php")).body;
  ASSERT_FALSE(id.empty());
  EXPECT_TRUE(fs::exists(InTree("tmp/sess_" + id))) << id;

  const std::string body = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.sql\"\r\n\r\n"
                           "SELECT 1;\r\n--b--\r\n";
  const httptest::Response r =
      Ask("POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=b\r\n"
          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  const std::string tmp = InTree("tmp").string();
  EXPECT_EQ(r.body, tmp + "|" + tmp + "|SELECT 1;");
}

TEST_F(TreePhp, DatesAreInTheMachinesZone) {
  EXPECT_EQ(Ask(Get("/date.php")).body, "Asia/Tokyo 32400");
}

// A user's own PHP build may lack an extension that php.ini enables: the
// start-up warning goes to the log, never into a page or its headers, and the
// welcome page names what did not load.
TEST(TreePhpMissingExtension, PagesStayCleanAndTheLogAndWelcomePageTellIt) {
  if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
  TreeProgram tree;
  const fs::path root = tree.Root();
  fs::remove(root / "php" / "ext" / "xsl.so");
  fs::remove(root / "php" / "ext" / "opcache.so");
  fs::copy(fs::path(TreeProgram::AssembledTree()) / "www" / "index.php", root / "www" / "index.php");
  tree.WritePage("ok.php", "<?php echo 'ok';");
  ASSERT_TRUE(tree.Start()) << tree.Output();

  const httptest::Response r = Client(tree.port).Request(Get("/ok.php"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "ok");
  EXPECT_EQ(r.Header("Content-Type"), "text/html; charset=UTF-8");
  const std::string log = ReadFile(root / "log" / "php_errors.log");
  EXPECT_NE(log.find("Unable to load dynamic library 'xsl'"), std::string::npos) << log;
  EXPECT_NE(log.find("Failed loading Zend extension 'opcache'"), std::string::npos) << log;
  const std::string welcome = Client(tree.port).Request(Get("/index.php")).body;
  EXPECT_NE(welcome.find("not loaded (see the error log):\nxsl, opcache</p>"), std::string::npos) << welcome;
}

}  // namespace
