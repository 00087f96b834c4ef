// Real PHP: the console program run from a copy of the assembled tree, with
// the tree's module, php-cgi, extensions and php.ini, spoken to over HTTP.
#include <gtest/gtest.h>

#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <filesystem>
#include <future>
#include <iterator>
#include <set>
#include <random>
#include <thread>

#include "TreeProgram.h"
#include "common/KestroClass.h"

namespace {

using httptest::Client;
using httptest::Get;
using httptest::Response;
using httptest::Unchunked;
using Clock = std::chrono::steady_clock;

void WritePages(const TreeProgram& tree) {
  tree.WritePage("query.php", "<?php echo json_encode($_GET);");
  tree.WritePage("post.php", "<?php echo json_encode($_POST);");
  tree.WritePage("upload.php",
                 "<?php foreach ($_FILES as $k => $f) echo $k, ' ', $f['name'], ' ', $f['size'], ' ',"
                 " $f['error'], ' ', strtoupper(md5_file($f['tmp_name'])), \"\\n\";"
                 " echo 'note ', $_POST['note'];");
  tree.WritePage("session.php",
                 "<?php session_start(); $_SESSION['n'] = ($_SESSION['n'] ?? 0) + 1;"
                 " setcookie('flavour', 'plain'); echo $_SESSION['n'], ' ', $_COOKIE['flavour'] ?? '-';");
  tree.WritePage("folder/index.php",
                 "<?php echo $_SERVER['REQUEST_URI'], '|', $_SERVER['SCRIPT_NAME'], '|',"
                 " $_SERVER['PHP_SELF'], '|', $_SERVER['QUERY_STRING'];");
  tree.WritePage("pi.php",
                 "<?php foreach (['PATH_INFO', 'SCRIPT_NAME', 'PHP_SELF', 'REQUEST_URI',"
                 " 'PATH_TRANSLATED'] as $k) echo $k, '=', $_SERVER[$k] ?? '-', \"\\n\";");
  tree.WritePage("vars.php",
                 "<?php foreach (['CONTENT_LENGTH', 'CONTENT_TYPE', 'PATH_INFO', 'REMOTE_ADDR',"
                 " 'REMOTE_PORT', 'SERVER_ADDR', 'REQUEST_SCHEME', 'HTTP_X_TWICE', 'HTTP_ACCEPT'] as $k)"
                 " echo $k, '=', array_key_exists($k, $_SERVER) ? var_export($_SERVER[$k], true) : '-',"
                 " \"\n\"; echo 'cookies=', json_encode($_COOKIE);");
  tree.WritePage("folder/static.txt", "static");
  tree.WritePage("routed/index.php",
                 "<?php foreach (['REQUEST_METHOD', 'REQUEST_URI', 'SCRIPT_NAME', 'QUERY_STRING',"
                 " 'REDIRECT_URL', 'HTTP_AUTHORIZATION'] as $k) echo $k, '=', $_SERVER[$k] ?? '-', \"\\n\";"
                 " echo 'body=', file_get_contents('php://input');");
  tree.WritePage("routed/.htaccess",
                 "RewriteEngine On\n"
                 "RewriteRule .* - [E=HTTP_AUTHORIZATION:%{HTTP:Authorization}]\n"
                 "RewriteCond %{REQUEST_FILENAME} !-f\n"
                 "RewriteRule ^ index.php [QSA,L]\n");
  tree.WritePage("redirect.php", "<?php header('Location: /query.php?from=redirect');");
  tree.WritePage("gone.php", "<?php http_response_code(404); echo 'gone';");
  tree.WritePage("slow.php", "<?php usleep((int)$_GET['ms'] * 1000); echo getmypid();");
  // Flushed as PHP developers flush past the default output buffer.
  tree.WritePage("flush.php",
                 "<?php echo \"first\\n\"; ob_flush(); flush(); sleep(2); echo \"second\\n\";");
  tree.WritePage("events.php",
                 "<?php header('Content-Type: text/event-stream'); header('Cache-Control: no-cache');"
                 " while (ob_get_level()) ob_end_flush();"
                 " echo \"data: first\\n\\n\"; flush(); sleep(2); echo \"data: second\\n\\n\";");
  tree.WritePage("sized.php",
                 "<?php header('Content-Length: 13'); echo \"first\\n\"; ob_flush(); flush();"
                 " sleep(2); echo \"second\\n\";");
  tree.WritePage("framed.php",
                 "<?php if (isset($_GET['length'])) header('Content-Length: ' . $_GET['length']);"
                 " if (isset($_GET['status'])) header('Status: ' . $_GET['status']);"
                 " echo \"first\\n\"; if (isset($_GET['flush'])) { ob_flush(); flush(); usleep(100000); }"
                 " echo \"second\\n\";");
  tree.WritePage("large.php", "<?php echo str_repeat('0123456789abcdef', (int)$_GET['kb'] * 64);");
  tree.WritePage("status.php",
                 "<?php http_response_code((int)$_GET['code']); echo 'printed anyway';"
                 " if (isset($_GET['flush'])) { ob_flush(); flush(); usleep(200000); echo 'more'; }");
  tree.WritePage("talky.php",
                 "<?php for ($i = 0; $i < 600; ++$i) { echo str_repeat(' ', 8192); flush();"
                 " usleep(100000); }");
  // Sleeps a second, prints a few times, then leaves NAME.after; NAME.shutdown at
  // its end. A client that closed is known to be gone once a write to it fails,
  // the first one after its close having been taken by its system.
  tree.WritePage("finish.php",
                 "<?php $n = __DIR__ . '/' . basename($_GET['name']);"
                 " ignore_user_abort((bool)($_GET['ignore'] ?? 0));"
                 " register_shutdown_function(function () use ($n) {"
                 " file_put_contents(\"$n.shutdown\", connection_status()); });"
                 " sleep(1); for ($i = 0; $i < 5; ++$i)"
                 " { echo str_repeat('y', 100); ob_flush(); flush(); usleep(100000); }"
                 " file_put_contents(\"$n.after\", 'done');");
  tree.WritePage("ext.php",
                 "<?php foreach (['mysqli', 'pdo_mysql', 'mbstring', 'Zend OPcache'] as $e)"
                 " echo $e, '=', extension_loaded($e) ? 1 : 0, ' ';");
}

// An answer as it arrived: every byte, and when each came, in seconds after
// the first one.
struct Arrival {
  std::string raw;
  std::vector<double> at;
  bool closed = false;  // the server closed the connection after it
  std::string Head() const { return raw.substr(0, raw.find("\r\n\r\n") + 2); }
  std::string Body() const { return raw.substr(std::min(raw.size(), raw.find("\r\n\r\n") + 4)); }
  bool HeadHas(const std::string& line) const {
    return Head().find("\r\n" + line + "\r\n") != std::string::npos;
  }
  double When(const std::string& text) const {
    const std::size_t i = raw.find(text);
    return i == std::string::npos ? -1 : at[i + text.size() - 1];
  }
};

// Sends `request` (then, with `halfClose`, shuts the sending side) and reads
// until `last` has come and the server then closed or stayed silent.
Arrival ReadTimed(int port, const std::string& request, const std::string& last,
                  bool halfClose = false) {
  Arrival a;
  const platform::SocketHandle s = platform::Connect("127.0.0.1", port);
  if (!s) return a;
  platform::SendAll(s, request.data(), request.size());
  if (halfClose) ::shutdown(static_cast<int>(s), SHUT_WR);
  Clock::time_point first{};
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  char buffer[65536];
  while (Clock::now() < deadline) {
    const bool done = a.raw.find(last) != std::string::npos;
    if (!platform::WaitReadable(s, done ? 300'000 : 1'000'000)) {
      if (done) break;
      continue;
    }
    const long n = platform::Recv(s, buffer, sizeof buffer);
    if (n <= 0) {
      a.closed = true;
      break;
    }
    const auto now = Clock::now();
    if (a.raw.empty()) first = now;
    a.raw.append(buffer, static_cast<std::size_t>(n));
    a.at.resize(a.raw.size(), std::chrono::duration<double>(now - first).count());
  }
  platform::CloseSocket(s);
  return a;
}

class RealPhpTest : public SharedTreeTest<RealPhpTest> {
 public:
  static void Prepare(const TreeProgram& tree) { WritePages(tree); }
};

TEST_F(RealPhpTest, TheTreesExtensionsAreLoaded) {
  EXPECT_EQ(Ask(Get("/ext.php")).body, "mysqli=1 pdo_mysql=1 mbstring=1 Zend OPcache=1 ");
}

TEST_F(RealPhpTest, QueryReachesGet) {
  const Response r = Ask(Get("/query.php?a=1&b=x%20y"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("Server"), "Portavane/6.29");
  EXPECT_EQ(r.body, R"({"a":"1","b":"x y"})");
}

TEST_F(RealPhpTest, UrlencodedPostReachesPost) {
  const std::string body = "name=Ann+Lee&city=%E5%8C%97%E4%BA%AC";
  const Response r = Ask("POST /post.php HTTP/1.1\r\nHost: localhost\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, R"({"name":"Ann Lee","city":"\u5317\u4eac"})");
}

TEST_F(RealPhpTest, MultipartUploadOfSeveralMegabytesArrivesWhole) {
  std::mt19937 random(7);
  std::string file(5 * 1024 * 1024 + 123, '\0');
  for (char& c : file) c = static_cast<char>(random());
  const std::string boundary = "----pvboundary7MA4YWxkTrZu0gW";
  const std::string body = "--" + boundary +
                           "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n--" +
                           boundary +
                           "\r\nContent-Disposition: form-data; name=\"data\"; filename=\"blob.bin\"\r\n"
                           "Content-Type: application/octet-stream\r\n\r\n" +
                           file + "\r\n--" + boundary + "--\r\n";
  Client client(tree_->port);
  // Like curl: the head with Expect, the body after the interim answer.
  client.Send("POST /upload.php HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\n"
              "Content-Type: multipart/form-data; boundary=" + boundary +
              "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
  EXPECT_EQ(client.Read(true).status, 100);
  client.Send(body);
  const Response r = client.Read(false, std::chrono::seconds(20));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "data blob.bin " + std::to_string(file.size()) + " 0 " + TKestro::Md5Hex(file) +
                        "\nnote hello");
}

// The tree's php.ini sets post_max_size = 64M: a longer body is refused
// before the client is told to send it.
TEST_F(RealPhpTest, BodyPastPostMaxSizeIsRefusedBeforeItIsSent) {
  Client client(tree_->port);
  const Response r = client.Request("POST /upload.php HTTP/1.1\r\nHost: localhost\r\n"
                                    "Expect: 100-continue\r\nContent-Length: 300000000\r\n\r\n");
  EXPECT_EQ(r.status, 413);  // and no 100 before it
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(3)));
}

TEST_F(RealPhpTest, SessionAndCookiesLastAcrossRequests) {
  const Response first = Ask(Get("/session.php"));
  EXPECT_EQ(first.body, "1 -");
  std::string cookies;
  for (const auto& header : first.headers)
    if (header.first == "Set-Cookie")
      cookies += (cookies.empty() ? "" : "; ") + header.second.substr(0, header.second.find(';'));
  EXPECT_NE(cookies.find("PHPSESSID="), std::string::npos) << cookies;
  EXPECT_NE(cookies.find("flavour=plain"), std::string::npos) << cookies;
  EXPECT_EQ(Ask(Get("/session.php", "Cookie: " + cookies + "\r\n")).body, "2 plain");
}

TEST_F(RealPhpTest, FolderUrlIsTheRequestUriOfItsIndexPage) {
  const Response r = Ask(Get("/folder/?x=1"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "/folder/?x=1|/folder/index.php|/folder/index.php|x=1");
}

// Front controllers route on the path after the script, as every server
// a developer could pick runs them.
TEST_F(RealPhpTest, PathAfterTheScriptIsPathInfo) {
  const std::string root = tree_->Root() + "/www";
  struct Case {
    const char* target;
    int status;
    std::string expected;  // the page's lines
  } cases[] = {
      {"/pi.php/foo/bar?a=1", 200,
       "PATH_INFO=/foo/bar\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/foo/bar\n"
       "REQUEST_URI=/pi.php/foo/bar?a=1\nPATH_TRANSLATED=" + root + "/foo/bar\n"},
      {"/pi.php/2024/hello/", 200,
       "PATH_INFO=/2024/hello/\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/2024/hello/\n"
       "REQUEST_URI=/pi.php/2024/hello/\nPATH_TRANSLATED=" + root + "/2024/hello/\n"},
      {"/pi.php/a%20b", 200,
       "PATH_INFO=/a b\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/a b\nREQUEST_URI=/pi.php/a%20b\n"
       "PATH_TRANSLATED=" + root + "/a b\n"},
      {"/pi.php", 200,
       "PATH_INFO=-\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php\nREQUEST_URI=/pi.php\nPATH_TRANSLATED=-\n"},
      // Colons and trailing dots name no file after the script.
      {"/pi.php/wiki:syntax", 200,
       "PATH_INFO=/wiki:syntax\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/wiki:syntax\n"
       "REQUEST_URI=/pi.php/wiki:syntax\nPATH_TRANSLATED=" + root + "/wiki:syntax\n"},
      {"/pi.php/v1.", 200,
       "PATH_INFO=/v1.\nSCRIPT_NAME=/pi.php\nPHP_SELF=/pi.php/v1.\n"
       "REQUEST_URI=/pi.php/v1.\nPATH_TRANSLATED=" + root + "/v1.\n"},
      {"/folder/static.txt/more", 404, ""},
      {"/pi.php/.", 404, ""},
      {"/pi.php/x/../../secret", 404, ""},
  };
  for (const Case& c : cases) {
    const Response r = Ask(Get(c.target));
    EXPECT_EQ(r.status, c.status) << c.target;
    if (c.status == 200) EXPECT_EQ(r.body, c.expected) << c.target;
  }
}

// The variables as Apache with mod_php gives them to the same page: those
// without a value left out, a repeated header joined. Two Cookie lines are
// one list of pairs (Apache joins them with ", ", which PHP reads as part
// of the first cookie's value).
TEST_F(RealPhpTest, VariablesAreThoseApacheGives) {
  const std::string none = "CONTENT_LENGTH=-\nCONTENT_TYPE=-\nPATH_INFO=-\n";
  const std::string plain =
      "SERVER_ADDR='127.0.0.1'\nREQUEST_SCHEME='http'\nHTTP_X_TWICE=-\nHTTP_ACCEPT=-\ncookies=[]";
  struct Case {
    const char* address;
    std::string request;
    std::string body, expected;  // expected: the page's lines up to REMOTE_PORT's; then after it
    std::string rest;
  } cases[] = {
      {"127.0.0.1", Get("/vars.php"), "", none + "REMOTE_ADDR='127.0.0.1'\n", plain},
      {"::1",
       Get("/vars.php/a/b", "X-Twice: one\r\nAccept: a/b\r\nX-Twice: two\r\naccept: c/d\r\n"
                            "Cookie: a=1\r\nCookie: b=2\r\n"),
       "", "CONTENT_LENGTH=-\nCONTENT_TYPE=-\nPATH_INFO='/a/b'\nREMOTE_ADDR='::1'\n",
       "SERVER_ADDR='::1'\nREQUEST_SCHEME='http'\nHTTP_X_TWICE='one, two'\n"
       "HTTP_ACCEPT='a/b, c/d'\ncookies={\"a\":\"1\",\"b\":\"2\"}"},
      {"127.0.0.1",
       Get("/vars.php", "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n",
           "POST"),
       "x=1", "CONTENT_LENGTH='3'\nCONTENT_TYPE='application/x-www-form-urlencoded'\nPATH_INFO=-\n"
       "REMOTE_ADDR='127.0.0.1'\n", plain},
      {"127.0.0.1", Get("/vars.php", "Content-Length: 0\r\n", "POST"), "",
       "CONTENT_LENGTH='0'\nCONTENT_TYPE=-\nPATH_INFO=-\nREMOTE_ADDR='127.0.0.1'\n", plain},
  };
  for (const Case& c : cases) {
    Client client(tree_->port, c.address);
    ASSERT_TRUE(client.Connected()) << c.address;
    const Response r = client.Request(c.request + c.body);
    EXPECT_EQ(r.body, c.expected + "REMOTE_PORT='" + std::to_string(client.LocalPort()) + "'\n" + c.rest)
        << c.request;
  }
}

// Every method reaches a script with its body, through a folder's front
// controller too: the URI as the client sent it, the rules' variables beside.
TEST_F(RealPhpTest, AnyMethodReachesTheScriptThroughTheFoldersRules) {
  struct Case {
    const char* method;
    const char* target;
    std::string body, query, redirectUrl;
  } cases[] = {
      {"PUT", "/routed/items/5?v=2", "{\"a\":1}", "v=2", "/routed/items/5"},
      {"PATCH", "/routed/items/5", "x=1", "", "/routed/items/5"},
      {"DELETE", "/routed/index.php", "", "", "-"},
      {"OPTIONS", "/routed/api", "", "", "/routed/api"},
  };
  for (const Case& c : cases) {
    const std::string extra = "Authorization: Bearer t\r\nContent-Length: " +
                              std::to_string(c.body.size()) + "\r\n";
    const Response r = Ask(Get(c.target, extra, c.method) + c.body);
    EXPECT_EQ(r.status, 200) << c.method << " " << c.target;
    EXPECT_EQ(r.body, std::string("REQUEST_METHOD=") + c.method + "\nREQUEST_URI=" + c.target +
                          "\nSCRIPT_NAME=/routed/index.php\nQUERY_STRING=" + c.query +
                          "\nREDIRECT_URL=" + c.redirectUrl +
                          "\nHTTP_AUTHORIZATION=Bearer t\nbody=" + c.body)
        << c.method << " " << c.target;
  }
}

TEST_F(RealPhpTest, LocationHeaderAndResponseCode) {
  const Response moved = Ask(Get("/redirect.php"));
  EXPECT_EQ(moved.status, 302);
  EXPECT_EQ(moved.Header("Location"), "/query.php?from=redirect");
  const Response gone = Ask(Get("/gone.php"));
  EXPECT_EQ(gone.status, 404);
  EXPECT_EQ(gone.body, "gone");
}

TEST_F(RealPhpTest, HeadAnswersWithoutBody) {
  Client client(tree_->port);
  const Response r = client.Request(Get("/query.php?a=1", "Connection: keep-alive\r\n", "HEAD"), true);
  EXPECT_EQ(r.status, 200);
  EXPECT_NE(r.Header("Content-Type").find("text/html"), std::string::npos);
  EXPECT_TRUE(client.SilentFor(std::chrono::milliseconds(300)));  // no body bytes follow
  EXPECT_EQ(client.Request(Get("/query.php?b=2")).body, R"({"b":"2"})");
}

// What PHP flushed reaches the client while the script still runs; an answer
// of unknown length is chunked for HTTP/1.1 on a connection that stays, and
// ends with the close for HTTP/1.0; one that ends before any flush keeps its
// length. Values as Apache with mod_php answers.
TEST_F(RealPhpTest, OutputArrivesAsPhpFlushesIt) {
  const std::string keep = "Connection: keep-alive\r\n";
  const std::string large(1024 * 1024, 'x');
  struct Case {
    const char* what;
    std::string request;
    const char* framing;    // the head's line that frames the body; "" none
    bool stays;             // the connection stays open after the answer
    std::string body;       // as decoded
    const char* later;      // arrives at least 1.5 s after the first byte; "" none
  } cases[] = {
      {"a flush, a pause, more: HTTP/1.1", Get("/flush.php", keep), "Transfer-Encoding: chunked",
       true, "first\nsecond\n", "second"},
      {"Server-Sent Events", Get("/events.php", keep), "Transfer-Encoding: chunked", true,
       "data: first\n\ndata: second\n\n", "data: second"},
      {"a flush, a pause, more: HTTP/1.0",
       "GET /flush.php HTTP/1.0\r\nHost: localhost\r\n" + keep + "\r\n", "", false,
       "first\nsecond\n", "second"},
      {"PHP's own length", Get("/sized.php", keep), "Content-Length: 13", true, "first\nsecond\n",
       "second"},
      {"a small page", Get("/query.php?a=1", keep), "Content-Length: 9", true, R"({"a":"1"})", ""},
      {"a megabyte, no flush", Get("/large.php?kb=1024", keep), "Transfer-Encoding: chunked",
       true, std::string(), ""},
  };
  for (const Case& c : cases) {
    const bool chunked = std::string(c.framing).find("chunked") != std::string::npos;
    const Arrival a = ReadTimed(tree_->port, c.request, chunked ? "\r\n0\r\n\r\n" : c.body.empty() ? "\r\n\r\n" : c.body);
    EXPECT_EQ(a.raw.compare(0, 15, "HTTP/1.1 200 OK"), 0) << c.what << "\n" << a.raw;
    if (*c.framing) EXPECT_TRUE(a.HeadHas(c.framing)) << c.what << "\n" << a.Head();
    if (!chunked) EXPECT_EQ(a.Head().find("Transfer-Encoding"), std::string::npos) << c.what;
    if (!*c.framing) EXPECT_EQ(a.Head().find("Content-Length"), std::string::npos) << c.what;
    EXPECT_TRUE(a.HeadHas(c.stays ? "Connection: Keep-Alive" : "Connection: close")) << c.what;
    EXPECT_EQ(a.closed, !c.stays) << c.what;
    const std::string body = chunked ? Unchunked(a.Body()) : a.Body();
    if (c.body.empty())
      EXPECT_EQ(body.size(), 1024u * 1024u) << c.what;
    else
      EXPECT_EQ(body, c.body) << c.what;
    if (*c.later) {
      EXPECT_LT(a.When("first"), 0.5) << c.what;
      EXPECT_GT(a.When(c.later), 1.5) << c.what;
    }
  }
}

// The client is told the length it gets, whatever PHP declared: a page
// done before any flush goes with its real length, and the request behind
// it on the connection is answered intact; a streamed one held to a wrong
// length of PHP's ends with the connection. A bad Status is not passed on.
// Values as Apache with mod_php answers.
TEST_F(RealPhpTest, PhpsFramingHeadersNeverMisleadTheClient) {
  const struct {
    const char* query;
    int status;
    const char* length;  // the answer's Content-Length
    const char* body;
    bool stays;          // the pipelined request behind it is answered
  } cases[] = {
      {"length=5", 200, "13", "first\nsecond\n", true},
      {"length=100", 200, "13", "first\nsecond\n", true},
      {"length=abc", 200, "13", "first\nsecond\n", true},
      {"length=-1", 200, "13", "first\nsecond\n", true},
      {"status=abc%20def", 200, "13", "first\nsecond\n", true},
      {"status=999%20Big", 200, "13", "first\nsecond\n", true},
      {"status=404%20Gone", 404, "13", "first\nsecond\n", true},
      {"length=13&flush=1", 200, "13", "first\nsecond\n", true},
      {"length=5&flush=1", 200, "5", "first", false},
      {"length=100&flush=1", 200, "100", "first\nsecond\n", false},
  };
  for (const auto& c : cases) {
    Client client(tree_->port);
    ASSERT_TRUE(client.Send(Get(std::string("/framed.php?") + c.query, "Connection: keep-alive\r\n") +
                            Get("/query.php?next=1")));
    const Response r = client.Read(false, std::chrono::seconds(5));
    EXPECT_EQ(r.status, c.status) << c.query;
    EXPECT_EQ(r.Header("Content-Length"), c.length) << c.query;
    EXPECT_EQ(r.Header("Date").size(), 29u) << c.query;
    EXPECT_EQ(r.body.substr(0, 13), c.body) << c.query;
    if (c.stays)
      EXPECT_EQ(client.Read().body, R"({"next":"1"})") << c.query;
    else
      EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2))) << c.query;
  }
  std::ifstream log(tree_->Root() + "/log/php_errors.log");
  const std::string logged(std::istreambuf_iterator<char>(log), {});
  EXPECT_NE(logged.find("/framed.php: header \"Status: abc def\" not sent"), std::string::npos) << logged;
}

