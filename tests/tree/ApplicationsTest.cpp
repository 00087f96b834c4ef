// Applications as their authors ship them, each behind its own .htaccess
// files, served by the program from one copy of the assembled tree with its
// MariaDB and real php-cgi: Debian's WordPress at the root with /%postname%/
// permalinks, a Laravel-style public/ folder in laravel/ and Debian's
// DokuWiki laid out as its archive in dokuwiki/. The expected answers are
// those of Apache with mod_php (AllowOverride All) on the same files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <regex>
#include <vector>

#include "ChildProcess.h"
#include "TreeProgram.h"

namespace {

namespace fs = std::filesystem;

const char kScripts[] = PV_SOURCE_DIR "/tests/tree/";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs one of the set-up scripts beside this file; false with its output on
// the error stream when it fails.
bool RunScript(const TreeProgram& tree, const std::string& script, const std::vector<std::string>& args) {
  const std::string output = tree.Root() + "/../" + script + ".txt";
  ChildProcess run(std::string(kScripts) + script, args, {}, output);
  if (run.WaitForExit(std::chrono::seconds(120)) == 0) return true;
  std::cerr << script << " failed\n" << ReadFile(output);
  return false;
}

class Applications : public SharedTreeTest<Applications, TreeProgram::Mysql::kIncluded> {
 public:
  static void Prepare(const TreeProgram& tree) {
    const fs::path www = fs::path(tree.Root()) / "www";
    const std::string mysqlPort = std::to_string(tree.mysqlPort);
    // The same site also as the project www/wp, at its own host.
    prepared_ = RunScript(tree, "wordpress-site.sh", {"files", www.string(), mysqlPort}) &&
                RunScript(tree, "wordpress-site.sh", {"files", (www / "wp").string(), mysqlPort}) &&
                RunScript(tree, "dokuwiki-site.sh", {(www / "dokuwiki").string()});
    fs::copy(std::string(kScripts) + "laravel", www / "laravel", fs::copy_options::recursive);
    for (const char* project : {"alpha", "beta"})
      tree.WritePage(std::string(project) + "/cookies.php",
                     "<?php setcookie('" + std::string(project) + "', 'set'); ksort($_COOKIE);"
                     " echo json_encode($_COOKIE);\n");
  }
  static bool Ready(const TreeProgram& tree) {
    if (!prepared_ || !tree.DatabaseAnswers() ||
        !RunScript(tree, "wordpress-site.sh",
                   {"install", "http://127.0.0.1:" + std::to_string(tree.port), std::to_string(tree.mysqlPort)}))
      return false;
    const fs::path www = fs::path(tree.Root()) / "www";
    fs::remove(www / "wp" / "permalinks-once.php");
    return fs::copy_file(www / ".htaccess", www / "wp" / ".htaccess", fs::copy_options::overwrite_existing);
  }

 protected:
  struct Answer {
    std::string url;
    int status;
    std::string mark;  // in the body, or a redirect's whole Location
  };
  // Each URL asked on a connection of its own with `headers`, long enough
  // for a first WordPress page; no page shows a PHP warning or error.
  static void ExpectAnswers(const std::vector<Answer>& answers, const std::string& headers = "") {
    for (const Answer& a : answers) {
      SCOPED_TRACE(a.url);
      httptest::Client client(tree_->port);
      client.Send(httptest::Get(a.url, headers));
      const httptest::Response r = client.Read(false, std::chrono::seconds(30));
      EXPECT_EQ(r.status, a.status) << r.body.substr(0, 400);
      if (a.status / 100 == 3)
        EXPECT_EQ(r.Header("Location"), a.mark);
      else
        EXPECT_NE(r.body.find(a.mark), std::string::npos) << r.body.substr(0, 400);
      for (const char* trouble : {"<b>Warning</b>", "<b>Deprecated</b>", "<b>Notice</b>", "<b>Fatal error</b>"})
        EXPECT_EQ(r.body.find(trouble), std::string::npos) << r.body.substr(0, 400);
    }
  }
  // tree-browser.cjs's steps in Debian's Chromium: what it printed.
  static std::string InChromium(const std::vector<std::string>& steps) {
    const std::string profile = tree_->Root() + "/../profile-" + steps[0];
    const std::string output = profile + ".txt";
    std::vector<std::string> args{PV_TREE_BROWSER_SCRIPT, steps[0], PV_PLAYWRIGHT,
                                  "http://127.0.0.1:" + std::to_string(tree_->port), profile};
    args.insert(args.end(), steps.begin() + 1, steps.end());
    ChildProcess browser("/usr/bin/node", args, {}, output);
    EXPECT_EQ(browser.WaitForExit(std::chrono::seconds(120)), 0);
    return ReadFile(output);
  }

