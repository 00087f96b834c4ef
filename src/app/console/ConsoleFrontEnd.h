// TConsoleFrontEnd: the main instance without a window. It prepares the tree
// as the main window's creation does, starts the HTTP server at once, prints
// what the status bar would show, and then takes the tray menu's commands
// from standard input: start, stop, quit.
#pragma once
#include <array>
#include <iosfwd>
#include <memory>
#include <string>

class TCommandQueue;
class TWebServer;

class TConsoleFrontEnd {
 public:
  TConsoleFrontEnd(std::ostream& out, std::ostream& err);
  ~TConsoleFrontEnd();
  TConsoleFrontEnd(const TConsoleFrontEnd&) = delete;
  TConsoleFrontEnd& operator=(const TConsoleFrontEnd&) = delete;

  // Runs until quit, SIGINT or SIGTERM (exit code 0), or until creation or
  // the first start fails (non-zero, the message on the error stream).
  int Run();

 private:
  void FormCreate();
  void RefreshPortAndUrls();
  bool StartServer();
  void StopServer();
  void TrayStart();
  void TrayStop();
  void UpdateStatus(bool stopped);
  void PrintUrls();
  bool Execute(const std::string& command);
  void CloseSequence();

  std::ostream& out_;
  std::ostream& err_;
  std::shared_ptr<TCommandQueue> commands_;
  std::unique_ptr<TWebServer> webServer_;
  std::string localIp_;
  std::string savedPort_;
  std::string portText_;  // what the window's port field holds
  std::array<std::string, 3> urls_;
};