// 1xx, 204 and 304 answers and every answer to HEAD end with their head,
// whatever the script printed: no body, no chunks, no length for 204. The
// same connection then serves the next request.
TEST_F(RealPhpTest, BodylessAnswersCarryNoBody) {
  struct Case {
    const char* method;
    const char* target;
    int status;
  } cases[] = {
      {"GET", "/status.php?code=204", 204},       {"GET", "/status.php?code=304", 304},
      {"GET", "/status.php?code=204&flush=1", 204}, {"GET", "/status.php?code=304&flush=1", 304},
      {"HEAD", "/status.php?code=200", 200},      {"HEAD", "/status.php?code=200&flush=1", 200},
      {"HEAD", "/flush.php", 200},               {"HEAD", "/status.php?code=404", 404},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.method) + " " + c.target;
    Client client(tree_->port);
    const Response r =
        client.Request(Get(c.target, "Connection: keep-alive\r\n", c.method), true);
    EXPECT_EQ(r.status, c.status) << what;
    EXPECT_EQ(r.Header("Transfer-Encoding"), "") << what;
    if (c.status == 204) EXPECT_EQ(r.Header("Content-Length"), "") << what;
    EXPECT_EQ(r.Header("Connection"), "Keep-Alive") << what;
    EXPECT_TRUE(client.SilentFor(std::chrono::milliseconds(300))) << what;
    EXPECT_EQ(client.Request(Get("/query.php?n=2")).body, R"({"n":"2"})") << what;
  }
}

