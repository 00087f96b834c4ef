// TPvn: the tree's paths, the settings file, and the rewriting of my.cnf and
// php.ini, on trees made from the delivered template.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <vector>

#include "TestFiles.h"
#include "common/KestroClass.h"
#include "platform/Files.h"
#include "platform/Ini.h"
#include "platform/TimeZone.h"
#include "services/PvnClass.h"

namespace {

const std::string D(1, platform::PathDelim);
const bool kWindows = platform::PathDelim == '\\';

std::string Template(const std::string& relative) {
  return ReadBytes(std::string(PV_SOURCE_DIR) + "/tree/" + relative);
}

// A tree with the delivered settings file, my.cnf and php.ini.
void MakeTree(const std::string& app) {
  for (const char* dir : {"pvn", "php", "mysql", "mysql/bin", "www"})
    std::filesystem::create_directories(std::filesystem::path(app) / dir);
  WriteBytes(TPvn::GetSettingsFile(app), Template("pvn/pvn.ini"));
  WriteBytes(TPvn::GetMyCnfFile(app), Template("mysql/bin/my.cnf"));
  WriteBytes(TPvn::GetPhpIniFile(app), Template("php/php.ini"));
}

// A path with none of PHP's special characters as php.ini is to hold it.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The folder below php/ that the Zend Optimizer's libraries are named in.
std::string ZendLibDir(const std::string& php) {
  return php + D + "Zend" + D + "Optimizer" + D + "lib" + D;
}

// The current folder set for one test (GetRootDir resolves "www" against it).
class CurrentDir {
 public:
  explicit CurrentDir(const std::string& dir) : saved_(platform::GetCurrentDir()) {
    platform::SetCurrentDir(dir);
  }
  ~CurrentDir() { platform::SetCurrentDir(saved_); }

 private:
  std::string saved_;
};

// Everything one program start rewrites, in its order.
void StartIn(const std::string& app) {
  CurrentDir cwd(app);
  TPvn::UpdateMyCnf(app);
  TPvn::SavePaths(app);
  TPvn::UpdatePhpIni(app);
}

// The file's lines, with the lines of `keys` (name -> value written) expected
// as key=value and every other line as in `before`.
void ExpectOnlyKeysChanged(const std::string& before, const std::string& after,
                           const std::map<std::string, std::string>& keys) {
  std::string expected, line;
  auto flush = [&](const std::string& eol) {
    std::string name = TKestro::Trim(line.substr(0, line.find('=')));
    auto key = line.find('=') != std::string::npos ? keys.find(name) : keys.end();
    expected += (key != keys.end() ? key->first + "=" + key->second : line) + eol;
    line.clear();
  };
  for (char c : before) {
    if (c == '\n')
      flush("\n");
    else
      line += c;
  }
  if (!line.empty()) flush("");
  ExpectSameLines(after, expected);
}

class Pvn : public ::testing::Test {
 protected:
  std::string Read(const std::string& section, const std::string& key, const std::string& file) {
    return TKestro::ReadIniString(section, key, file);
  }
  // The delivered tree in the test's folder.
  std::string DeliveredTree() {
    MakeTree(dir_.Path());
    return dir_.Path();
  }

