// TController: what the window and the console both do with the tree and
// its servers, so that each front end only shows the outcome: the tree
// prepared in its order, the HTTP server object, the port rule, start and
// stop with a typed outcome, the start-at-log-on entry and the close
// sequence. Everything runs on the front end's thread.
#pragma once
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TWebServer;

enum class TStartOutcome { Started, PortInUse, Failed };
enum class TStopOutcome { Stopped, StillRunning };

// A port typed by the user as the server will take it.
struct TPortChoice {
  int port;
  bool replaced;  // the text was no port from 1 to 65535: the default took its place
};

class TController {
 public:
  TController();
  // Without the close sequence: the HTTP server object is destroyed, the
  // MySQL server is left running.
  ~TController();
  TController(const TController&) = delete;
  TController& operator=(const TController&) = delete;

  // Whether the main instance's parameters (the switch first) hold the
  // autostart word as the second, trimmed, in capitals.
  static bool IsAutostart(const std::vector<std::string>& parameters);

  // my.cnf rewritten, the MySQL server started, root and log written into the
  // settings file, php.ini rewritten, in this order; a refused write throws
  // std::runtime_error and leaves the rest undone.
  static void PrepareTree();
  // The settings file's port, remembered as the one last read or written.
  std::string LoadPort();
  // The HTTP server object for the settings file, not started, and the
  // machine's network address for the third URL.
  void CreateServer();

  // The port rule: the trimmed text as a decimal number from 1 to 65535,
  // else the default port.
  static TPortChoice ChoosePort(const std::string& typed);
  // Writes `port` into the settings file when it differs from the one last
  // read or written there, as the server reads its port from that file when
  // it starts; then the three URLs of the port (localhost, 127.0.0.1, the
  // machine's network address; "" for a machine without one). Throws as PrepareTree.
  std::array<std::string, 3> UsePort(int port);

  // Starts the HTTP server, calling `processEvents` while it waits.
  TStartOutcome Start(const std::function<void()>& processEvents = {});
  // What a failed start tells the user; `portText` is the port as shown.
  static std::string StartFailureText(TStartOutcome outcome, const std::string& portText);
  TStopOutcome Stop(const std::function<void()>& processEvents = {});
  bool Active() const;
  // The state text of the status bar, the tooltip and the console.
  static const char* StateText(bool stopped);
  // "开始时间: " and the local date and time now, as month/day/year.
  static std::string StartedSinceNow();

  // The start-at-log-on entry of the application title and this executable:
  // whether it is present (then rewritten for the tree's present place), and
  // written or deleted.
  static bool CheckAutoRun();
  static void SetAutoRun(bool on);

  // The HTTP server stopped and destroyed, then the MySQL server stopped;
  // returns when it is gone or has been ended. The front end has shown its
  // farewell by then.
  void Close();

 private:
  std::unique_ptr<TWebServer> webServer_;
  std::string networkAddress_;
  std::string savedPort_;
};
