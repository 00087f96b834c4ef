// INI semantics, the same cases for both builds: natively against our own
// implementation, under Wine against the private-profile functions.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "TestFiles.h"
#include "common/KestroClass.h"
#include "platform/Files.h"
#include "platform/Ini.h"

namespace {

using platform::ReadIniValue;
using platform::WriteIniValue;

class Ini : public ::testing::Test {
 protected:
  std::string File(const std::string& bytes) {
    WriteBytes(file_, bytes);
    return file_;
  }
  std::string Read(const std::string& section, const std::string& key) {
    return ReadIniValue(section, key, "<default>", file_);
  }
  std::string Bytes() const { return ReadBytes(file_); }

  TempFolder dir_;
  std::string file_ = dir_ / "test.ini";
};

TEST_F(Ini, NamesMatchWithoutRegardToCaseAndBlanksAreIgnored) {
  File("[Mysqld]\r\n  Port  =  3306  \r\nbasedir=\tC:/tree/mysql\t\r\n");
  EXPECT_EQ(Read("mysqld", "PORT"), "3306");
  EXPECT_EQ(Read("MYSQLD", "port"), "3306");
  EXPECT_EQ(Read(" mysqld ", "\tBaseDir "), "C:/tree/mysql");
}

TEST_F(Ini, BlanksInsideAValueAndAfterItsSeparatorStay) {
  File("[PVN]\r\nroot = C:\\My Site\\www\r\nindex= index.html, index.php\r\nempty=\r\n");
  EXPECT_EQ(Read("PVN", "root"), "C:\\My Site\\www");
  EXPECT_EQ(Read("PVN", "index"), "index.html, index.php");
  EXPECT_EQ(Read("PVN", "empty"), "");
}

TEST_F(Ini, MatchingQuotesAreStripped) {
  File("[PHP]\r\n"
       "a=\"C:\\php\\ext\"\r\n"
       "b='single'\r\n"
       "c = \"  inner blanks  \"  \r\n"
       "d=\"unmatched\r\n"
       "e=\"mixed'\r\n"
       "f=\"one\" and \"two\"\r\n");
  EXPECT_EQ(Read("PHP", "a"), "C:\\php\\ext");
  EXPECT_EQ(Read("PHP", "b"), "single");
  EXPECT_EQ(Read("PHP", "c"), "  inner blanks  ");
  EXPECT_EQ(Read("PHP", "d"), "\"unmatched");
  EXPECT_EQ(Read("PHP", "e"), "\"mixed'");
  EXPECT_EQ(Read("PHP", "f"), "one\" and \"two");
}

TEST_F(Ini, AbsentFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(ReadIniValue("PVN", "port", "dflt", dir_ / "missing.ini"), "dflt");
  File("[PVN]\r\nport=1\r\n[Other]\r\nroot=x\r\n");
  EXPECT_EQ(Read("PVN", "root"), "<default>");
  EXPECT_EQ(Read("Nowhere", "port"), "<default>");
  EXPECT_EQ(ReadIniValue("PVN", "log", "", file_), "");
}

TEST_F(Ini, OnlyNameEqualsValueLinesHoldKeys) {
  File("[ A ] ; the section\r\nbare\r\n;commented=1\r\nk=v\r\n");
  EXPECT_EQ(Read("A", "k"), "v");
  EXPECT_EQ(Read("A", "bare"), "<default>");
  EXPECT_EQ(Read("A", "commented"), "<default>");
  EXPECT_EQ(ReadIniValue("A", "missing", "dflt  ", file_), "dflt") << "trailing blanks of the default go";
}

TEST_F(Ini, KeysBelongToTheirOwnSection) {
  File("top=before any section\r\n"
       "[client]\r\nport=3307\r\nsocket=/tmp/a.sock\r\n"
       "[mysqld]\r\n; port=1\r\nport=3306\r\nport=9999\r\n");
  EXPECT_EQ(Read("mysqld", "port"), "3306") << "the first of two keys wins";
  EXPECT_EQ(Read("client", "port"), "3307");
  EXPECT_EQ(Read("mysqld", "socket"), "<default>");
  EXPECT_EQ(Read("client", "top"), "<default>");
}

TEST_F(Ini, ValuesAreReadUpTo2047Characters) {
  std::string longValue(3000, 'x');
  longValue[2046] = 'y';
  File("[S]\r\nlong=" + longValue + "\r\nnext=1\r\n");
  std::string value = Read("S", "long");
  ASSERT_EQ(value.size(), 2047u);
  EXPECT_EQ(value.back(), 'y');
  EXPECT_EQ(Read("S", "next"), "1");
}

TEST_F(Ini, LfFilesReadLikeCrLfFiles) {
  File("[PVN]\nport = 60080\nroot=/srv/www\n");
  EXPECT_EQ(Read("PVN", "port"), "60080");
  EXPECT_EQ(Read("PVN", "root"), "/srv/www");
}

TEST_F(Ini, AUtf8ByteOrderMarkDoesNotHideTheFirstSection) {
  File("\xEF\xBB\xBF[PVN]\r\nport=60080\r\n");
  EXPECT_EQ(Read("PVN", "port"), "60080");
  ASSERT_TRUE(WriteIniValue("PVN", "port", "8080", file_));
  EXPECT_EQ(Read("PVN", "port"), "8080");
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[PVN]\r\nport=8080\r\n");
}

TEST_F(Ini, WriteReplacesTheKeysLineInPlaceAndKeepsEveryOtherByte) {
  const std::string before =
      "; settings\r\n"
      "[PVN]\r\n"
      "port = 60080   ; the HTTP port\r\n"
      "root=C:\\old\\www\r\n"
      "\r\n"
      "[Other]\r\n"
      "port=1\r\n";
  File(before);
  ASSERT_TRUE(WriteIniValue("PVN", "port", "8080", file_));
  ExpectSameLines(Bytes(),
            "; settings\r\n[PVN]\r\nport=8080\r\nroot=C:\\old\\www\r\n\r\n[Other]\r\nport=1\r\n");
}

TEST_F(Ini, WriteKeepsTheLayoutOfTheOtherLines) {
  File("; comment\r\n[PVN]\r\n  index = index.html  \r\nport=1\r\n\r\n\r\n[Z]\r\nz\t=\t2\r\n");
  ASSERT_TRUE(WriteIniValue("PVN", "port", "2", file_));
  ExpectSameLines(Bytes(), "; comment\r\n[PVN]\r\n  index = index.html  \r\nport=2\r\n\r\n\r\n[Z]\r\nz\t=\t2\r\n");
}

TEST_F(Ini, WriteKeepsLfLineEndings) {
  File("[mysqld]\nport=3306\nbasedir=/old/mysql\n");
  ASSERT_TRUE(WriteIniValue("mysqld", "basedir", "/new/mysql", file_));
  ExpectSameLines(Bytes(), "[mysqld]\nport=3306\nbasedir=/new/mysql\n");
}

TEST_F(Ini, AKeyWrittenInAnotherCaseIsReplacedNotDuplicated) {
  File("[PHP]\r\nEXTENSION_DIR = \"C:\\old\\ext\"\r\nother=1\r\n");
  ASSERT_TRUE(WriteIniValue("php", "extension_dir", "E:\\php\\ext", file_));
  EXPECT_EQ(Read("PHP", "extension_dir"), "E:\\php\\ext");
  std::string bytes = Bytes();
  EXPECT_EQ(bytes.find("old"), std::string::npos) << bytes;
  EXPECT_EQ(TKestro::UpperCase(bytes).find("EXTENSION_DIR"),
            TKestro::UpperCase(bytes).rfind("EXTENSION_DIR")) << bytes;
  EXPECT_NE(bytes.find("other=1\r\n"), std::string::npos) << bytes;
}

TEST_F(Ini, AMissingKeyIsAddedAtTheEndOfItsSection) {
  File("[PHP]\r\nengine=On\r\n;extension_dir=\"./\"\r\n[Zend]\r\nx=1\r\n");
  ASSERT_TRUE(WriteIniValue("PHP", "extension_dir", "C:\\t\\php\\ext", file_));
  EXPECT_EQ(Bytes(),
            "[PHP]\r\nengine=On\r\n;extension_dir=\"./\"\r\nextension_dir=C:\\t\\php\\ext\r\n"
            "[Zend]\r\nx=1\r\n");
}

TEST_F(Ini, AMissingSectionIsAddedWithItsKeyAtTheEndOfTheFile) {
  File("[PHP]\r\nengine=On\r\n");
  ASSERT_TRUE(WriteIniValue("Zend", "zend_extension_ts", "C:\\t\\lib\\", file_));
  EXPECT_EQ(Bytes(), "[PHP]\r\nengine=On\r\n[Zend]\r\nzend_extension_ts=C:\\t\\lib\\\r\n");
  EXPECT_EQ(Read("zend", "ZEND_EXTENSION_TS"), "C:\\t\\lib\\");
}

TEST_F(Ini, ALastLineWithoutLineEndGetsOneBeforeAnAddition) {
  File("[A]\r\na=1");
  ASSERT_TRUE(WriteIniValue("A", "b", "2", file_));
  EXPECT_EQ(Read("A", "a"), "1");
  EXPECT_EQ(Read("A", "b"), "2");
  EXPECT_EQ(Bytes(), "[A]\r\na=1\r\nb=2\r\n");
}

TEST_F(Ini, WritingCreatesAMissingFileInAnExistingFolder) {
  ASSERT_TRUE(WriteIniValue("PVN", "port", "60080", file_));
  EXPECT_EQ(Bytes(), "[PVN]\r\nport=60080\r\n");
}

TEST_F(Ini, WriteThenReadRoundTripsPathsWithBlanks) {
  File("[mysqld]\r\n");
  ASSERT_TRUE(WriteIniValue("mysqld", "basedir", "C:/Program Files/tree/mysql", file_));
  EXPECT_EQ(Read("mysqld", "basedir"), "C:/Program Files/tree/mysql");
  ASSERT_TRUE(WriteIniValue("mysqld", "comment", "  padded  ", file_));
  EXPECT_EQ(Read("mysqld", "comment"), "padded");
}

TEST_F(Ini, WriteIniStringClearsTheReadOnlyAttribute) {
  File("[PVN]\r\nport=1\r\n");
  ASSERT_TRUE(platform::SetReadOnly(file_, true));
  ASSERT_TRUE(platform::IsReadOnly(file_));
  TKestro::WriteIniString("PVN", "port", file_, "2");
  EXPECT_FALSE(platform::IsReadOnly(file_));
  EXPECT_EQ(TKestro::ReadIniString("PVN", "port", file_), "2");
}

TEST_F(Ini, ARefusedWriteRaisesUnableToWrite) {
  std::string file = dir_ / "no-such-folder" + platform::PathDelim + "pvn.ini";
  EXPECT_FALSE(WriteIniValue("PVN", "port", "1", file));
  try {
    TKestro::WriteIniString("PVN", "port", file, "1");
    FAIL() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + file);
  }
  EXPECT_FALSE(platform::FileExists(file));
}

