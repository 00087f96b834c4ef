// URL mapping against real folders: index files, redirects, PHP extensions
// and URLs that try to leave the document root.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "common/KestroClass.h"
#include "http/RequestHandler.h"
#include "http/UrlMapping.h"

using httptest::TempFolder;

namespace {

class UrlMappingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site.Write("www/a.txt", "a");
    site.Write("www/docs/index.php", "<?php");
    site.Write("www/docs/readme.txt", "r");
    site.MakeFolder("www/empty");
    site.Write("secret.txt", "outside");
    root = TKestro::ToNativePath(site.Path() + "/www");
  }
  std::string Native(const std::string& url) const { return TKestro::ToNativePath(root + url); }

  TempFolder site;
  std::string root;
};

TEST_F(UrlMappingTest, MapsFilesFoldersAndIndexFiles) {
  EXPECT_EQ(MapUrlToPath(root, "/a.txt", "index.html"), Native("/a.txt"));
  EXPECT_EQ(MapUrlToPath(root, "//docs\\readme.txt", "index.html"), Native("/docs/readme.txt"));
  EXPECT_EQ(MapUrlToPath(root, "/docs/", "index.html,index.php"), Native("/docs/index.php"));
  EXPECT_EQ(MapUrlToPath(root, "/docs", "index.html,index.php"), "/docs/");
  EXPECT_EQ(MapUrlToPath(root, "/empty/", "index.html,index.php"), "");
  EXPECT_EQ(MapUrlToPath(root, "/missing.txt", "index.html"), "");
}

TEST_F(UrlMappingTest, NeverLeavesTheDocumentRoot) {
  for (const char* url : {"/../secret.txt", "/docs/../../secret.txt", "/..\\secret.txt",
                          "/docs\\..\\..\\secret.txt", "/.../secret.txt", "/.. /secret.txt",
                          "/../", "/.."}) {
    EXPECT_EQ(MapUrlToPath(root, url, "secret.txt"), "") << url;
  }
  // Names that Windows would read as another file: a.txt with a trailing
  // dot or blank, or a stream of it.
  EXPECT_EQ(MapUrlToPath(root, "/a.txt.", "index.html"), "");
  EXPECT_EQ(MapUrlToPath(root, "/a.txt ", "index.html"), "");
  EXPECT_EQ(MapUrlToPath(root, "/a.txt::$DATA", "index.html"), "");
  EXPECT_EQ(MapUrlToPath(root, "/./a.txt", "index.html"), Native("/./a.txt"));
  // A NUL would cut the name short at the system's calls: a.txt served as PHP.
  EXPECT_EQ(MapUrlToPath(root, std::string("/a.txt\0.php", 11), "index.html"), "");
  EXPECT_EQ(MapUrlToPath(root, std::string("/docs\0/", 7), "index.php"), "");
}

TEST_F(UrlMappingTest, FindFileInListTakesTheFirstExistingElementUntrimmed) {
  const std::string docs = Native("/docs");
  EXPECT_EQ(FindFileInList(docs, "index.html,index.php", ','), Native("/docs/index.php"));
  EXPECT_EQ(FindFileInList(docs, "readme.txt;index.php", ';'), Native("/docs/readme.txt"));
  EXPECT_EQ(FindFileInList(docs, "index.html, index.php", ','), "");
  EXPECT_EQ(FindFileInList(docs, "", ','), "");
}

TEST(IsPhpFileTest, ComparesTrimmedElementsWithoutRegardToCase) {
  EXPECT_TRUE(IsPhpFile("/w/a.php", ".php"));
  EXPECT_TRUE(IsPhpFile("/w/a.PHP3", " .php , .PHP3 "));
  EXPECT_FALSE(IsPhpFile("/w/a.php", "php"));
  EXPECT_FALSE(IsPhpFile("/w/a.html", ".php,.php3"));
  EXPECT_FALSE(IsPhpFile("/w/readme", ".php"));
  EXPECT_TRUE(IsPhpFile("/w/readme", ".php,,.php3"));  // an empty element: no extension
  EXPECT_FALSE(IsPhpFile("/w.php/readme", ".php"));    // the dot of a folder does not count
}

TEST(EncodeUriPathTest, EncodesWhatAUrlCannotCarry) {
  EXPECT_EQ(EncodeUriPath("/a b/"), "/a%20b/");
  EXPECT_EQ(EncodeUriPath("/#%*+<>?\"/"), "/%23%25%2A%2B%3C%3E%3F%22/");
  EXPECT_EQ(EncodeUriPath("/\xE4\xBD\xA0/"), "/%E4%BD%A0/");
  EXPECT_EQ(EncodeUriPath("/plain-name_1.php~"), "/plain-name_1.php~");
}

TEST(RewriteRequestLineTest, NamesTheIndexFileAndKeepsQueryAndHeaders) {
  const std::string head = "GET /my docs/?a=1 HTTP/1.1\r\nHost: x\r\nCookie: c=1";
  EXPECT_EQ(RewriteRequestLine(head, "GET", "/my docs/", "/srv/www/my docs/index.php", "a=1"),
            "GET /my%20docs/index.php?a=1 HTTP/1.1\r\nHost: x\r\nCookie: c=1");
  EXPECT_EQ(RewriteRequestLine("get /d/ http/1.0", "GET", "/d/", "C:\\www\\d\\index.php", " "),
            "GET /d/index.php HTTP/1.0");
}

}  // namespace