// A client that sends its request and shuts its sending side, as some
// tools do, still reads its whole answer, also one that takes seconds.
TEST_F(RealPhpTest, HalfClosedClientGetsItsAnswer) {
  const struct {
    const char* target;
    std::string body;
  } cases[] = {{"/query.php?half=1", R"({"half":"1"})"}, {"/flush.php", "first\nsecond\n"}};
  for (const auto& c : cases) {
    const Arrival a = ReadTimed(tree_->port, Get(c.target), c.body, true);
    EXPECT_EQ(a.raw.compare(0, 15, "HTTP/1.1 200 OK"), 0) << c.target << a.raw;
    EXPECT_EQ(a.HeadHas("Transfer-Encoding: chunked") ? Unchunked(a.Body()) : a.Body(), c.body)
        << c.target;
  }
}

TEST_F(RealPhpTest, KeepAliveConnectionServesTwoPhpRequests) {
  Client client(tree_->port);
  const Response first = client.Request(Get("/query.php?n=1", "Connection: keep-alive\r\n"));
  EXPECT_EQ(first.Header("Connection"), "Keep-Alive");
  EXPECT_EQ(first.body, R"({"n":"1"})");
  const Response second = client.Request(Get("/query.php?n=2", "Connection: keep-alive\r\n"));
  EXPECT_EQ(second.body, R"({"n":"2"})");
  const Response last = client.Request(Get("/query.php?n=3"));  // no keep-alive asked
  EXPECT_EQ(last.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedWithin(std::chrono::seconds(2)));
}

