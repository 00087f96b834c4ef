// TConsoleFrontEnd: the main instance without a window, a view of the
// controller. It prepares the tree and starts the MySQL server, prints the
// tree's folders and files and whether it starts at log-on, starts the HTTP
// server at once and prints its state and addresses, and then follows
// commands from standard input: start, stop, autorun on, autorun off, quit.
#pragma once
#include <array>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/Controller.h"

class TCommandQueue;

class TConsoleFrontEnd {
 public:
  TConsoleFrontEnd(std::ostream& out, std::ostream& err);
  ~TConsoleFrontEnd();
  TConsoleFrontEnd(const TConsoleFrontEnd&) = delete;
  TConsoleFrontEnd& operator=(const TConsoleFrontEnd&) = delete;

  // `parameters`: the main instance's (the switch, then the autostart word if
  // any). Runs until quit, the end of standard input, SIGINT, SIGTERM or
  // SIGHUP (exit code 0), or until preparing the tree or the first start
  // fails (non-zero, the message on the error stream); the MySQL server is
  // stopped on every way out. Started with the autostart word it prints only
  // failures. Standard input is not read when it is the null device or the
  // autostart word was given (a session starts it with no input), so that
  // only a signal ends it then.
  int Run(const std::vector<std::string>& parameters);

 private:
  void Open();
  void PrintSettings();
  bool StartServer();
  void StartCommand();
  void StopCommand();
  void AutoRunCommand(bool on);
  void PrintAutoRun(bool on);
  bool Execute(const std::string& command);
  void Close(bool farewell);

  std::ostream& out_;  // what the user is told; nowhere when started at log-on
  std::ostream& err_;
  std::ostream nowhere_{nullptr};
  std::ostream* info_ = &out_;
  std::shared_ptr<TCommandQueue> commands_;
  TController control_;
  std::string port_;  // the port the server takes, as the settings file holds it
  std::array<std::string, 3> urls_;
};
