// Each folder of www at a host of its own, <name>.localhost, served by the
// program from a copy of the assembled tree with real php-cgi: the folder is
// the project's document root for files, folders, PHP and its .htaccess
// rules; every other Host keeps www.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TreeProgram.h"

namespace {

namespace fs = std::filesystem;

const char kVars[] =
    "<?php foreach (['DOCUMENT_ROOT', 'SCRIPT_FILENAME'] as $k) echo $k, '=', "
    "basename(dirname($_SERVER[$k])), '/', basename($_SERVER[$k]), \"\\n\";\n"
    "foreach (['SCRIPT_NAME', 'PHP_SELF', 'REQUEST_URI', 'SERVER_NAME', 'HTTP_HOST'] as $k) "
    "echo $k, '=', $_SERVER[$k], \"\\n\";\n";

void WriteProjects(const TreeProgram& tree) {
  tree.WritePage("index.html", "the main site");
  tree.WritePage("blog/index.html", "blog home");
  tree.WritePage("blog/docs/index.html", "blog docs");
  tree.WritePage("blog/vars.php", kVars);
  tree.WritePage("blog/index.php", "<?php echo 'front ', $_SERVER['REQUEST_URI'];\n");
  tree.WritePage("blog/.htaccess",
                 "RewriteEngine On\nRewriteCond %{REQUEST_FILENAME} !-f\n"
                 "RewriteCond %{REQUEST_FILENAME} !-d\nRewriteRule ^ index.php [L]\n");
  tree.WritePage("Mixed/index.html", "mixed case");
  tree.WritePage(".hidden/index.html", "hidden folder");
  tree.WritePage("bad_name/index.html", "not a label");
  tree.WritePage("adminer/index.html", "the tools");
  // A Laravel-style project: the root's rule hands every URL to public/.
  const fs::path www = fs::path(tree.Root()) / "www";
  fs::copy(PV_SOURCE_DIR "/tests/tree/laravel", www / "app", fs::copy_options::recursive);
  tree.WritePage("app/.htaccess", "RewriteEngine On\nRewriteRule ^(.*)$ public/$1 [L]\n");
  fs::copy_file(fs::path(TreeProgram::AssembledTree()) / "www" / "index.php", www / "welcome.php");
  fs::create_directories(fs::path(tree.Root()) / "elsewhere");
  std::ofstream(fs::path(tree.Root()) / "elsewhere" / "index.html") << "outside www";
  fs::create_directory_symlink("../elsewhere", www / "link");
}

struct Row {
  std::string host;  // the Host header as sent; "PORT" stands for the port
  std::string target;
  int status;
  std::string shows;  // in the body, or in a redirect's Location
  std::string never = "\x01";
};

std::string WithPort(std::string text, int port) {
  for (std::size_t at; (at = text.find("PORT")) != std::string::npos;) text.replace(at, 4, std::to_string(port));
  return text;
}

void ExpectRows(int port, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    const std::string host = WithPort(row.host, port);
    SCOPED_TRACE(host + row.target);
    const httptest::Response r =
        httptest::Client(port).Request(httptest::Get(row.target, "Host: " + host + "\r\n"));
    EXPECT_EQ(r.status, row.status) << r.body.substr(0, 300);
    const std::string seen = r.status / 100 == 3 ? r.Header("Location") : r.body;
    EXPECT_NE(seen.find(WithPort(row.shows, port)), std::string::npos) << seen.substr(0, 300);
    EXPECT_EQ(r.body.find(row.never), std::string::npos) << r.body.substr(0, 300);
  }
}

class ProjectHosts : public SharedTreeTest<ProjectHosts> {
 public:
  static void Prepare(const TreeProgram& tree) { WriteProjects(tree); }
};

TEST_F(ProjectHosts, EachFolderIsTheRootOfItsOwnHost) {
  ExpectRows(tree_->port, {
      {"blog.localhost:PORT", "/", 200, "blog home"},
      {"BLOG.LOCALHOST:PORT", "/docs", 301, "/docs/"},
      {"blog.localhost", "/docs/", 200, "blog docs"},
      {"blog.localhost.", "/docs/", 200, "blog docs"},
      {"x.blog.localhost", "/vars.php/more?q=1", 200,
       "DOCUMENT_ROOT=www/blog\nSCRIPT_FILENAME=blog/vars.php\nSCRIPT_NAME=/vars.php\n"
       "PHP_SELF=/vars.php/more\nREQUEST_URI=/vars.php/more?q=1\nSERVER_NAME=x.blog.localhost\n"
       "HTTP_HOST=x.blog.localhost\n"},
      {"blog.localhost:PORT", "/users/5", 200, "front /users/5"},
      {"blog.localhost:PORT", "/.htaccess", 403, ""},
      {"app.localhost:PORT", "/users/5", 200, "user 5\n"},
      // Linux keeps Blog and blog apart; a name that matches one folder only
      // in another letter case reaches it.
      {"mixed.localhost:PORT", "/", 200, "mixed case"},
      // Path-style URLs of the main host, and every other name, as before.
      {"localhost:PORT", "/", 200, "the main site"},
      {"127.0.0.1:PORT", "/blog/docs/", 200, "blog docs"},
      {"[::1]:PORT", "/", 200, "the main site"},
      {"blog.example", "/", 200, "the main site"},
      {"localhost", "/adminer/", 200, "the tools"},
      // The welcome page links each project at its host.
      {"localhost:PORT", "/welcome.php", 200, "<a href=\"http://blog.localhost:PORT/\">"},
      {"localhost:PORT", "/welcome.php", 200, "http://mixed.localhost:PORT/", "hidden.localhost"},
  });
}

TEST_F(ProjectHosts, ANameWithoutAProjectListsTheProjects) {
  for (const char* host : {"nothing.localhost:PORT", "hidden.localhost", "bad_name.localhost",
                           "link.localhost", "adminer.localhost", "..localhost", "-blog.localhost"})
    ExpectRows(tree_->port, {{host, "/", 404, "<a href=\"http://blog.localhost:PORT/\">"},
                             {host, "/", 404, "http://mixed.localhost:PORT/", "outside www"}});
  const httptest::Response r = Ask(httptest::Get("/", "Host: nothing.localhost\r\n"));
  for (const char* unlisted : {"hidden", "bad_name", "link.", "adminer"})
    EXPECT_EQ(r.body.find(unlisted), std::string::npos) << unlisted;
}

TEST(ProjectHostsOff, EveryHostGetsTheMainSite) {
  if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
  TreeProgram tree;
  WriteProjects(tree);
  const fs::path ini = fs::path(tree.Root()) / "pvn" / "pvn.ini";
  std::ifstream in(ini);
  std::string settings(std::istreambuf_iterator<char>(in), {});
  settings.replace(settings.find("projecthosts=1"), 14, "projecthosts=0");
  std::ofstream(ini) << settings;
  ASSERT_TRUE(tree.Start()) << tree.Output();
  ExpectRows(tree.port, {{"blog.localhost:PORT", "/", 200, "the main site"},
                         {"nothing.localhost", "/blog/", 200, "blog home"}});
}

}  // namespace
