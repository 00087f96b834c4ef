// TConsoleFrontEnd: the main instance without a window. It prepares the tree
// and starts the MySQL server as the main window's creation does, prints the
// settings the window would show, starts the HTTP server at once, prints what
// the status bar would show, and then takes the tray menu's commands and the
// check box's two clicks from standard input: start, stop, autorun on,
// autorun off, quit.
#pragma once
#include <array>
#include <iosfwd>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class TCommandQueue;
class TWebServer;

class TConsoleFrontEnd {
 public:
  TConsoleFrontEnd(std::ostream& out, std::ostream& err);
  ~TConsoleFrontEnd();
  TConsoleFrontEnd(const TConsoleFrontEnd&) = delete;
  TConsoleFrontEnd& operator=(const TConsoleFrontEnd&) = delete;

  // `parameters`: the main instance's (the switch, then the autostart word if
  // any). Runs until quit, the end of standard input, SIGINT, SIGTERM or
  // SIGHUP (exit code 0), or until creation or the first start fails
  // (non-zero, the message on the error stream); the MySQL server is stopped
  // on every way out. Started with the autostart word it prints only
  // failures. Standard input is not read when it is the null device or the
  // autostart word was given (a session starts it with no input), so that
  // only a signal ends it then.
  int Run(const std::vector<std::string>& parameters);

 private:
  void FormCreate();
  void PrintSettings();
  void RefreshPortAndUrls();
  bool StartServer();
  void StopServer();
  void TrayStart();
  void TrayStop();
  void SetAutoRun(bool on);
  void PrintAutoRun(bool on);
  void UpdateStatus(bool stopped);
  void PrintUrls();
  bool Execute(const std::string& command);
  void CloseSequence(bool farewell);

  std::ostream& out_;  // what the window would show; nowhere when started at log-on
  std::ostream& err_;
  std::ostream nowhere_{nullptr};
  std::ostream* info_ = &out_;
  std::shared_ptr<TCommandQueue> commands_;
  std::unique_ptr<TWebServer> webServer_;
  std::string localIp_;
  std::string savedPort_;
  std::string portText_;  // what the window's port field holds
  std::array<std::string, 3> urls_;
};
