// URL mapping against real folders: index files, redirects, PHP extensions
// and URLs that try to leave the document root.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "UrlMappingRows.h"
#include "common/KestroClass.h"
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
    for (const char* php : {"www/index.php", "www/secret.php", "www/sub/index.php"})
      site.Write(php, "<?php echo 1;");
    site.Write("www/notes.phpx", "<?php");
    site.Write("www/page.phtml", "<?php");
    root = TKestro::ToNativePath(site.Path() + "/www");
  }
  std::string Native(const std::string& url) const { return TKestro::ToNativePath(root + url); }

  static std::string Describe(const TPhysicalPath& mapped) {
    switch (mapped.kind) {
      case TPhysicalPath::Kind::kMissing:
        return "missing";
      case TPhysicalPath::Kind::kRedirect:
        return "redirect to " + mapped.location;
      case TPhysicalPath::Kind::kFile:
        break;
    }
    return "file " + mapped.file + " as " + mapped.scriptUrl + " info '" + mapped.pathInfo +
           (mapped.php ? "' php" : "' static");
  }
  void ExpectRows(const std::vector<MappingRow>& rows,
                  const std::string& indexFiles = "index.html,index.php") const {
    for (const MappingRow& row : rows) {
      TPhysicalPath expected = row.expected;
      if (expected.kind == TPhysicalPath::Kind::kFile) expected.file = Native(expected.file);
      EXPECT_EQ(Describe(MapUrlToPath(MappingSettingsOf(root, indexFiles, kRowPhpExtensions), row.url)),
                Describe(expected))
          << row.url << " with index files " << indexFiles;
    }
  }

  TempFolder site;
  std::string root;
};

TEST_F(UrlMappingTest, NeverLeavesTheDocumentRoot) {
  std::vector<MappingRow> rows;
  for (const char* url : {"/../secret.txt", "/docs/../../secret.txt", "/..\\secret.txt",
                          "/docs\\..\\..\\secret.txt", "/.../secret.txt", "/.. /secret.txt",
                          "/../", "/..", "/index.php/../../secret.txt"})
    rows.push_back({url, MissingUrl()});
  ExpectRows(rows, "secret.txt");
  ExpectRows({
      // Names that Windows would read as another file: a.txt with a trailing
      // dot or blank, or a stream of it.
      {"/a.txt.", MissingUrl()},
      {"/a.txt ", MissingUrl()},
      {"/a.txt::$DATA", MissingUrl()},
      {"/./a.txt", MissingUrl()},
      // A NUL would cut the name short at the system's calls: a.txt served as PHP.
      {std::string("/a.txt\0.php", 11), MissingUrl()},
      {std::string("/docs\0/", 7), MissingUrl()},
      {std::string("/index.php/\0", 12), MissingUrl()},
  });
}

TEST_F(UrlMappingTest, MapsScriptsWithTheirPathInfo) {
  ExpectRows({
      {"/a.txt", FileAt("/a.txt", "/a.txt", false)},
      {"//docs\\readme.txt", FileAt("/docs/readme.txt", "/docs/readme.txt", false)},
      {"/page.phtml", FileAt("/page.phtml", "/page.phtml", true)},
      {"/notes.phpx", FileAt("/notes.phpx", "/notes.phpx", false)},
      {"/docs/", FileAt("/docs/index.php", "/docs/index.php", true)},
      {"/", FileAt("/index.php", "/index.php", true)},
      {"/docs", RedirectTo("/docs/")},
      {"/empty/", MissingUrl()},
      {"/missing.txt", MissingUrl()},
      // Front controllers: the script runs with the rest of the path.
      {"/index.php/foo/bar", FileAt("/index.php", "/index.php", true, "/foo/bar")},
      {"/docs/index.php/2024/hello/",
       FileAt("/docs/index.php", "/docs/index.php", true, "/2024/hello/")},
      {"/index.php/", FileAt("/index.php", "/index.php", true, "/")},
      {"//sub//index.php//a\\b c", FileAt("/sub/index.php", "/sub/index.php", true, "/a/b c")},
      {"/index.php/nul", FileAt("/index.php", "/index.php", true, "/nul")},
      {"/page.phtml/x.txt", FileAt("/page.phtml", "/page.phtml", true, "/x.txt")},
      // The path info names no file: colons and trailing dots may stand there.
      {"/index.php/wiki:syntax", FileAt("/index.php", "/index.php", true, "/wiki:syntax")},
      {"/docs/index.php/Special:Version/v1.",
       FileAt("/docs/index.php", "/docs/index.php", true, "/Special:Version/v1.")},
      // After a static file, a missing one or a folder without it, nothing.
      {"/a.txt/foo", MissingUrl()},
      {"/a.txt/", MissingUrl()},
      {"/notes.phpx/foo", MissingUrl()},
      {"/missing.php/foo", MissingUrl()},
      {"/docs/missing/index.php", MissingUrl()},
      {"/empty/index.php/foo", MissingUrl()},
  });
}

