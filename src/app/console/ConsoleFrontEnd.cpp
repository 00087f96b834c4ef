#include "app/console/ConsoleFrontEnd.h"

#include <exception>
#include <ostream>
#include <vector>

#include "app/console/CommandQueue.h"
#include "common/KestroClass.h"
#include "http/WebServerClass.h"
#include "platform/Console.h"
#include "platform/HostAddress.h"
#include "services/PvnClass.h"

namespace {

constexpr int kDefaultPort = 60080;
const char kStoppedHint[] = "点击\"开始\"按钮启动服务器.";
const char kStopped[] = "已停止";
const char kStarted[] = "已启动";
const char kStartedSince[] = "开始时间: ";
const char kStartedOk[] = "服务已成功启动.";
const char kStoppedOk[] = "服务已成功停止.";
const char kStopFailed[] = "服务停止失败.";
const char kStartFailed[] = "服务器启动失败.";
const char kPortInUse[] = "错误 (10048) 端口不能打开 ";
const char kFarewell[] = "再见,请稍候...";
const char kCommands[] = "start, stop, autorun on, autorun off, quit";
const char kAutostartWord[] = "自动";
const char kAutoRunOn[] = "登录时运行: 开";
const char kAutoRunOff[] = "登录时运行: 关";
const char kAppTitle[] = "Portavane";

bool IsAutostart(const std::vector<std::string>& parameters) {
  return parameters.size() > 1 && TKestro::UpperCase(TKestro::Trim(parameters[1])) == kAutostartWord;
}
constexpr int kErrorAddressInUse = 10048;

}  // namespace