  static inline bool prepared_ = false;
};

TEST_F(Applications, WordPressAnswersItsPrettyUrlsAsApacheDoes) {
  ExpectAnswers({
      {"/", 200, "href=\"http://localhost/hello-world/\""},
      {"/hello-world/", 200, "<title>Hello world! &#8211; Portavane WordPress</title>"},
      {"/hello-world", 301, "http://localhost/hello-world/"},
      {"/?p=1", 301, "http://localhost/hello-world/"},
      {"/category/uncategorized/", 200, "<title>Uncategorized &#8211; Portavane WordPress</title>"},
      {"/feed/", 200, "<title>Hello world!</title>"},
      {"/wp-json/wp/v2/posts", 200, "\"slug\":\"hello-world\""},
      {"/wp-json/wp/v2/users/me", 401, "\"code\":\"rest_not_logged_in\""},
      {"/wp-sitemap.xml", 200, "<loc>http://localhost/wp-sitemap-posts-post-1.xml</loc>"},
      {"/no-such-page/", 404, "<title>Page not found &#8211; Portavane WordPress</title>"},
      {"/readme.html", 200, "<title>WordPress &#8250; ReadMe</title>"},
      {"/.htaccess", 403, ""},
  });
}

TEST_F(Applications, WordPressSavesAPostFromTheBlockEditor) {
  EXPECT_EQ(InChromium({"wordpress", "Saved from Chromium"}), "saved: 200\npost: Saved from Chromium\n");
}

// WordPress as the project www/wp at http://wp.localhost:<port>/, its links,
// its admin's login and its dashboard in Chromium at that origin.
TEST_F(Applications, WordPressAnswersAtItsProjectHost) {
  const std::string port = std::to_string(tree_->port), site = "http://wp.localhost:" + port;
  ExpectAnswers({
                    {"/", 200, "href=\"" + site + "/hello-world/\""},
                    {"/hello-world/", 200, "<title>Hello world! &#8211; Portavane WordPress</title>"},
                    {"/wp-admin/", 302,
                     site + "/wp-login.php?redirect_to=http%3A%2F%2Fwp.localhost%3A" + port + "%2Fwp-admin%2F&reauth=1"},
                    {"/wp-login.php", 200, "action=\"" + site + "/wp-login.php\""},
                },
                "Host: " + site.substr(7) + "\r\n");
  EXPECT_EQ(InChromium({"dashboard", site}), "dashboard: " + site + "/wp-admin/\n");
}

// Each project at its own host is an origin of its own: its cookies stay its.
TEST_F(Applications, ProjectHostsKeepTheirCookiesApartInChromium) {
  EXPECT_EQ(InChromium({"hosts", "alpha", "beta"}), "alpha: {\"alpha\":\"set\"}\nbeta: {\"beta\":\"set\"}\n");
}

// Saved in Settings > Permalinks, WordPress writes the rules it writes for
// Apache; the post then answers at its new URL.
TEST_F(Applications, WordPressWritesItsRulesWhenItsPermalinksAreSaved) {
  const fs::path rules = fs::path(tree_->Root()) / "www" / ".htaccess";
  fs::remove(rules);
  const std::string date = "/\\d{4}/\\d{2}/\\d{2}/";
  const std::string seen = InChromium({"permalinks"});
  EXPECT_TRUE(std::regex_match(seen, std::regex("preset: " + date + "sample-post/\nsaved: Permalink structure updated.\n"
                                                "post: 200 " + date + "hello-world/\n")))
      << seen;
  EXPECT_NE(ReadFile(rules.string()).find("RewriteRule . /index.php [L]"), std::string::npos);
}

// The front controller routes, the Authorization header reaches it also as
// the rules' E= flag passes it on, and a trailing slash is taken off by
// redirect, an encoded '?' staying encoded.
TEST_F(Applications, LaravelRoutesThroughItsFrontController) {
  ExpectAnswers({
                    {"/laravel/public/users/5", 200,
                     "user 5\nauthorization: Bearer t0k3n\nredirected: Bearer t0k3n\nxsrf: abc\n"},
                    {"/laravel/public/", 200, "home\n"},
                    {"/laravel/public/users/5/", 301, "http://localhost/laravel/public/users/5"},
                    {"/laravel/public/a%3Fb/", 301, "http://localhost/laravel/public/a%3Fb"},
                    {"/laravel/public/users/x", 404, "no route /users/x\n"},
                    {"/laravel/public/robots.txt", 200, "User-agent: *"},
                    {"/laravel/public/css/app.css", 200, "body{}"},
                    {"/laravel/public/.htaccess", 403, ""},
                },
                "Authorization: Bearer t0k3n\r\nX-XSRF-TOKEN: abc\r\n");
}

// What DokuWiki keeps from the web stays there, files that are not there
// too, and its admin page's own check finds data/ secured.
TEST_F(Applications, DokuWikiKeepsItsDataAndSettingsFolders) {
  ExpectAnswers({
      {"/dokuwiki/data/pages/secretpage.txt", 403, ""},
      {"/dokuwiki/data/nothing-here.txt", 403, ""},
      {"/dokuwiki/data/", 403, ""},
      {"/dokuwiki/conf/acronyms.conf", 403, ""},
      {"/dokuwiki/conf/users.auth.php.dist", 403, ""},
      {"/dokuwiki/vendor/composer/installed.json", 403, ""},
      {"/dokuwiki/inc/", 403, ""},
      {"/dokuwiki/.htaccess", 403, ""},
      {"/dokuwiki/.htaccess.dist", 403, ""},
      {"/dokuwiki/VERSION", 403, ""},
      {"/dokuwiki/doku.php", 200, "<title>start [Debian DokuWiki]</title>"},
      {"/dokuwiki/lib/exe/css.php", 200, "@media screen"},
  });
  EXPECT_EQ(InChromium({"dokuwiki"}), "security check: passed\n");
}

}  // namespace
