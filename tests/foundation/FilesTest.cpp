// The platform's files, folders and environment, in both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "TestFiles.h"
#include "platform/Env.h"
#include "platform/Files.h"

namespace {

using namespace platform;

TEST(Files, FilesAndFoldersAreToldApart) {
  TempFolder dir;
  WriteBytes(dir / "a.txt", "abc");
  EXPECT_TRUE(FileExists(dir / "a.txt"));
  EXPECT_FALSE(DirectoryExists(dir / "a.txt"));
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_FALSE(FileExists(dir / "missing"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(RemoveFile(dir / "a.txt"));
  EXPECT_FALSE(FileExists(dir / "a.txt"));
  EXPECT_FALSE(RemoveFile(dir / "a.txt"));
}

TEST(Files, CreateDirMakesOneLevel) {
  TempFolder dir;
  EXPECT_TRUE(CreateDir(dir / "log"));
  EXPECT_TRUE(DirectoryExists(dir / "log"));
  EXPECT_FALSE(CreateDir(dir / "log")) << "already there";
  EXPECT_FALSE(CreateDir(dir / "a" + PathDelim + "b")) << "the parent is missing";
}

TEST(Files, TheReadOnlyAttributeIsSetAndCleared) {
  TempFolder dir;
  const std::string file = dir / "pvn.ini";
  WriteBytes(file, "[PVN]\n");
  EXPECT_FALSE(IsReadOnly(file));
  ASSERT_TRUE(SetReadOnly(file, true));
  EXPECT_TRUE(IsReadOnly(file));
  ASSERT_TRUE(SetReadOnly(file, false));
  EXPECT_FALSE(IsReadOnly(file));
  EXPECT_FALSE(SetReadOnly(dir / "missing", false));
}

TEST(Files, FileStampGivesSizeAndUtcWriteTime) {
  TempFolder dir;
  WriteBytes(dir / "page.html", std::string(1234, 'x'));
  FileStamp stamp;
  ASSERT_TRUE(GetFileStamp(dir / "page.html", stamp));
  EXPECT_EQ(stamp.size, 1234);
  const std::int64_t nowMs = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
  EXPECT_LT(std::llabs(stamp.lastWriteUtcMs - nowMs), 3600 * 1000LL) << "written just now";
  FileStamp byPattern;
  ASSERT_TRUE(GetFileStamp(dir / "*.html", byPattern));
  EXPECT_EQ(byPattern.size, 1234);
  EXPECT_FALSE(GetFileStamp(dir / "missing.html", stamp));
}

TEST(Files, FindEntriesMatchesWildcards) {
  TempFolder dir;
  WriteBytes(dir / "php8ts.dll", "");
  WriteBytes(dir / "libmysql.dll", "");
  WriteBytes(dir / "readme.txt", "");
  CreateDir(dir / "ext.dll");
  auto dlls = FindEntries(dir.Path(), "*.dll");
  std::sort(dlls.begin(), dlls.end());
  EXPECT_EQ(dlls, (std::vector<std::string>{"ext.dll", "libmysql.dll", "php8ts.dll"}));
  EXPECT_EQ(FindEntries(dir.Path(), "read??.txt"), std::vector<std::string>{"readme.txt"});
  EXPECT_EQ(FindEntries(dir.Path(), "*").size(), 4u) << "no . or ..";
  EXPECT_TRUE(FindEntries(dir / "missing", "*").empty());
}

TEST(Env, VariablesAreSetAndRead) {
  EXPECT_TRUE(SetEnv("PV_FOUNDATION_TEST", "C:\\tree\\php"));
  EXPECT_EQ(GetEnv("PV_FOUNDATION_TEST"), "C:\\tree\\php");
  EXPECT_EQ(GetEnv("PV_FOUNDATION_UNSET_VARIABLE"), "");
  const std::string longValue(5000, 'v');
  EXPECT_TRUE(SetEnv("PV_FOUNDATION_TEST", longValue));
  EXPECT_EQ(GetEnv("PV_FOUNDATION_TEST"), longValue);
}

}  // namespace