TEST_F(RealPhpTest, SlowPagesRunSideBySide) {
  constexpr int kPages = 10;
  constexpr int kMs = 1000;
  const auto start = Clock::now();
  std::vector<std::future<Response>> pages;
  for (int i = 0; i < kPages; ++i)
    pages.push_back(std::async(std::launch::async, [] {
      Client client(tree_->port);
      client.Send(Get("/slow.php?ms=" + std::to_string(kMs)));
      return client.Read(false, std::chrono::seconds(30));
    }));
  for (auto& page : pages) EXPECT_EQ(page.get().status, 200);
  const auto elapsed = Clock::now() - start;
  // Eight processes by default: about two rounds, far from ten in a row.
  EXPECT_LT(elapsed, std::chrono::milliseconds(kPages * kMs * 6 / 10));
}

// A program of its own: these end php-cgi processes and the program.
class PhpProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TreeProgram::AssembledTree().empty()) GTEST_SKIP() << "no assembled tree: run make tree";
    WritePages(tree);
    ASSERT_TRUE(tree.Start()) << tree.Output();
    ASSERT_EQ(Client(tree.port).Request(Get("/query.php?warm=1")).status, 200);
  }
  void ExpectAllGone(const std::vector<pid_t>& processes) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (pid_t pid : processes) {
      while (!ProcessGone(pid) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_TRUE(ProcessGone(pid)) << "php-cgi " << pid << " is left";
    }
  }
  TreeProgram tree;
};