// Every spelling that Windows opens as another name than the URL shows, and
// every entry that is no disk file, gives 404 on both builds: never the source
// of a script as a static file, never a script run by a name outside the list.
TEST_F(UrlMappingTest, DecidesOnTheFileOpenedNotOnTheUrlText) {
  std::vector<MappingRow> rows;
  for (const char* url :
       {"/index.php/.", "/secret.php\\.", "/secret.php/.", "/secret.php/./.", "/secret.php//.",
        "/SECRET.PHP/.", "/sub/index.php\\.", "/index.php/./foo", "/index.php/foo/.",
        "/index.php.", "/index.php ", "/index.php::$DATA", "/sub/./index.php", "/.",
        "/nul.php", "/con.php", "/aux.php", "/com1.php", "/lpt1.php", "/NUL", "/sub/nul",
        "/sub/Com1.txt", "/nul/index.php", "/lpt1/"})
    rows.push_back({url, MissingUrl()});
  for (MappingRow& row : PlatformMappingRows(site)) rows.push_back(std::move(row));
  ExpectRows(rows);
}

TEST_F(UrlMappingTest, TakesTheFirstIndexFileOfTheListUntrimmed) {
  const TPhysicalPath index = FileAt("/docs/index.php", "/docs/index.php", true);
  const TPhysicalPath readme = FileAt("/docs/readme.txt", "/docs/readme.txt", false);
  ExpectRows({{"/docs/", index}}, "index.html,index.php");
  ExpectRows({{"/docs/", readme}}, "readme.txt,index.php");
  ExpectRows({{"/docs/", MissingUrl()}}, "index.html, index.php");
  ExpectRows({{"/docs/", MissingUrl()}}, "");
  ExpectRows({{"/", FileAt("/index.php", "/index.php", true)}}, "sub,index.php");  // no folder
  ExpectRows({{"/", FileAt("/docs/readme.txt", "/docs/readme.txt", false)}}, "docs/readme.txt");
}

std::vector<std::string> Extensions(const std::string& list) {
  return MappingSettingsOf("", "", list).phpExtensions;
}

// Letter case counts where the file system's names are told apart by it, as
// a rule written for ".php" (<FilesMatch "\.php$">) tells them apart.
TEST(IsPhpFileTest, ComparesTrimmedElementsInTheFileSystemsLetterCase) {
  EXPECT_TRUE(IsPhpFile("/w/a.php", Extensions(".php")));
  EXPECT_EQ(IsPhpFile("/w/a.Php", Extensions(".php")), platform::NamesIgnoreCase);
  EXPECT_EQ(IsPhpFile("/w/a.php", Extensions(".PHP")), platform::NamesIgnoreCase);
  EXPECT_TRUE(IsPhpFile("/w/a.PHP3", Extensions(" .php , .PHP3 ")));
  EXPECT_FALSE(IsPhpFile("/w/a.php", Extensions("php")));
  EXPECT_FALSE(IsPhpFile("/w/a.html", Extensions(".php,.php3")));
  EXPECT_FALSE(IsPhpFile("/w/readme", Extensions(".php")));
  EXPECT_TRUE(IsPhpFile("/w/readme", Extensions(".php,,.php3")));  // an empty element: no extension
  EXPECT_FALSE(IsPhpFile("/w.php/readme", Extensions(".php")));    // the dot of a folder does not count
}

TEST(EncodeUriPathTest, EncodesWhatAUrlCannotCarry) {
  EXPECT_EQ(EncodeUriPath("/a b/"), "/a%20b/");
  EXPECT_EQ(EncodeUriPath("/#%*+<>?\"/"), "/%23%25%2A%2B%3C%3E%3F%22/");
  EXPECT_EQ(EncodeUriPath("/\xE4\xBD\xA0/"), "/%E4%BD%A0/");
  EXPECT_EQ(EncodeUriPath("/plain-name_1.php~"), "/plain-name_1.php~");
}

}  // namespace
