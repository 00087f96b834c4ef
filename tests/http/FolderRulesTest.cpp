// The per-folder rules over a real document root: what each request of a
// project's own .htaccess files resolves to, and what the server log tells.
#include <gtest/gtest.h>

#include "FolderRulesSite.h"
#include "HttpTestSupport.h"
#include "common/KestroClass.h"
#include "http/Connection.h"
#include "http/RequestResolver.h"

namespace {

// "METHOD /target|Header: value|..." as a parsed request.
THttpRequest RequestOf(const std::string& row) {
  std::string head = row;
  const std::size_t bar = head.find('|');
  std::string headers = bar == std::string::npos ? "" : head.substr(bar + 1);
  if (bar != std::string::npos) head.erase(bar);
  for (char& c : headers)
    if (c == '|') c = '\n';
  return ParseRequestHead(head + " HTTP/1.1\r\nHost: h" + (headers.empty() ? "" : "\r\n" + headers));
}

std::string Describe(const TResolvedRequest& r, const THttpRequest& request) {
  if (r.status != 0) {
    std::string text = std::to_string(r.status);
    if (!r.location.empty()) text += " " + r.location;
    if (!r.errorText.empty()) text += " '" + r.errorText + "'";
    if (r.errorDocument.kind == TPhysicalPath::Kind::kFile) text += " page " + r.errorDocument.scriptUrl;
    return text;
  }
  switch (r.mapped.kind) {
    case TPhysicalPath::Kind::kMissing: return "404";
    case TPhysicalPath::Kind::kRedirect: return "301 " + r.mapped.location;
    case TPhysicalPath::Kind::kFile: break;
  }
  std::string text = "file " + r.mapped.scriptUrl + r.mapped.pathInfo;
  if (!request.query.empty()) text += "?" + request.query;
  for (const THttpHeader& v : request.variables) text += " " + v.name + "=" + v.value;
  return text;
}

class FolderRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFolderRulesSite(site);
    mapping = MappingSettingsOf(TKestro::ToNativePath(site.Path() + "/www"), "index.html,index.php",
                                ".php");
    settings.mapping = &mapping;
    settings.logFolder = site.MakeFolder("log");
    settings.clientAddress = "192.168.1.20";
    settings.portText = "80";
  }
  void ExpectRows(const std::vector<RuleRow>& rows) {
    for (const RuleRow& row : rows) {
      THttpRequest request = RequestOf(row.request);
      EXPECT_EQ(Describe(ResolveRequest(settings, request), request), row.expected) << row.request;
    }
  }

  TempFolder site;
  TMappingSettings mapping;
  TWorkerSettings settings;
};

TEST_F(FolderRulesTest, ProjectsRouteAndProtectAsTheirFilesSay) {
  const std::string noAuth = " REDIRECT_HTTP_AUTHORIZATION= HTTP_AUTHORIZATION=";
  ExpectRows({
      // A blog's front controller: pretty URLs, files and folders as they are.
      {"GET /blog/hello-world/", "file /blog/index.php REDIRECT_URL=/blog/hello-world/ REDIRECT_STATUS=200" + noAuth},
      {"PUT /blog/wp-json/wp/v2/posts/1",
       "file /blog/index.php REDIRECT_URL=/blog/wp-json/wp/v2/posts/1 REDIRECT_STATUS=200" + noAuth},
      {"GET /blog/feed/|Authorization: Basic dTpw",
       "file /blog/index.php REDIRECT_URL=/blog/feed/ REDIRECT_STATUS=200 REDIRECT_HTTP_AUTHORIZATION=Basic dTpw "
       "HTTP_AUTHORIZATION=Basic dTpw"},
      {"GET /blog/?p=1", "file /blog/index.php?p=1 HTTP_AUTHORIZATION="},
      {"GET /blog/wp-content/logo.png", "file /blog/wp-content/logo.png HTTP_AUTHORIZATION="},
      {"GET /blog/index.php/2024/x", "file /blog/index.php/2024/x HTTP_AUTHORIZATION="},
      {"GET /blog/.htaccess", "403"},
      {"GET /.htpasswd", "403"},
      // A framework's public folder: its authorization header, its trailing
      // slash redirect and its front controller.
      {"GET /app/public/users/5|Authorization: Bearer t",
       "file /app/public/index.php REDIRECT_URL=/app/public/users/5 REDIRECT_STATUS=200 "
       "REDIRECT_HTTP_AUTHORIZATION=Bearer t HTTP_AUTHORIZATION=Bearer t"},
      {"DELETE /app/public/users/5", "file /app/public/index.php REDIRECT_URL=/app/public/users/5 REDIRECT_STATUS=200"},
      {"GET /app/public/users/", "301 http://h/app/public/users"},
      {"GET /app/public/css/app.css", "file /app/public/css/app.css"},
      {"GET /app/public/?page=2", "file /app/public/index.php?page=2"},
      // A front controller that tells its first round from a later one by
      // REDIRECT_STATUS, and sends its own name back to the pretty URL.
      {"GET /sym/blog/post",
       "file /sym/index.php REDIRECT_URL=/sym/blog/post REDIRECT_STATUS=200 REDIRECT_BASE=/sym "
       "BASE=/sym"},
      {"GET /sym/index.php/blog/post", "301 http://h/sym/blog/post"},
      {"GET /sym/x|Authorization: Basic eA==",
       "file /sym/index.php REDIRECT_URL=/sym/x REDIRECT_STATUS=200 REDIRECT_BASE=/sym "
       "REDIRECT_HTTP_AUTHORIZATION=Basic eA== BASE=/sym HTTP_AUTHORIZATION=Basic eA=="},
      // A wiki's denied folders, files and index.
      {"GET /wiki/data/pages/secret.txt", "403 'Denied by the wiki'"},
      {"GET /wiki/data/pages/missing.txt", "403 'Denied by the wiki'"},
      {"GET /wiki/data/", "403 'Denied by the wiki'"},
      {"GET /wiki/data", "403 'Denied by the wiki'"},
      {"GET /app/public", "301 /app/public/"},
      {"GET /wiki/conf/acronyms.conf", "403 'Denied by the wiki'"},
      {"GET /wiki/README", "403 'Denied by the wiki'"},
      {"GET /wiki/lib/style.css.bak", "403 'Denied by the wiki'"},
      {"GET /wiki/lib/style.css", "file /wiki/lib/style.css"},
      {"GET /wiki/", "file /wiki/doku.php"},
      {"GET /plain/a.txt", "file /plain/a.txt"},
      // Folders open to some addresses only; this client is 192.168.1.20.
      {"GET /lan/a.txt", "file /lan/a.txt"},
      {"GET /office/a.txt", "403"},
      {"GET /local/a.txt", "403"},
      {"GET /net/a.txt", "file /net/a.txt"},
      {"GET /reqip/a.txt", "403"},
  });
  ExpectRows(PlatformRuleRows());
}

