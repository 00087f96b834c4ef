// The Windows module (php/phpisapi.dll) through the real server, with the
// php-cgi.exe stand-in beside it: FastCGI over loopback TCP, a crashed or
// hanging process, and no process left when the server goes.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "FolderRulesSite.h"
#include "HttpTestSupport.h"

namespace {

using httptest::Client;
using httptest::Get;
using httptest::Response;

// The stand-in beside the module, as the module starts it.
std::string StandInPath() {
  char path[MAX_PATH] = {};
  const std::string exe(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return exe.substr(0, exe.find_last_of('\\')) + "\\php\\php-cgi.exe";
}

// The running processes of the stand-in of this tree, by image path.
std::vector<DWORD> StandIns() {
  std::vector<DWORD> found;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) continue;
    char image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    DWORD code = 0;
    if (QueryFullProcessImageNameA(process, 0, image, &length) &&
        _stricmp(image, StandInPath().c_str()) == 0 && GetExitCodeProcess(process, &code) &&
        code == STILL_ACTIVE)
      found.push_back(entry.th32ProcessID);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}

// True once `done` holds, looked at every 50 ms for at most `limit`.
template <class Check>
bool Eventually(Check done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

bool Has(const Response& r, const std::string& line) {
  return r.body.find(line + "\n") != std::string::npos;
}

std::string Value(const Response& r, const std::string& name) {
  const std::size_t at = r.body.find(name + "=");
  return at == std::string::npos ? "" : r.body.substr(at + name.size() + 1,
                                                      r.body.find('\n', at) - at - name.size() - 1);
}

class WindowsPhpTest : public httptest::ServerTest {
 protected:
  void SetUp() override {
    site.folder.Write("www/page.php", "");
    StartServer();
  }
};

TEST_F(WindowsPhpTest, PageGetsTheServerVariables) {
  const Response r = Ask(Get("/page.php?a=1&b=x%20y"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("Content-Type"), "text/plain");
  EXPECT_TRUE(Has(r, "REQUEST_METHOD=GET")) << r.body;
  EXPECT_TRUE(Has(r, "QUERY_STRING=a=1&b=x%20y")) << r.body;
  EXPECT_TRUE(Has(r, "SCRIPT_NAME=/page.php")) << r.body;
  EXPECT_TRUE(Has(r, "SCRIPT_FILENAME=" + site.www + "\\page.php")) << r.body;
  EXPECT_TRUE(Has(r, "SERVER_PORT=" + std::to_string(site.port))) << r.body;
  EXPECT_TRUE(Has(r, "HTTP_HOST=localhost")) << r.body;
  EXPECT_TRUE(Has(r, "body=")) << r.body;
}

// A folder's front controller and its denied folder, reached in another
// letter case, under the main host and as a project at its own: any method
// reaches the script with the rules' variables, the denied folder stays
// denied, and so do the folders whose rules are not read as they are written.
TEST_F(WindowsPhpTest, FolderRulesHoldInAnyLetterCase) {
  site.folder.Write("www/app/index.php", "");
  site.folder.Write("www/app/data/x.txt", "x");
  site.folder.Write("www/app/data/.htaccess", "Require all denied\n");
  site.folder.Write("www/app/.htaccess",
                    "RewriteEngine On\n"
                    "RewriteRule .* - [E=HTTP_AUTHORIZATION:%{HTTP:Authorization}]\n"
                    "RewriteCond %{REQUEST_FILENAME} !-f\n"
                    "RewriteRule ^ index.php [QSA,L]\n");
  struct Case {
    std::string request;
    int status;
    std::vector<std::string> lines;
    std::string host = "localhost";
  } cases[] = {
      {"PUT /APP/users/5?v=1", 200,
       {"REQUEST_METHOD=PUT", "REQUEST_URI=/APP/users/5?v=1", "SCRIPT_NAME=/APP/index.php",
        "QUERY_STRING=v=1", "REDIRECT_URL=/APP/users/5", "HTTP_AUTHORIZATION=Bearer t"}},
      {"OPTIONS /app/api", 200, {"REQUEST_METHOD=OPTIONS", "REDIRECT_URL=/app/api"}},
      {"GET /APP/DATA/X.TXT", 403, {}},
      {"GET /App/Data/", 403, {}},
      {"GET /APP/.HTACCESS", 403, {}},
      // Rules not read as Apache reads them never open their folder.
      {"PUT /LIM/X.PHP", 403, {}},
      {"GET /Lim/x.PHP", 200, {"REQUEST_METHOD=GET"}},
      {"GET /LIM2/X.PHP", 403, {}},
      {"GET /ReqAll/x.php", 403, {}},
      {"GET /REQNONE/X.PHP", 403, {}},
      {"GET /IfSec/X.Php", 403, {}},
      {"GET /IFMOD/x.php", 403, {}},
      {"GET /OPT/T.PHP5", 200, {"REQUEST_METHOD=GET"}},
      {"GET /OptSet/A.INC", 200, {"REQUEST_METHOD=GET"}},
      {"GET /CGI/RUN.PL", 403, {}},
      {"GET /OptSrc/S.PHP", 403, {}},
      {"GET /CIDR/A.TXT", 403, {}},
      {"GET /Mask/a.txt", 403, {}},
      {"GET /BadNet/a.txt", 500, {}},
      {"GET /BOM/A.TXT", 403, {}},
      {"GET /UPLOADS/X.PHP", 403, {}},
      {"GET /uploads/x.Php", 403, {}},
      {"GET /HtDir/A.TXT", 403, {}},
      {"GET /RwType/a.inc", 200, {"REQUEST_METHOD=GET"}},
      {"GET /RWHANDLER/a.inc", 200, {"REQUEST_METHOD=GET"}},
      {"GET /RwSrc/s.php", 403, {}},
      {"GET /rwSrcType/A.INC", 403, {}},
      // The folder as a project at its own host, named in any letter case.
      {"PUT /Users/5?v=1", 200,
       {"SCRIPT_NAME=/index.php", "REQUEST_URI=/Users/5?v=1", "REDIRECT_URL=/Users/5",
        "DOCUMENT_ROOT=" + site.www + "\\app", "HTTP_HOST=App.LOCALHOST"},
       "App.LOCALHOST"},
      {"GET /DATA/X.TXT", 403, {}, "APP.localhost:" + std::to_string(site.port)},
      {"GET /.HTACCESS", 403, {}, "app.Localhost"},
  };
  WriteClosedFolders([&](const std::string& relative, const std::string& content) {
    site.folder.Write("www/" + relative, content);
  });
  for (const Case& c : cases) {
    const std::size_t blank = c.request.find(' ');
    const Response r = Ask(Get(c.request.substr(blank + 1),
                               "Host: " + c.host + "\r\nAuthorization: Bearer t\r\nContent-Length: 0\r\n",
                               c.request.substr(0, blank)));
    EXPECT_EQ(r.status, c.status) << c.request;
    EXPECT_EQ(r.body.find("PROTECTED"), std::string::npos) << c.request;
    for (const std::string& line : c.lines) EXPECT_TRUE(Has(r, line)) << c.request << "\n" << r.body;
  }
}

// PHP reads the tree's php.ini and no other ini folder, keeps its temporary
// files in the tree's tmp/ and sees nothing else of the server's environment.
TEST_F(WindowsPhpTest, PhpGetsPhprcAndNoIniScanFolder) {
  SetEnvironmentVariableA("PHPRC", "C:\\tree\\php");
  SetEnvironmentVariableA("PHP_INI_SCAN_DIR", "C:\\elsewhere");
  SetEnvironmentVariableA("PORTAVANE_TEST_SESSION", "secret");
  const Response r = Ask(Get("/page.php"));
  SetEnvironmentVariableA("PHPRC", nullptr);
  SetEnvironmentVariableA("PHP_INI_SCAN_DIR", nullptr);
  SetEnvironmentVariableA("PORTAVANE_TEST_SESSION", nullptr);
  const std::string php = StandInPath().substr(0, StandInPath().find_last_of('\\'));
  const std::string tmp = php.substr(0, php.find_last_of('\\')) + "\\tmp";
  char systemRoot[MAX_PATH] = {};
  GetEnvironmentVariableA("SystemRoot", systemRoot, sizeof systemRoot);
  for (const std::string& line : std::vector<std::string>{"env.PHPRC=C:\\tree\\php", "env.PHP_INI_SCAN_DIR=", "env.TEMP=" + tmp, "env.TMP=" + tmp,
        "env.SystemRoot=" + std::string(systemRoot), "env.PORTAVANE_TEST_SESSION="})
    EXPECT_TRUE(Has(r, line)) << line << "\n" << r.body;
}

TEST_F(WindowsPhpTest, PostBodyReachesPhp) {
  const std::string body(100000, 'p');
  const Response r = Ask("POST /page.php HTTP/1.1\r\nHost: localhost\r\n"
                         "Content-Type: application/octet-stream\r\n"
                         "Content-Length: 100000\r\n\r\n" + body);
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(Has(r, "CONTENT_LENGTH=100000")) << r.body.substr(0, 2000);
  EXPECT_TRUE(Has(r, "CONTENT_TYPE=application/octet-stream")) << r.body.substr(0, 2000);
  EXPECT_TRUE(Has(r, "body=" + body)) << r.body.substr(0, 2000);
}

// Both the browser's connection and the one to php-cgi serve the next request.
TEST_F(WindowsPhpTest, KeepAliveServesTheNextRequestOnBothConnections) {
  Client client(site.port);
  const Response first = client.Request(Get("/page.php", "Connection: keep-alive\r\n"));
  EXPECT_EQ(first.Header("Connection"), "Keep-Alive");
  const Response second = client.Request(Get("/page.php?n=2", "Connection: keep-alive\r\n"));
  EXPECT_EQ(second.status, 200);
  EXPECT_TRUE(Has(second, "QUERY_STRING=n=2")) << second.body;
  EXPECT_EQ(Value(second, "pid"), Value(first, "pid"));
  EXPECT_EQ(Value(second, "number"), "2");
}

// More pages at once than the pool starts with: each gets a process of its own.
TEST_F(WindowsPhpTest, PagesAtOnceRunInProcessesOfTheirOwn) {
  constexpr int kPages = 8;
  std::vector<std::future<Response>> pages;
  for (int i = 0; i < kPages; ++i)
    pages.push_back(std::async(std::launch::async, [this] { return Ask(Get("/page.php?slow")); }));
  std::set<std::string> processes;
  for (auto& page : pages) {
    const Response r = page.get();
    EXPECT_EQ(r.status, 200);
    processes.insert(Value(r, "pid"));
  }
  EXPECT_EQ(processes.size(), static_cast<std::size_t>(kPages));
}

TEST_F(WindowsPhpTest, CrashedProcessGivesBadGatewayAndIsReplaced) {
  const std::string before = Value(Ask(Get("/page.php")), "pid");
  const Response crashed = Ask(Get("/page.php?crash"));
  EXPECT_EQ(crashed.status, 502);
  EXPECT_NE(crashed.body.find("502 Bad Gateway"), std::string::npos);
  const Response next = Ask(Get("/page.php"));
  EXPECT_EQ(next.status, 200);
  EXPECT_NE(Value(next, "pid"), before);
  // One that ends between requests is replaced unnoticed.
  const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                     std::stoul(Value(next, "pid")));
  ASSERT_TRUE(process);
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
  const Response after = Ask(Get("/page.php"));
  EXPECT_EQ(after.status, 200);
  EXPECT_NE(Value(after, "pid"), Value(next, "pid"));
  // One that finds its port taken is started again on another.
  const std::string marker = StandInPath().substr(0, StandInPath().find_last_of('\\')) +
                             "\\port-taken-once";
  CloseHandle(CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(Ask(Get("/page.php?crash")).status, 502);
  const Response moved = Ask(Get("/page.php"));
  EXPECT_EQ(moved.status, 200);
  EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "no start found it";
}

// php/phpisapi.ini of this tree sets the limit to 5 seconds: starting eight
// processes under Wine takes longer than 2 on a machine of two cores.
TEST_F(WindowsPhpTest, HangingPageGetsTheTimeLimitAnswer) {
  Client client(site.port);
  client.Send(Get("/page.php?hang"));
  const Response r = client.Read(false, std::chrono::seconds(10));
  EXPECT_EQ(r.status, 504);
  EXPECT_NE(r.body.find("5 seconds"), std::string::npos);
  EXPECT_EQ(Ask(Get("/page.php")).status, 200);
}

TEST_F(WindowsPhpTest, NoPhpProcessOutlivesTheServer) {
  ASSERT_EQ(Ask(Get("/page.php")).status, 200);
  const std::vector<DWORD> started = StandIns();
  EXPECT_GE(started.size(), 4u);  // the pool, started on the first request
  server.reset();
  EXPECT_TRUE(Eventually([] { return StandIns().empty(); }, std::chrono::seconds(5)));
}

// This test run again as a child that serves a page and waits to be killed.
TEST_F(WindowsPhpTest, NoPhpProcessOutlivesAKilledServer) {
  if (GetEnvironmentVariableA("PV_SERVE_UNTIL_KILLED", nullptr, 0) > 0) {
    Ask(Get("/page.php"));
    Sleep(30000);
    return;
  }
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string command = std::string("\"") + exe + "\" --gtest_output= --gtest_filter=" +
                        test->test_suite_name() + "." + test->name();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  SetEnvironmentVariableA("PV_SERVE_UNTIL_KILLED", "1");
  const BOOL started = CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE,
                                      DETACHED_PROCESS, nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableA("PV_SERVE_UNTIL_KILLED", nullptr);
  ASSERT_TRUE(started);
  EXPECT_TRUE(Eventually([] { return StandIns().size() >= 4; }, std::chrono::seconds(20)));
  TerminateProcess(child.hProcess, 1);
  WaitForSingleObject(child.hProcess, 5000);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  EXPECT_TRUE(Eventually([] { return StandIns().empty(); }, std::chrono::seconds(5)));
  // A process left over would outlive the suite and keep its Wine session going.
  for (const DWORD id : StandIns()) {
    const HANDLE left = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (left) TerminateProcess(left, 1), CloseHandle(left);
  }
}


// The applications of the tree tests as they lay them out, served from the
// folder beside this test: DokuWiki as its archive unpacks (its own .htaccess
// files keep data/ and conf/ from the web) and a Laravel-style public/
// whose front controller is the stand-in. Letter case does not count on
// Windows: every spelling of a denied name is denied, and -f finds a file in
// any case.
TEST(WindowsApplications, TheirHtaccessFilesHoldInEveryLetterCase) {
  struct Answer {
    std::string url;
    int status;
    std::string mark;  // a line of the body, or a redirect's Location
  };
  const std::vector<Answer> answers = {
      {"/dokuwiki/data/pages/secretpage.txt", 403, ""},
      {"/dokuwiki/DATA/pages/secretpage.txt", 403, ""},
      {"/DokuWiki/Data/Pages/SECRETPAGE.TXT", 403, ""},
      {"/dokuwiki/DATA/", 403, ""},
      {"/dokuwiki/Conf/acronyms.conf", 403, ""},
      {"/dokuwiki/CONF/USERS.AUTH.PHP.DIST", 403, ""},
      {"/dokuwiki/Vendor/composer/installed.json", 403, ""},
      {"/dokuwiki/.HTACCESS", 403, ""},
      {"/dokuwiki/version", 403, ""},
      {"/dokuwiki/DOKU.PHP", 200, "SCRIPT_NAME=/dokuwiki/DOKU.PHP"},
      {"/laravel/public/users/5", 200, "SCRIPT_NAME=/laravel/public/index.php"},
      {"/Laravel/Public/users/5", 200, "REDIRECT_HTTP_AUTHORIZATION=Bearer t0k3n"},
      {"/laravel/public/users/5/", 301, "http://localhost/laravel/public/users/5"},
      {"/laravel/public/CSS/APP.CSS", 200, "body{}"},
      {"/laravel/public/.Htaccess", 403, ""},
  };
  char exe[MAX_PATH] = {};
  const std::string path(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH));
  httptest::TestSite site;
  const auto server = site.StartServer({{"root", path.substr(0, path.find_last_of('\\')) + "\\apps"}});
  ASSERT_TRUE(server->Active());
  for (const Answer& a : answers) {
    SCOPED_TRACE(a.url);
    const Response r = Client(site.port).Request(Get(a.url, "Authorization: Bearer t0k3n\r\n"));
    EXPECT_EQ(r.status, a.status) << r.body.substr(0, 400);
    if (a.status / 100 == 3)
      EXPECT_EQ(r.Header("Location"), a.mark);
    else
      EXPECT_NE((r.body + "\n").find(a.mark + "\n"), std::string::npos) << r.body.substr(0, 400);
  }
}

}  // namespace