  TempFolder dir_;
};

TEST_F(Pvn, EveryPathIsTheApplicationFolderAndASuffix) {
  const std::string app = dir_.Path();
  EXPECT_EQ(TPvn::GetSettingsFile(app), app + D + "pvn" + D + "pvn.ini");
  EXPECT_EQ(TPvn::GetMyCnfFile(app), app + D + "mysql" + D + "bin" + D + "my.cnf");
  EXPECT_EQ(TPvn::GetMysqlDir(app), app + D + "mysql");
  EXPECT_EQ(TPvn::GetMysqlDataDir(app), app + D + "mysql" + D + "data");
  EXPECT_EQ(TPvn::GetPhpDir(app), app + D + "php");
  EXPECT_EQ(TPvn::GetPhpIniFile(app), app + D + "php" + D + "php.ini");
  EXPECT_EQ(TPvn::GetLogDir(app), app + D + "log");
  EXPECT_EQ(TPvn::GetSettingsFile(), TKestro::GetAppDir() + D + "pvn" + D + "pvn.ini");
}

TEST_F(Pvn, ATreeAtARootGetsSingleDelimiters) {
  // "E:" on Windows; "" for an executable in "/" on Linux.
  const std::string root = kWindows ? "E:" : "";
  const std::string rootDelim = root + D;
  EXPECT_EQ(TPvn::GetSettingsFile(root), rootDelim + "pvn" + D + "pvn.ini");
  EXPECT_EQ(TPvn::GetPhpDir(root), rootDelim + "php");
  EXPECT_EQ(TPvn::GetMysqlDataDir(root), rootDelim + "mysql" + D + "data");
  EXPECT_EQ(TKestro::ToForwardSlashes(TPvn::GetMysqlDir(root)), kWindows ? "E:/mysql" : "/mysql");
  EXPECT_EQ(TKestro::ToForwardSlashes(TPvn::GetMysqlDataDir(root)),
            kWindows ? "E:/mysql/data" : "/mysql/data");
}

TEST_F(Pvn, GetRootDirIsWwwInTheCurrentFolder) {
  CurrentDir cwd(dir_.Path());
  EXPECT_EQ(TPvn::GetRootDir(), platform::GetCurrentDir() + D + "www");
}

TEST_F(Pvn, TheLogAndTmpFoldersAreCreatedOnceAndFailLoudly) {
  const std::pair<const char*, std::string (*)(const std::string&)> folders[] = {
      {"log", &TPvn::GetLogDir}, {"tmp", &TPvn::GetTmpDir}};
  for (const auto& [name, get] : folders) {
    const std::string dir = dir_ / name;
    EXPECT_EQ(get(dir_.Path()), dir);
    EXPECT_TRUE(platform::DirectoryExists(dir)) << name;
    EXPECT_EQ(get(dir_.Path()), dir) << name << ": an existing folder is fine";
    EXPECT_THROW(get(dir_ / "no-such-app-folder"), std::runtime_error) << name;
  }
}

TEST_F(Pvn, LoadPortAndSavePortKeepTheSettingsFile) {
  const std::string app = dir_.Path();
  EXPECT_EQ(TPvn::LoadPort(app), "") << "no settings file";
  MakeTree(app);
  EXPECT_EQ(TPvn::LoadPort(app), "60080");
  const std::string before = ReadBytes(TPvn::GetSettingsFile(app));
  TPvn::SavePort(8080, app);
  EXPECT_EQ(TPvn::LoadPort(app), "8080");
  ExpectOnlyKeysChanged(before, ReadBytes(TPvn::GetSettingsFile(app)), {{"port", "8080"}});
  WriteBytes(TPvn::GetSettingsFile(app), "[pvn]\r\n  PORT =  8081  \r\n");
  EXPECT_EQ(TPvn::LoadPort(app), "8081");
}

TEST_F(Pvn, AMovedTreeRewritesAllItsPathsAndNothingElse) {
  const std::string first = dir_ / "first";
  MakeTree(first);
  StartIn(first);
  // The tree moves: the same files, now in another folder.
  const std::string moved = dir_ / "moved";
  std::filesystem::copy(first, moved, std::filesystem::copy_options::recursive);
  // What PHP left in tmp/ last time: uploads and temporary files go, the
  // session and the folders stay.
  const struct {
    const char* name;
    bool kept;
  } leftovers[] = {{"phpA1b2C3", false}, {"php4F2.tmp", false}, {"sess_0123abcd", true},
                   {"opcache/x.bin", true}, {"mysql-files/php.csv", true}};
  const std::filesystem::path movedTmp = std::filesystem::path(moved) / "tmp";
  for (const auto& left : leftovers) {
    std::filesystem::create_directories((movedTmp / left.name).parent_path());
    WriteBytes((movedTmp / left.name).string(), "x");
  }
  StartIn(moved);
  for (const auto& left : leftovers)
    EXPECT_EQ(std::filesystem::exists(movedTmp / left.name), left.kept) << left.name;

  CurrentDir cwd(moved);
  const std::string app = platform::GetCurrentDir();
  const std::string mysql = TKestro::ToForwardSlashes(app + D + "mysql");
  const std::string php = app + D + "php";
  const std::string lib = ZendLibDir(php);
  // my.cnf names the socket relative to the data folder; PHP needs it whole.
  const std::string socket = app + D + "mysql" + D + "data" + D + "mysqld.sock";
  const std::string zendName = Read("Zend", "pvn_zend_extension_ts", TPvn::GetPhpIniFile(app));
  ASSERT_FALSE(zendName.empty()) << "the delivered php.ini names the Zend extension";
  EXPECT_NE(app.find("moved"), std::string::npos);

  ExpectOnlyKeysChanged(Template("pvn/pvn.ini"), ReadBytes(TPvn::GetSettingsFile(app)),
                        {{"root", app + D + "www"}, {"log", app + D + "log"}});
  ExpectOnlyKeysChanged(Template("mysql/bin/my.cnf"), ReadBytes(TPvn::GetMyCnfFile(app)),
                        {{"basedir", mysql},
                         {"datadir", mysql + "/data"},
                         {"secure_file_priv", TKestro::ToForwardSlashes(app + D + "tmp" + D + "mysql-files")}});
  const std::string tmp = app + D + "tmp";
  ExpectOnlyKeysChanged(Template("php/php.ini"), ReadBytes(TPvn::GetPhpIniFile(app)),
                        {{"extension_dir", Quoted(php + D + "ext")},
                         {"mime_magic.magicfile", Quoted(php + D + "ext" + D + "magic.mime")},
                         {"zend_extension_manager.optimizer_ts", Quoted(lib + "Optimizer")},
                         {"zend_extension_ts", Quoted(lib + zendName)},
                         {"error_log", Quoted(app + D + "log" + D + "php_errors.log")},
                         {"upload_tmp_dir", Quoted(tmp)},
                         {"sys_temp_dir", Quoted(tmp)},
                         {"session.save_path", Quoted(tmp)},
                         {"opcache.file_cache", Quoted("")},
                         {"date.timezone", Quoted(platform::MachineTimeZone())},
                         {"mysqli.default_port", "3306"},
                         {"mysqli.default_socket", Quoted(socket)},
                         {"pdo_mysql.default_socket", Quoted(socket)}});
  EXPECT_TRUE(platform::DirectoryExists(tmp)) << "made at start for PHP";
  EXPECT_TRUE(platform::DirectoryExists(TPvn::GetMysqlFilesDir(app))) << "the server needs it";
  EXPECT_TRUE(platform::DirectoryExists(app + D + "log"));
}

TEST_F(Pvn, RewritingTwiceLeavesTheFilesAsAfterTheFirstTime) {
  const std::string app = DeliveredTree();
  StartIn(app);
  const std::vector<std::string> files = {TPvn::GetSettingsFile(app), TPvn::GetMyCnfFile(app),
                                          TPvn::GetPhpIniFile(app)};
  std::vector<std::string> once;
  for (const auto& f : files) once.push_back(ReadBytes(f));
  StartIn(app);
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(ReadBytes(files[i]), once[i]) << files[i];
}

TEST_F(Pvn, PathsWithBlanksAreWrittenAndReadBackWhole) {
  const std::string app = dir_ / "My Sites" + D + "tree one";
  MakeTree(app);
  StartIn(app);
  CurrentDir cwd(app);
  const std::string full = platform::GetCurrentDir();
  EXPECT_EQ(Read("PVN", "root", TPvn::GetSettingsFile(app)), full + D + "www");
  EXPECT_EQ(Read("mysqld", "basedir", TPvn::GetMyCnfFile(app)),
            TKestro::ToForwardSlashes(full + D + "mysql"));
  EXPECT_EQ(Read("PHP", "extension_dir", TPvn::GetPhpIniFile(app)), full + D + "php" + D + "ext");
}

TEST_F(Pvn, BasedirOnlyInAnotherSectionIsAddedToMysqld) {
  const std::string app = DeliveredTree();
  const std::string cnf = TPvn::GetMyCnfFile(app);
  WriteBytes(cnf, "[client]\nbasedir=/elsewhere\nport=3306\n\n[mysqld]\nport=3306\n\n[mysqldump]\nquick\n");
  TPvn::UpdateMyCnf(app);
  const std::string mysql = TKestro::ToForwardSlashes(app + D + "mysql");
  ExpectSameLines(ReadBytes(cnf), "[client]\nbasedir=/elsewhere\nport=3306\n\n[mysqld]\nport=3306\n"
                                  "basedir=" + mysql + "\ndatadir=" + mysql + "/data\n"
                                  "secure_file_priv=" + TKestro::ToForwardSlashes(TPvn::GetMysqlFilesDir(app)) +
                                  "\n\n[mysqldump]\nquick\n");
  EXPECT_EQ(Read("client", "basedir", cnf), "/elsewhere");
}

TEST_F(Pvn, PhpIniWithoutZendSectionGetsOneAtTheEnd) {
  const std::string app = DeliveredTree();
  const std::string ini = TPvn::GetPhpIniFile(app);
  WriteBytes(ini, "[PHP]\r\nengine = On\r\n;extension_dir = \"./\"\r\n");
  TPvn::UpdatePhpIni(app);
  const std::string php = app + D + "php";
  const std::string lib = ZendLibDir(php);
  const std::string tmp = Quoted(app + D + "tmp");
  const std::string socket = Quoted(app + D + "mysql" + D + "data" + D + "mysqld.sock");
  // A backslash before the closing quote is doubled, or PHP would read it as
  // an escaped quote.
  const std::string libEnd = kWindows ? lib + "\\\"" : lib + "\"";
  ExpectSameLines(ReadBytes(ini), "[PHP]\r\nengine = On\r\n;extension_dir = \"./\"\r\n"
                            "extension_dir=" + Quoted(php + D + "ext") + "\r\n"
                            "mime_magic.magicfile=" + Quoted(php + D + "ext" + D + "magic.mime") + "\r\n"
                            "error_log=" + Quoted(app + D + "log" + D + "php_errors.log") + "\r\n"
                            "upload_tmp_dir=" + tmp + "\r\nsys_temp_dir=" + tmp + "\r\n"
                            "[Zend]\r\n"
                            "zend_extension_manager.optimizer_ts=" + Quoted(lib + "Optimizer") + "\r\n"
                            "zend_extension_ts=\"" + libEnd + "\r\n"
                            "[Session]\r\nsession.save_path=" + tmp + "\r\n"
                            "[opcache]\r\nopcache.file_cache=\"\"\r\n"
                            "[Date]\r\ndate.timezone=" + Quoted(platform::MachineTimeZone()) + "\r\n"
                            "[MySQLi]\r\nmysqli.default_port=3306\r\nmysqli.default_socket=" + socket + "\r\n"
                            "[Pdo_mysql]\r\npdo_mysql.default_socket=" + socket + "\r\n");
  EXPECT_EQ(Read("Zend", "zend_extension_ts", ini).substr(0, lib.size()), lib)
      << "without pvn_zend_extension_ts the folder itself is named";
}

// Unquoted, PHP reads ( ) & | ~ ! ^ ; " and $ in a value as syntax; quoted,
// \, \" and \$ are escapes and ${ starts a variable. A tree in such a folder
// gets every path quoted with exactly those escaped (Windows folder names can
// hold no quote and no "|").
TEST_F(Pvn, PathsThatPhpWouldReadAsSyntaxAreQuotedAndEscaped) {
  struct Folder {
    std::string name, written;
  };
  std::vector<Folder> folders = {{"paren test (1)", "paren test (1)"},
                                 {"a&b~c!d^e;f", "a&b~c!d^e;f"},
                                 {"cost $5 ${HOME}", "cost \\$5 \\${HOME}"}};
  if (!kWindows) folders.push_back({"say \"hi\" | \\$x", "say \\\"hi\\\" | \\\\\\$x"});
  for (const Folder& folder : folders) {
    const std::string app = dir_ / folder.name;
    MakeTree(app);
    TPvn::UpdatePhpIni(app);
    const std::string text = ReadBytes(TPvn::GetPhpIniFile(app));
    const std::string written = "\"" + dir_.Path() + D + folder.written + D;
    for (const std::string line : {"extension_dir=" + written + "php" + D + "ext\"",
                                   "error_log=" + written + "log" + D + "php_errors.log\"",
                                   "upload_tmp_dir=" + written + "tmp\"",
                                   "mysqli.default_socket=" + written + "mysql" + D + "data" + D + "mysqld.sock\""})
      EXPECT_NE(text.find("\n" + line + (UnderWine() ? "\r\n" : "\n")), std::string::npos)
          << folder.name << ": no line " << line << " in\n" << text;
  }
}

TEST_F(Pvn, KeysInCapitalsAreReplacedNotDuplicated) {
  const std::string app = DeliveredTree();
  const std::string ini = TPvn::GetPhpIniFile(app);
  WriteBytes(ini, "[php]\r\nEXTENSION_DIR = \"C:\\old\\ext\"\r\n[ZEND]\r\nPVN_ZEND_EXTENSION_TS=z.dll\r\n"
                  "Zend_Extension_TS=C:\\old\\z.dll\r\n");
  TPvn::UpdatePhpIni(app);
  const std::string after = TKestro::UpperCase(ReadBytes(ini));
  for (const char* key : {"EXTENSION_DIR=", "ZEND_EXTENSION_TS="}) {
    std::size_t first = after.find(std::string("\n") + key);
    EXPECT_NE(first, std::string::npos) << key;
    EXPECT_EQ(after.find(std::string("\n") + key, first + 1), std::string::npos) << key << after;
  }
  EXPECT_EQ(after.find("OLD"), std::string::npos) << after;
  EXPECT_EQ(Read("Zend", "zend_extension_ts", ini).substr(app.size()),
            D + "php" + D + "Zend" + D + "Optimizer" + D + "lib" + D + "z.dll");
}

TEST_F(Pvn, MissingFilesAreNeverCreated) {
  const std::string app = dir_.Path();
  StartIn(app);
  TPvn::SavePort(8080, app);
  EXPECT_FALSE(platform::FileExists(TPvn::GetSettingsFile(app)));
  EXPECT_FALSE(platform::FileExists(TPvn::GetMyCnfFile(app)));
  EXPECT_FALSE(platform::FileExists(TPvn::GetPhpIniFile(app)));
  EXPECT_TRUE(platform::DirectoryExists(app + D + "log")) << "SavePaths makes the log folder first";
}

TEST_F(Pvn, AReadOnlySettingsFileIsClearedAndWritten) {
  const std::string app = DeliveredTree();
  const std::string file = TPvn::GetSettingsFile(app);
  ASSERT_TRUE(platform::SetReadOnly(file, true));
  TPvn::SavePort(8080, app);
  EXPECT_FALSE(platform::IsReadOnly(file));
  EXPECT_EQ(TPvn::LoadPort(app), "8080");
}

// A tree whose settings file exists but refuses writes: the build links it to a
// kernel file that no one may write, root included.
TEST_F(Pvn, ARefusedWriteRaisesUnableToWrite) {
  const std::string app = PV_REFUSED_TREE;
  const std::string file = TPvn::GetSettingsFile(app);
  if (!platform::FileExists(file)) GTEST_SKIP() << "no unwritable settings file at " << file;
  try {
    TPvn::SavePort(8080, app);
    FAIL() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + file);
  }
}

}  // namespace