TEST_F(FolderRulesTest, RulesRedirectRefuseAndRewriteQueries) {
  ExpectRows({
      {"GET /pages/old/x?a=1", "301 http://h/pages/new/x?a=1"},
      {"GET /pages/ABOUT", "file /pages/about.txt REDIRECT_URL=/pages/ABOUT REDIRECT_STATUS=200"},
      {"GET /pages/q/abc?x=1", "file /pages/about.txt?id=abc&x=1 REDIRECT_URL=/pages/q/abc REDIRECT_STATUS=200 REDIRECT_QUERY_STRING=x=1"},
      {"GET /pages/clean?drop", "file /pages/about.txt REDIRECT_URL=/pages/clean REDIRECT_STATUS=200 REDIRECT_QUERY_STRING=drop"},
      {"POST /pages/form", "file /pages/posted.txt REDIRECT_URL=/pages/form REDIRECT_STATUS=200"},
      {"GET /pages/form", "404 page /pages/missing.txt"},
      {"GET /pages/end", "file /pages/about.txt REDIRECT_URL=/pages/end REDIRECT_STATUS=200"},
      {"GET /pages/away", "302 https://example.org/x?y=1"},
      {"GET /pages/gone", "410"},
      {"GET /pages/private/x", "403"},
      {"GET /pages/nothing", "404 page /pages/missing.txt"},
  });
}

// A folder whose file cannot be parsed is refused, never served as if it
// had no rules; rules that never end stop; the log names file and line.
TEST_F(FolderRulesTest, FaultsAnswer500AndTheServerLogNamesThem) {
  ExpectRows({
      {"GET /broken/a.txt", "500"},
      {"GET /unclosed/a.txt", "500"},
      {"GET /r399/a.txt", "500"},
      {"GET /loop/a.txt", "500"},
      {"GET /blog/wp-content/logo.png", "file /blog/wp-content/logo.png HTTP_AUTHORIZATION="},
      {"GET /ctl/a.txt", "file /ctl/a.txt"},
  });
  const std::string log = site.Read("log/server.log");
  const std::string ctl = TKestro::ToNativePath(site.Path() + "/www/ctl/.htaccess");
  const std::string blog = TKestro::ToNativePath(site.Path() + "/www/blog/.htaccess");
  for (const std::string& line :
       {TKestro::ToNativePath(site.Path() + "/www/broken/.htaccess") +
            ": line 2: RewriteRule: unknown flag BOGUS; its folder answers 500",
        TKestro::ToNativePath(site.Path() + "/www/r399/.htaccess") +
            ": line 2: variable %{NO_SUCH} (it expands to \"\") ignored",
        TKestro::ToNativePath(site.Path() + "/www/r399/.htaccess") +
            ": line 3: RewriteRule: unknown flag R=399; its folder answers 500",
        TKestro::ToNativePath(site.Path() + "/www/unclosed/.htaccess") +
            ": line 2: <ifmodule> is not closed",
        blog + ": line 12: directive header ignored",
        blog + ": line 13: php_value (PHP's own .user.ini in the folder sets PHP's settings) ignored",
        ctl + ": line 1: Options +Fancy\\x1B[2J ignored", ctl + ": line 2: directive (not a directive name) ignored",
        std::string("rewriting of /loop/a.txt did not end after 10 rounds: answered 500")})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find_first_of("\x1b"), std::string::npos) << log;
  EXPECT_EQ(log.find("SECRET"), std::string::npos) << log;
  // Each file is noted once, however often it is read.
  EXPECT_EQ(log.find("line 12"), log.rfind("line 12")) << log;
}

// A long URL against patterns that backtrack: the engine gives up within its
// limits, on the heap; the worker's stack never overflows, and a rule left
// unanswered refuses the URL rather than pass it as unmatched.
TEST_F(FolderRulesTest, LongUrlsAgainstBacktrackingPatternsEndQuickly) {
  ExpectRows({
      {"GET /re/" + std::string(60000, 'a'), "500"},
      {"GET /re/" + std::string(60000, 'a') + "c", "500"},
  });
}

TEST_F(FolderRulesTest, TurnedOffTheFilesAreNotReadButNeverServed) {
  mapping.readFolderRules = false;
  ExpectRows({
      {"GET /wiki/data/pages/secret.txt", "file /wiki/data/pages/secret.txt"},
      {"GET /blog/hello-world/", "404"},
      {"GET /blog/.htaccess", "403"},
  });
}

}  // namespace
