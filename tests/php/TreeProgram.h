// The console program run from a temporary copy of the assembled Linux tree
// (dist/Portavane, or the one PV_ASSEMBLED_TREE names): its program, php/ (module, php-cgi, extensions, php.ini)
// and settings, with a www/ of the test's own pages and a free port. With
// MySQL, also the tree's mysql/ on a free port of its own, in a folder whose
// path holds a blank, and the program commanded on standard input.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HttpTestSupport.h"

class TreeProgram {
 public:
  // The assembled tree this copies; empty when there is none.
  static std::string AssembledTree();

  enum class Mysql { kLeftOut, kIncluded };
  explicit TreeProgram(Mysql mysql = Mysql::kLeftOut);
  ~TreeProgram();  // quits the program if it still runs, and ends a MariaDB it left
  TreeProgram(const TreeProgram&) = delete;
  TreeProgram& operator=(const TreeProgram&) = delete;

  void WritePage(const std::string& relative, const std::string& content) const;
  // Debian's phpMyAdmin copied into www/phpmyadmin and set up as the README
  // says: reading its settings and keeping its cache in its own folder, root
  // without a password where the tree's local-login.php allows it.
  void DropInPhpMyAdmin() const;
  // Starts the program and waits until its port answers.
  bool Start();
  // Waits (up to a minute) until PHP reaches the tree's MariaDB at
  // "localhost", as the tree's tools reach it.
  bool DatabaseAnswers() const;
  // Asks the program to end (with MySQL the command quit, else SIGTERM, as a
  // terminal's Ctrl+C would) and waits.
  bool Quit();
  // Ends the program at once, leaving it no chance to clean up.
  void Kill();
  // The php-cgi processes the program started, and their children, in order.
  std::vector<pid_t> PhpCgiProcesses() const;
  std::string Output() const;  // what the program printed
  const std::string& Root() const { return root_; }  // the tree's folder

  int port = 0;
  int mysqlPort = 0;

 private:
  httptest::TempFolder folder_;
  bool mysql_ = false;
  std::string root_;
  std::unique_ptr<ChildProcess> program_;
};

// True when the process is gone (or only a zombie is left of it).
bool ProcessGone(pid_t pid);

// A suite served by one program run from a copy of the assembled tree (with
// its MariaDB when `kMysql` says so): `Suite::Prepare` writes its pages before
// the program starts, and `Suite::Ready`, when the suite has one, sets up
// what needs the running program; every case is skipped when no tree is
// assembled.
template <typename Suite, TreeProgram::Mysql kMysql = TreeProgram::Mysql::kLeftOut>
class SharedTreeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TreeProgram::AssembledTree().empty()) return;
    tree_ = new TreeProgram(kMysql);
    Suite::Prepare(*tree_);
    started_ = tree_->Start() && Suite::Ready(*tree_);
  }
  static bool Ready(const TreeProgram&) { return true; }
  static void TearDownTestSuite() {
    delete tree_;
    tree_ = nullptr;
  }
  void SetUp() override {
    if (!tree_) GTEST_SKIP() << "no assembled tree: run make tree";
    ASSERT_TRUE(started_) << tree_->Output();
  }
  static httptest::Response Ask(const std::string& request, bool noBody = false) {
    return httptest::Client(tree_->port).Request(request, noBody);
  }

  static inline TreeProgram* tree_ = nullptr;
  static inline bool started_ = false;
};
