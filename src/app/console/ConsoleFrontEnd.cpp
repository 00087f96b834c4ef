#include "app/console/ConsoleFrontEnd.h"

#include <exception>
#include <ostream>

#include "app/console/CommandQueue.h"
#include "common/KestroClass.h"
#include "http/WebServerClass.h"
#include "platform/Console.h"
#include "platform/HostAddress.h"
#include "services/PvnClass.h"

namespace detail {

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
const char kCommands[] = "start, stop, quit";
constexpr int kErrorAddressInUse = 10048;

}  // namespace detail

TConsoleFrontEnd::TConsoleFrontEnd(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

TConsoleFrontEnd::~TConsoleFrontEnd() = default;

int TConsoleFrontEnd::Run() {
  commands_ = TCommandQueue::ReadingStandardInput();
  std::weak_ptr<TCommandQueue> queue = commands_;
  platform::OnTerminationRequest([queue] {
    if (auto alive = queue.lock()) alive->Push("quit");
  });
  try {
    FormCreate();
    if (!StartServer()) return 1;
    while (Execute(commands_->Pop())) {
    }
  } catch (const std::exception& failure) {
    err_ << failure.what() << std::endl;  // a refused write, an uncreatable log folder
    return 1;
  }
  CloseSequence();
  return 0;
}

// The main window's creation without the window: the tree is prepared, the
// server object exists, the port is valid; nothing listens yet.
void TConsoleFrontEnd::FormCreate() {
  TPvn::UpdateMyCnf();
  TPvn::SavePaths();
  TPvn::UpdatePhpIni();
  savedPort_ = TPvn::LoadPort();
  portText_ = savedPort_;
  localIp_ = platform::LocalHostAddress();
  if (localIp_.empty()) localIp_ = "127.0.0.1";
  webServer_ = std::make_unique<TWebServer>(TPvn::GetSettingsFile());
  RefreshPortAndUrls();
}

// The server reads its port from the settings file, so an invalid or changed
// port is written there before every start.
void TConsoleFrontEnd::RefreshPortAndUrls() {
  std::int64_t port = TKestro::StrToInt64Def(TKestro::Trim(portText_), 0);
  if (port < 1 || port > 65535) {
    port = detail::kDefaultPort;
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
    err_ << (webServer_->LastError() == detail::kErrorAddressInUse
                 ? detail::kPortInUse + portText_ + "."
                 : std::string(detail::kStartFailed))
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
    out_ << detail::kStarted << std::endl;
    return;
  }
  try {
    RefreshPortAndUrls();
  } catch (const std::exception& failure) {
    err_ << failure.what() << std::endl;  // the port could not be saved
    return;
  }
  if (StartServer()) out_ << detail::kStartedOk << std::endl;
}

void TConsoleFrontEnd::TrayStop() {
  if (!webServer_->Active()) {
    out_ << detail::kStopped << std::endl;
    return;
  }
  StopServer();
  if (webServer_->Active())
    err_ << detail::kStopFailed << std::endl;
  else
    out_ << detail::kStoppedOk << std::endl;
}

// The two panels of the status bar, one line each.
void TConsoleFrontEnd::UpdateStatus(bool stopped) {
  if (stopped)
    out_ << detail::kStoppedHint << "\n" << detail::kStopped << std::endl;
  else
    out_ << detail::kStartedSince << TKestro::FormatUsDateTime(TKestro::NowLocal()) << "\n"
         << detail::kStarted << std::endl;
}

void TConsoleFrontEnd::PrintUrls() {
  for (const auto& url : urls_) out_ << url << "\n";
  out_.flush();
}

// False for quit.
bool TConsoleFrontEnd::Execute(const std::string& line) {
  std::string command = TKestro::LowerCase(TKestro::Trim(line));
  if (command == "quit") return false;
  if (command == "start")
    TrayStart();
  else if (command == "stop")
    TrayStop();
  else if (!command.empty())
    err_ << detail::kCommands << std::endl;
  return true;
}

void TConsoleFrontEnd::CloseSequence() {
  out_ << detail::kFarewell << std::endl;
  webServer_.reset();
}
