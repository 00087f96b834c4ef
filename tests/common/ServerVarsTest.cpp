// The server variables as the worker and the PHP module read them.
#include <gtest/gtest.h>

#include "common/KestroClass.h"
#include "platform/Files.h"

namespace {

const char kHead[] =
    "GET /dir/page.php?id=3&x=%41 HTTP/1.1\r\n"
    "Host: localhost:8080\r\n"
    "User-Agent: TestAgent/1.0\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cookie: a=1\r\n"
    "cookie: b=2\r\n"
    "Connection: keep-alive\r\n"
    "If-Modified-Since: Sun, 6 Nov 1994 08:49:37 GMT\r\n"
    "If-None-Match: \"0123ABCD\"\r\n"
    "Unless-Modified-Since: Mon, 7 Nov 1994 08:49:37 GMT\r\n"
    "If-Range:  \"FEDC\" \r\n"
    "Range: bytes=500-999\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Length: 12";

std::string Var(const std::string& name, const std::string& head = kHead,
                const std::string& root = "/srv/www") {
  return TKestro::GetServerVar(name, head, root, "Portavane/6.29", "10.0.0.7", "8080");
}

std::string Line(const std::string& requestLine) { return requestLine + "\r\nHost: h"; }

std::string Native(const std::string& path) {
  return platform::PathDelim == '/' ? TKestro::ToForwardSlashes(path)
                                    : TKestro::ToBackslashPath(path);
}

TEST(ServerVars, ScriptPathAndItsSynonyms) {
  EXPECT_EQ(Var("SCRIPT_NAME", Line("GET /index.php HTTP/1.1")), "/index.php");
  for (const char* name : {"SCRIPT_NAME", "REQUEST_URI", "URL", "PATH_INFO"})
    EXPECT_EQ(Var(name), "/dir/page.php") << name;
  EXPECT_EQ(Var("QUERY_STRING"), "id=3&x=%41");
  EXPECT_EQ(Var("QUERY_STRING", Line("GET /a.php HTTP/1.1")), "");
  EXPECT_EQ(Var("SCRIPT_NAME", Line("GET /a.php http/1.0")), "/a.php");
}

TEST(ServerVars, RawTargetIsHttpUrl) {
  EXPECT_EQ(Var("HTTP_URL"), "/dir/page.php?id=3&x=%41");
  EXPECT_EQ(Var("HTTP_URL", Line("GET /a%20b.php?q=%41 HTTP/1.1")), "/a%20b.php?q=%41");
}

TEST(ServerVars, ScriptPathDecoding) {
  EXPECT_EQ(Var("URL", Line("GET /a+b%20c.php HTTP/1.1")), "/a+b c.php");  // a plus in a path
  EXPECT_EQ(Var("URL", Line("GET /a%2Bb.php HTTP/1.1")), "/a+b.php");
  EXPECT_EQ(Var("URL", Line("GET /a%00b%zzc%4 HTTP/1.1")), "/abc\x04");
  EXPECT_EQ(Var("URL", Line("GET /ab% HTTP/1.1")), "/ab");
  EXPECT_EQ(Var("URL", Line("GET /ab%0 HTTP/1.1")), "/ab");
  EXPECT_EQ(Var("URL", Line("GET /%41%62%2f HTTP/1.1")), "/Ab/");
  EXPECT_EQ(Var("URL", Line("GET /a%3Fb.php?q HTTP/1.1")), "/a?b.php");
}

TEST(ServerVars, Utf8PathsBecomeFileNames) {
  // "t你.php" sent as UTF-8; on Windows the code page holds or lacks the
  // character, so only the surrounding bytes are sure.
  std::string path = Var("URL", Line("GET /a%20b/t%E4%BD%A0.php?x=1 HTTP/1.1"));
  if (platform::PathDelim == '/') {
    EXPECT_EQ(path, "/a b/t\xE4\xBD\xA0.php");
  } else {
    EXPECT_EQ(path.substr(0, 6), "/a b/t");
    EXPECT_EQ(path.substr(path.size() - 4), ".php");
    EXPECT_NE(path, "/a b/t\xE4\xBD\xA0.php");
  }
  EXPECT_EQ(Var("QUERY_STRING", Line("GET /a%20b/t%E4%BD%A0.php?x=1 HTTP/1.1")), "x=1");
}

TEST(ServerVars, LenientUtf8Test) {
  // Not UTF-8: a group cut off by the end, a further byte of another form.
  // A group spelling the character 0 fails too, so no NUL enters a file name.
  for (const char* text : {"\xE4\xBD", "a\xC4", "\xE4\x41\xA0", "\xC4\xC4", "a.php\xC0\x80.txt"})
    EXPECT_EQ(TKestro::Utf8ToAnsiIfValid(text), text);
  // Code-936 bytes of "你" (C4 E3) do not pass and are kept as they came.
  EXPECT_EQ(Var("URL", Line("GET /%C4%E3.txt HTTP/1.1")), "/\xC4\xE3.txt");
  EXPECT_EQ(TKestro::Utf8ToAnsiIfValid(""), "");
  EXPECT_EQ(TKestro::Utf8ToAnsiIfValid("plain.txt"), "plain.txt");
  // Passing leniently: "é" and an overlong form (C1 81 is 'A' by arithmetic).
  std::string accented = TKestro::Utf8ToAnsiIfValid("caf\xC3\xA9");
  EXPECT_EQ(accented.substr(0, 3), "caf");
  EXPECT_EQ(TKestro::Utf8ToAnsiIfValid("\xC1\x81"),
            platform::PathDelim == '/' ? std::string("\xC1\x81") : std::string("A"));
}

TEST(ServerVars, PathsInTheRoot) {
  EXPECT_EQ(Var("PATH_TRANSLATED", Line("GET /sub/a.php HTTP/1.1"), "C:\\site\\www"),
            Native("C:\\site\\www\\sub\\a.php"));
  EXPECT_EQ(Var("PATH_TRANSLATED", Line("GET //sub//a.php HTTP/1.1"), "/srv/www/"),
            Native("/srv/www/sub/a.php"));
  EXPECT_EQ(Var("APPL_PHYSICAL_PATH", kHead, "D:"), Native("D:\\"));
  EXPECT_EQ(Var("APPL_PHYSICAL_PATH", kHead, "/srv/www"), Native("/srv/www/"));
}

TEST(ServerVars, HeadersByLine) {
  EXPECT_EQ(Var("HTTP_COOKIE"), "a=1; b=2");  // two Cookie lines are one list of pairs
  EXPECT_EQ(Var("CONTENT_LENGTH"), "12");
  EXPECT_EQ(Var("CONTENT_TYPE"), "text/plain");
  std::string bare = "POST /f.php HTTP/1.1";
  EXPECT_EQ(Var("CONTENT_LENGTH", bare), "");  // no body: PHP sees no CONTENT_LENGTH
  EXPECT_EQ(Var("CONTENT_LENGTH", bare + "\r\nContent-Length: 0"), "0");
  EXPECT_EQ(Var("CONTENT_TYPE", bare), "");
  EXPECT_EQ(Var("HTTP_COOKIE", bare), "");
  // The name is compared in any case; the request line never counts.
  EXPECT_EQ(Var("CONTENT_TYPE", "GET /Content-Type:x HTTP/1.1\r\ncontent-TYPE:  a/b  "), "a/b");
  EXPECT_EQ(Var("CONTENT_TYPE", "GET /Content-Type:x HTTP/1.1"), "");
}

TEST(ServerVars, AllHttp) {
  EXPECT_EQ(Var("ALL_HTTP", "GET / HTTP/1.1\r\nHost: localhost:8080\r\nAccept-Language: zh-cn"),
            "HTTP_HOST:localhost:8080\r\nHTTP_ACCEPT_LANGUAGE:zh-cn\r\n");
  EXPECT_EQ(Var("ALL_HTTP", "GET / HTTP/1.1"), "");
  EXPECT_NE(Var("ALL_HTTP").find("HTTP_USER_AGENT:TestAgent/1.0\r\n"), std::string::npos);
  EXPECT_EQ(Var("HTTP_USER_AGENT"), "");
  EXPECT_EQ(Var("HTTP_HOST"), "");
  // An underscored name would reach PHP as the same variable as a dashed one.
  EXPECT_EQ(Var("ALL_HTTP", "GET / HTTP/1.1\r\nX-Dup: a\r\nX_Dup: b"), "HTTP_X_DUP:a\r\n");
  // A header sent twice is one line in the place of the first, its values
  // joined; PHP would keep only the last of two lines.
  EXPECT_EQ(Var("ALL_HTTP", "GET / HTTP/1.1\r\nAccept: a/b\r\nHost: h\r\naccept: c/d\r\n"
                            "Cookie: x=1\r\nCOOKIE: y=2\r\nAccept: e/f"),
            "HTTP_ACCEPT:a/b, c/d, e/f\r\nHTTP_HOST:h\r\nHTTP_COOKIE:x=1; y=2\r\n");
}

TEST(ServerVars, HeadersBySearch) {
  EXPECT_EQ(Var("SERVER_NAME"), "localhost");
  EXPECT_EQ(Var("SERVER_NAME", "GET / HTTP/1.1\r\nHOST: example.org"), "example.org");
  EXPECT_EQ(Var("SERVER_NAME", "GET / HTTP/1.1"), "");
  EXPECT_EQ(Var("CONNECTION"), "keep-alive");
  EXPECT_EQ(Var("IF_MODIFIED_SINCE"), "Sun, 6 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(Var("UNLESS_MODIFIED_SINCE"), "Mon, 7 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(Var("IF_NONE_MATCH"), "0123ABCD");
  EXPECT_EQ(Var("IF_RANGE"), "FEDC");
  // A blank before the colon hides the header; the request line is no header.
  EXPECT_EQ(Var("CONNECTION", "GET / HTTP/1.1\r\nConnection : close"), "");
  EXPECT_EQ(Var("CONNECTION", "GET /Connection:x HTTP/1.1"), "");
}

TEST(ServerVars, RangeOffset) {
  auto range = [](const std::string& value) {
    return Var("RANGE", "GET /f HTTP/1.1\r\nRange: " + value + "\r\nHost: h=1-2");
  };
  EXPECT_EQ(Var("RANGE"), "500");
  EXPECT_EQ(range("bytes=500-"), "500");
  EXPECT_EQ(range("bytes = 7 - 9"), "7");
  EXPECT_EQ(range("bytes=-500"), "0");
  EXPECT_EQ(Var("RANGE", "GET /f HTTP/1.1"), "0");
}

TEST(ServerVars, FixedAndConnectionValues) {
  EXPECT_EQ(Var("REQUEST_METHOD", "post /x HTTP/1.1"), "post");
  EXPECT_EQ(Var("REQUEST_METHOD"), "GET");
  EXPECT_EQ(Var("REMOTE_ADDR"), "10.0.0.7");
  EXPECT_EQ(Var("REMOTE_HOST"), "10.0.0.7");
  EXPECT_EQ(Var("SERVER_PORT"), "8080");
  EXPECT_EQ(Var("SERVER_SOFTWARE"), "Portavane/6.29 (Apache-compatible)");
  // The client's own version: the module frames a body by it.
  EXPECT_EQ(Var("SERVER_PROTOCOL", Line("GET / HTTP/1.0")), "HTTP/1.0");
  EXPECT_EQ(Var("SERVER_PROTOCOL", Line("GET / HTTP/1.1")), "HTTP/1.1");
  EXPECT_EQ(Var("HTTPS"), "off");
  EXPECT_EQ(Var("SERVER_PORT_SECURE"), "0");
  for (const char* name :
       {"AUTH_PASSWORD", "AUTH_TYPE", "AUTH_USER", "REMOTE_USER", "APPL_MD_PATH", "INSTANCE_ID",
        "INSTANCE_META_PATH", "LOGON_USER", "CERT_COOKIE", "CERT_FLAGS", "CERT_ISSUER",
        "CERT_KEYSIZE", "CERT_SECRETKEYSIZE", "CERT_SERIALNUMBER", "CERT_SERVER_ISSUER",
        "CERT_SERVER_SUBJECT", "CERT_SUBJECT", "HTTPS_KEYSIZE", "HTTPS_SECRETKEYSIZE",
        "HTTPS_SERVER_ISSUER", "HTTPS_SERVER_SUBJECT", "NO_SUCH_VARIABLE"})
    EXPECT_EQ(Var(name), "") << name;
  EXPECT_EQ(Var("HTTP_AUTHORIZATION", "GET / HTTP/1.1\r\nAuthorization: Basic eDp5"), "");
}

TEST(ServerVars, NamesAndHeadAreTrimmed) {
  EXPECT_EQ(Var("  server_port "), "8080");
  EXPECT_EQ(Var("Script_Name", std::string("\r\n  ") + kHead + "\r\n\r\n"), "/dir/page.php");
}

}  // namespace