TConsoleFrontEnd::TConsoleFrontEnd(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

TConsoleFrontEnd::~TConsoleFrontEnd() = default;

int TConsoleFrontEnd::Run(const std::vector<std::string>& parameters) {
  bool autostart = IsAutostart(parameters);
  if (autostart) info_ = &nowhere_;
  // Only input that can end ends the program: none is read when it was
  // started at log-on or given the null device.
  bool reading = !autostart && !platform::StandardInputIsNull();
  commands_ = reading ? TCommandQueue::ReadingStandardInput() : std::make_shared<TCommandQueue>();
  std::weak_ptr<TCommandQueue> queue = commands_;
  platform::OnTerminationRequest([queue] {
    if (auto alive = queue.lock()) alive->Push("quit");
  });
  int code = 0;
  try {
    FormCreate();
    if (StartServer()) {
      while (Execute(commands_->Pop())) {
      }
    } else {
      code = 1;
    }
  } catch (const std::exception& failure) {
    err_ << failure.what() << std::endl;  // a refused write, an uncreatable log folder
    code = 1;
  }
  CloseSequence(code == 0);
  return code;
}

// The main window's creation without the window, in its order: the tree is
// prepared, MySQL started, the server object exists, the port is valid;
// nothing listens yet.
void TConsoleFrontEnd::FormCreate() {
  TPvn::UpdateMyCnf();
  TPvn::StartMysql();
  TPvn::SavePaths();
  TPvn::UpdatePhpIni();
  savedPort_ = TPvn::LoadPort();
  portText_ = savedPort_;
  PrintSettings();
  PrintAutoRun(TKestro::CheckAutoRun(kAppTitle, TPvn::GetAutoRunData()));
  localIp_ = platform::LocalHostAddress();
  if (localIp_.empty()) localIp_ = "127.0.0.1";
  webServer_ = std::make_unique<TWebServer>(TPvn::GetSettingsFile());
  RefreshPortAndUrls();
}

// The window's settings but the port, which the URLs show; the log folder is made if missing.
void TConsoleFrontEnd::PrintSettings() {
  *info_ << "文档目录: " << TPvn::GetRootDir() << "\n"
         << "pvn.ini: " << TPvn::GetSettingsFile() << "\n"
         << "php.ini: " << TPvn::GetPhpIniFile() << "\n"
         << "日志目录: " << TPvn::GetLogDir() << "\n"
         << "MySQL目录: " << TPvn::GetMysqlDir() << std::endl;
}

// The server reads its port from the settings file, so an invalid or changed
// port is written there before every start.
void TConsoleFrontEnd::RefreshPortAndUrls() {
  std::int64_t port = TKestro::StrToInt64Def(TKestro::Trim(portText_), 0);
  if (port < 1 || port > 65535) {
    port = kDefaultPort;
    portText_ = std::to_string(port);
  }
  std::string text = std::to_string(port);
  if (text != savedPort_) {
    savedPort_ = text;
    TPvn::SavePort(static_cast<int>(port));
  }
  urls_ = {"http://localhost:" + text, "http://127.0.0.1:" + text,
           "http://" + localIp_ + ":" + text};
}

bool TConsoleFrontEnd::StartServer() {
  webServer_->Start();
  if (!webServer_->Active()) {
    err_ << (webServer_->LastError() == kErrorAddressInUse
                 ? kPortInUse + portText_ + "."
                 : std::string(kStartFailed))
         << std::endl;
    return false;
  }
  UpdateStatus(false);
  PrintUrls();
  return true;
}

void TConsoleFrontEnd::StopServer() {
  webServer_->Stop();
  UpdateStatus(!webServer_->Active());
}

void TConsoleFrontEnd::TrayStart() {
  if (webServer_->Active()) {
    *info_ << kStarted << std::endl;
    return;
  }
  try {
    RefreshPortAndUrls();
  } catch (const std::exception& failure) {
    err_ << failure.what() << std::endl;  // the port could not be saved
    return;
  }
  if (StartServer()) *info_ << kStartedOk << std::endl;
}

void TConsoleFrontEnd::TrayStop() {
  if (!webServer_->Active()) {
    *info_ << kStopped << std::endl;
    return;
  }
  StopServer();
  if (webServer_->Active())
    err_ << kStopFailed << std::endl;
  else
    *info_ << kStoppedOk << std::endl;
}

// The check box's click; the state printed is the one found afterwards.
void TConsoleFrontEnd::SetAutoRun(bool on) {
  TKestro::SetAutoRun(on, kAppTitle, TPvn::GetAutoRunData());
  PrintAutoRun(TKestro::CheckAutoRun(kAppTitle, TPvn::GetAutoRunData()));
}

void TConsoleFrontEnd::PrintAutoRun(bool on) {
  *info_ << (on ? kAutoRunOn : kAutoRunOff) << std::endl;
}

// The two panels of the status bar, one line each.
void TConsoleFrontEnd::UpdateStatus(bool stopped) {
  if (stopped)
    *info_ << kStoppedHint << "\n" << kStopped << std::endl;
  else
    *info_ << kStartedSince << TKestro::FormatUsDateTime(TKestro::NowLocal()) << "\n"
         << kStarted << std::endl;
}

void TConsoleFrontEnd::PrintUrls() {
  for (const auto& url : urls_) *info_ << url << "\n";
  info_->flush();
}

// False for quit.
bool TConsoleFrontEnd::Execute(const std::string& line) {
  std::string command = TKestro::LowerCase(TKestro::Trim(line));
  if (command == "quit") return false;
  if (command == "start")
    TrayStart();
  else if (command == "stop")
    TrayStop();
  else if (command == "autorun on")
    SetAutoRun(true);
  else if (command == "autorun off")
    SetAutoRun(false);
  else if (!command.empty())
    err_ << kCommands << std::endl;
  return true;
}

// The HTTP server goes first, then the database, which may take up to 30
// seconds; the farewell is printed only for an end the user asked for.
void TConsoleFrontEnd::CloseSequence(bool farewell) {
  if (farewell) *info_ << kFarewell << std::endl;
  webServer_.reset();
  TPvn::StopMysql();
}