// A line break would end the value early and add lines of its own at each
// write (a tree in a folder whose name holds one).
TEST_F(Ini, AWriteWithALineBreakIsRefusedAndLeavesTheFile) {
  const std::string before = "[PVN]\r\nroot=C:\\tree\\www\r\n";
  const struct {
    const char *section, *key, *value;
  } cases[] = {
      {"PVN", "root", "C:\\tree\nx\\www"},
      {"PVN", "root", "C:\\tree\r\n[Other]\r\nport=1"},
      {"PVN", "root", "C:\\tree\r"},
      {"PVN", "new\nkey", "1"},
      {"P\nVN", "port", "1"},
  };
  for (const auto& c : cases) {
    File(before);
    EXPECT_FALSE(WriteIniValue(c.section, c.key, c.value, file_)) << c.value;
    EXPECT_EQ(Bytes(), before) << c.value;
  }
}

#ifndef _WIN32
// A database server started by hand reads my.cnf while the program rewrites
// it at start: whenever a reader looks, every key of the file is there.
TEST_F(Ini, AReaderBesideTheWritesFindsEveryKeyAtAnyMoment) {
  File("[mysqld]\nport=3306\nbasedir=/tree/mysql\n");
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) WriteIniValue("mysqld", "basedir", "/tree/" + std::to_string(i), file_);
    writing = false;
  });
  int missed = 0;
  while (writing) missed += Read("mysqld", "port") != "3306";
  writer.join();
  EXPECT_EQ(missed, 0);
}
#endif

TEST_F(Ini, ReadIniStringOfAMissingFileIsEmpty) {
  EXPECT_EQ(TKestro::ReadIniString("PVN", "port", dir_ / "missing.ini"), "");
  EXPECT_FALSE(platform::FileExists(dir_ / "missing.ini"));
}

}  // namespace