TEST_F(PhpProcessTest, KilledPhpGivesBadGatewayAndTheNextRequestWorks) {
  Client client(tree.port);
  client.Send(Get("/slow.php?ms=5000"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::vector<pid_t> processes = tree.PhpCgiProcesses();
  ASSERT_FALSE(processes.empty());
  for (pid_t pid : processes) kill(pid, SIGKILL);
  // Dead, not dying: one that still holds its kept connection takes a request down with it.
  ExpectAllGone(processes);
  const Response r = client.Read(false, std::chrono::seconds(10));
  EXPECT_EQ(r.status, 502);
  EXPECT_EQ(r.Header("Connection"), "close");
  EXPECT_NE(r.body.find("502 Bad Gateway"), std::string::npos);
  EXPECT_EQ(Client(tree.port).Request(Get("/query.php?after=1")).body, R"({"after":"1"})");
}

// Every php-cgi busy with a page that sleeps a minute, and one more page
// waiting for a process: the module's waits end with the program.
TEST_F(PhpProcessTest, QuittingWhileEveryPhpProcessIsBusyTakesSeconds) {
  constexpr int kPages = 17;  // the pool's processes and one
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kPages; ++i) {
    clients.push_back(std::make_unique<Client>(tree.port));
    clients.back()->Send(Get("/slow.php?ms=60000"));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::vector<pid_t> busy = tree.PhpCgiProcesses();
  EXPECT_GE(busy.size(), 16u);
  const auto start = Clock::now();
  EXPECT_TRUE(tree.Quit());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  ExpectAllGone(busy);
}

// Sixteen connections and one more, each holding a request that PHP would
// wait on: none of them keeps PHP from answering the next page at once.
TEST_F(PhpProcessTest, ClientsThatLeaveOrStallHoldNoPhpProcess) {
  constexpr int kClients = 17;
  struct Abuse {
    const char* what;
    std::string request;
    bool leaves;  // the client closes at once; else it stays, silent
  } abuses[] = {
      {"a body announced and abandoned",
       "POST /post.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000\r\n\r\na=1", true},
      {"a body that stalls",
       "POST /post.php HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\na", false},
      {"a chunked body that stalls",
       "POST /post.php HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n10\r\na", false},
      // A plain close is a half-close to the server until the page's output fails.
      {"a page that prints while it runs, whose client left", Get("/talky.php"), true},
  };
  for (const Abuse& abuse : abuses) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.push_back(std::make_unique<Client>(tree.port));
      clients.back()->Send(abuse.request);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (abuse.leaves) clients.clear();
    const auto start = Clock::now();
    const Response r = Client(tree.port).Request(Get("/query.php?next=1"));
    EXPECT_EQ(r.body, R"({"next":"1"})") << abuse.what;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << abuse.what;
  }
}

// A client that takes a PHP answer too slowly holds its php-cgi no longer
// than a static file's send time-out (nothing taken for 30 s) or the PHP
// request time-out, whichever comes first. With one process, the next
// request shows when it is free.
TEST_F(PhpProcessTest, SlowReadersHoldPhpNoLongerThanTheTimeOuts) {
  struct Case {
    const char* what;
    int requestTimeout;
    int bytesPerSecond;  // what the client reads; 0 nothing
    int nextAfterSeconds;
    int freedWithinSeconds;
  } cases[] = {
      {"a client that never reads", 120, 0, 1, 40},
      {"a client reading 300 bytes a second", 6, 300, 3, 10},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(tree.Quit());
    std::ofstream(tree.Root() + "/php/phpisapi.ini")
        << "processes = 1\nmin_processes = 1\nrequest_timeout = " << c.requestTimeout << "\n";
    ASSERT_TRUE(tree.Start()) << tree.Output();
    const auto start = Clock::now();
    std::atomic<bool> stop{false};
    std::thread reader([&] {
      const int s = ::socket(AF_INET, SOCK_STREAM, 0);
      // A small window, so the window updates of a slow reader come often
      // (on loopback a large one opens only every 64 KB read).
      const int small = 4096;
      ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
      sockaddr_in server{};
      server.sin_family = AF_INET;
      server.sin_port = htons(static_cast<std::uint16_t>(tree.port));
      server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::connect(s, reinterpret_cast<const sockaddr*>(&server), sizeof server);
      const std::string request = Get("/large.php?kb=16384", "Connection: keep-alive\r\n");
      platform::SendAll(s, request.data(), request.size());
      char buffer[30];
      while (!stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (c.bytesPerSecond > 0) platform::Recv(s, buffer, c.bytesPerSecond / 10, false);
      }
      platform::CloseSocket(s);
    });
    std::this_thread::sleep_for(std::chrono::seconds(c.nextAfterSeconds));
    Client next(tree.port);
    next.Send(Get("/query.php?next=1"));
    const Response r = next.Read(false, std::chrono::seconds(c.freedWithinSeconds + 10));
    const auto freed = Clock::now() - start;
    stop = true;
    reader.join();
    EXPECT_EQ(r.body, R"({"next":"1"})") << c.what;
    EXPECT_LT(freed, std::chrono::seconds(c.freedWithinSeconds)) << c.what;
  }
}

// A client that leaves mid-request: PHP is told, and ends the request by its
// own rules as under Apache: an upload leaves nothing in tmp/, a script that
// ignores user aborts finishes, one that doesn't stops at its next output
// (its shutdown functions run all the same).
TEST_F(PhpProcessTest, AClientThatLeavesLetsPhpEndTheRequestByItsOwnRules) {
  namespace fs = std::filesystem;
  const fs::path www = fs::path(tree.Root()) / "www", tmp = fs::path(tree.Root()) / "tmp";
  const auto inTmp = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(tmp)) names.insert(entry.path().filename());
    return names;
  };
  const std::string boundary = "b0undary";
  const std::string upload =
      "POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=" +
      boundary + "\r\nContent-Length: 20971520\r\n\r\n--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n\r\n" +
      std::string(5 << 20, 'u');
  const struct {
    const char* what;
    std::string request;
    std::vector<std::string> appear, never;  // files in www/
  } cases[] = {
      {"a 20 MB upload abandoned after 5 MB", upload, {}, {}},
      {"a script that ignores user aborts", Get("/finish.php?name=kept&ignore=1"),
       {"kept.after", "kept.shutdown"}, {}},
      {"a script that does not", Get("/finish.php?name=stopped"), {"stopped.shutdown"},
       {"stopped.after"}},
  };
  for (const auto& c : cases) {
    const std::set<std::string> before = inTmp();
    {
      Client client(tree.port);
      client.Send(c.request);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }  // the client leaves
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (const std::string& name : c.appear) {
      while (!fs::exists(www / name) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_TRUE(fs::exists(www / name)) << c.what << ": " << name;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    for (const std::string& name : c.never) EXPECT_FALSE(fs::exists(www / name)) << c.what;
    EXPECT_EQ(inTmp(), before) << c.what;
    // The process is back: the next page runs at once.
    const auto start = Clock::now();
    EXPECT_EQ(Client(tree.port).Request(Get("/query.php?next=1")).body, R"({"next":"1"})");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << c.what;
  }
}

TEST_F(PhpProcessTest, NoPhpProcessOutlivesTheProgram) {
  // The pool's php-cgi, started on the first request, and its 16 children.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (tree.PhpCgiProcesses().size() < 17 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::vector<pid_t> processes = tree.PhpCgiProcesses();
  EXPECT_EQ(processes.size(), 17u);
  EXPECT_TRUE(tree.Quit());
  ExpectAllGone(processes);
}

TEST_F(PhpProcessTest, NoPhpProcessOutlivesAKilledProgram) {
  const std::vector<pid_t> processes = tree.PhpCgiProcesses();
  ASSERT_FALSE(processes.empty());
  tree.Kill();
  ExpectAllGone(processes);
}

}  // namespace
