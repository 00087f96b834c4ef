// TKestro's path, text and MD5 helpers, in both builds.
#include <gtest/gtest.h>

#include "common/KestroClass.h"
#include "platform/Files.h"

namespace {

const bool kWindows = platform::PathDelim == '\\';

TEST(Paths, ToBackslashPathJoinsARootAndAUrl) {
  EXPECT_EQ(TKestro::ToBackslashPath("C:\\site\\www" + std::string("/a//b.php")),
            "C:\\site\\www\\a\\b.php");
  EXPECT_EQ(TKestro::ToBackslashPath("\\\\server\\share"), "\\server\\share")
      << "a leading pair shrinks too";
  EXPECT_EQ(TKestro::ToBackslashPath("//a\\/\\//b///"), "\\a\\b\\");
  EXPECT_EQ(TKestro::ToBackslashPath("plain.txt"), "plain.txt");
  EXPECT_EQ(TKestro::ToBackslashPath(""), "");
}

TEST(Paths, ToForwardSlashesGivesTheMyCnfForm) {
  EXPECT_EQ(TKestro::ToForwardSlashes("E:\\web\\mysql"), "E:/web/mysql");
  EXPECT_EQ(TKestro::ToForwardSlashes("E:\\web\\mysql\\data"), "E:/web/mysql/data");
  EXPECT_EQ(TKestro::ToForwardSlashes("E:\\\\web//\\mysql\\"), "E:/web/mysql/");
  EXPECT_EQ(TKestro::ToForwardSlashes("E:\\mysql"), "E:/mysql") << "tree at a drive root";
  EXPECT_EQ(TKestro::ToForwardSlashes("/srv//tree/mysql"), "/srv/tree/mysql");
}

TEST(Paths, ToNativePathUsesTheBuildsDelimiter) {
  const std::string url = "/www//shop\\cart.html";
  EXPECT_EQ(TKestro::ToNativePath(url),
            kWindows ? "\\www\\shop\\cart.html" : "/www/shop/cart.html");
  EXPECT_EQ(TKestro::ToNativePath("C:\\site\\www" + std::string("/a//b.php")),
            kWindows ? "C:\\site\\www\\a\\b.php" : "C:/site/www/a/b.php");
}

TEST(Paths, TheApplicationFolderIsTheExecutablesFolder) {
  const std::string exe = platform::ExecutablePath();
  const std::string app = TKestro::GetAppDir();
  ASSERT_TRUE(platform::FileExists(exe)) << exe;
  ASSERT_FALSE(app.empty());
  EXPECT_NE(app.back(), platform::PathDelim);
  EXPECT_TRUE(platform::DirectoryExists(app)) << app;
  EXPECT_EQ(exe.substr(0, app.size() + 1), app + platform::PathDelim);
  EXPECT_EQ(exe.find(platform::PathDelim, app.size() + 1), std::string::npos);
}

TEST(Paths, FolderOfCutsBeforeTheLastDelimiter) {
  if (kWindows) {
    EXPECT_EQ(TKestro::FolderOf("C:\\My Tree\\Portavane.exe"), "C:\\My Tree");
    EXPECT_EQ(TKestro::FolderOf("E:\\Portavane.exe"), "E:") << "drive root: the bare drive";
    EXPECT_EQ(TKestro::FolderOf("\\\\host\\share\\Portavane.exe"), "\\\\host\\share");
  } else {
    EXPECT_EQ(TKestro::FolderOf("/opt/my tree/portavane"), "/opt/my tree");
    EXPECT_EQ(TKestro::FolderOf("/portavane"), "") << "at / the suffixes still give /www, /log";
  }
  EXPECT_EQ(TKestro::FolderOf("portavane"), "");
}

TEST(Paths, ExpandFileNameResolvesAgainstTheCurrentFolder) {
  const std::string cwd = platform::GetCurrentDir();
  const std::string d(1, platform::PathDelim);
  EXPECT_EQ(platform::ExpandFileName("www"), cwd + d + "www");
  EXPECT_EQ(platform::ExpandFileName("a" + d + "." + d + "b" + d + ".." + d + "www"),
            cwd + d + "a" + d + "www");
}

TEST(Text, TrimRemovesCodesUpTo32FromBothEnds) {
  EXPECT_EQ(TKestro::Trim(" \t\r\n\x01 PHPRC \x1f\x20"), "PHPRC");
  EXPECT_EQ(TKestro::Trim("a b"), "a b");
  EXPECT_EQ(TKestro::Trim("\xa0x\xa0"), "\xa0x\xa0") << "code-page bytes are text";
  EXPECT_EQ(TKestro::Trim("   "), "");
}

TEST(Text, CaseChangesOnlyAsciiLetters) {
  EXPECT_EQ(TKestro::UpperCase("phprc-Az09\xe8\x87\xaa"), "PHPRC-AZ09\xe8\x87\xaa");
  EXPECT_EQ(TKestro::LowerCase("PHP_EXTNAME \xc4"), "php_extname \xc4");
}

TEST(Text, StrToInt64DefTakesOnlyAWholeDecimalNumber) {
  EXPECT_EQ(TKestro::StrToInt64Def("60080", -1), 60080);
  EXPECT_EQ(TKestro::StrToInt64Def("-42", 0), -42);
  EXPECT_EQ(TKestro::StrToInt64Def("+7", 0), 7);
  EXPECT_EQ(TKestro::StrToInt64Def("007", 0), 7);
  EXPECT_EQ(TKestro::StrToInt64Def("9223372036854775807", 0), INT64_MAX);
  EXPECT_EQ(TKestro::StrToInt64Def("-9223372036854775808", 0), INT64_MIN);
  for (const char* bad : {"", " 1", "1 ", "12a", "-", "0x10", "9223372036854775808",
                          "-9223372036854775809", "99999999999999999999"})
    EXPECT_EQ(TKestro::StrToInt64Def(bad, -1), -1) << '"' << bad << '"';
}

TEST(Md5, DigestsOfRfc1321TestSuite) {
  EXPECT_EQ(TKestro::Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(TKestro::Md5Hex("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(TKestro::Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(TKestro::Md5Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(TKestro::Md5Hex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(TKestro::Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  EXPECT_EQ(TKestro::Md5Hex("1234567890123456789012345678901234567890"
                            "1234567890123456789012345678901234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(Md5, PaddingAtBlockBoundariesAndBinaryData) {
  EXPECT_EQ(TKestro::Md5Hex(std::string(55, 'a')), "EF1772B6DFF9A122358552954AD0DF65");
  EXPECT_EQ(TKestro::Md5Hex(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
  EXPECT_EQ(TKestro::Md5Hex(std::string(63, 'a')), "B06521F39153D618550606BE297466D5");
  EXPECT_EQ(TKestro::Md5Hex(std::string(64, 'a')), "014842D480B571495A4A0363793F7367");
  EXPECT_EQ(TKestro::Md5Hex(std::string(65, 'a')), "C743A45E0D2E6A95CB859ADAE0248435");
  EXPECT_EQ(TKestro::Md5Hex(std::string(1000000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_EQ(TKestro::Md5Hex(bytes), "E2C865DB4162BED963BFAA9EF6AC18F0");
}

}  // namespace
