// Linux rows: entries of the document root that are no disk files, which a
// worker must never open (a FIFO blocks it until a writer comes), and names
// that differ only in letter case, which are other files here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FolderRulesSite.h"
#include "UrlMappingRows.h"

std::vector<MappingRow> PlatformMappingRows(const TempFolder& site) {
  const std::string www = site / "www";
  site.MakeFolder("www/fifo");
  for (const char* fifo : {"/pipe.php", "/pipe.txt", "/fifo/index.php"})
    EXPECT_EQ(::mkfifo((www + fifo).c_str(), 0600), 0) << fifo;
  EXPECT_EQ(::symlink("/dev/null", (www + "/null.php").c_str()), 0);
  EXPECT_EQ(::symlink("/dev/zero", (www + "/zero.txt").c_str()), 0);
  // Colons and trailing dots are plain characters of names here.
  site.Write("www/notes 12:30.txt", "n");
  site.Write("www/v2./index.php", "<?php");
  return {
      {"/pipe.php", MissingUrl()},    {"/pipe.txt", MissingUrl()},
      {"/pipe.php/x", MissingUrl()},  {"/fifo/", MissingUrl()},
      {"/null.php", MissingUrl()},    {"/zero.txt", MissingUrl()},
      {"/SECRET.PHP", MissingUrl()},  {"/Sub/index.php", MissingUrl()},
      {"/notes 12:30.txt", FileAt("/notes 12:30.txt", "/notes 12:30.txt", false)},
      {"/v2./", FileAt("/v2./index.php", "/v2./index.php", true)},
      {"/v2./index.php/a:b", FileAt("/v2./index.php", "/v2./index.php", true, "/a:b")},
  };
}

// Letter case names other files here: the denied folder is not reached by
// another spelling, which names nothing.
std::vector<RuleRow> PlatformRuleRows() {
  return {
      {"GET /wiki/DATA/pages/secret.txt", "404"},
      {"GET /wiki/data/pages/SECRET.TXT", "403 'Denied by the wiki'"},
  };
}
