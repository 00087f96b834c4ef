#include "app/console/ConsoleFrontEnd.h"

#include <exception>
#include <ostream>

#include "app/AppTexts.h"
#include "app/console/CommandQueue.h"
#include "common/KestroClass.h"
#include "http/ProjectHosts.h"
#include "platform/Console.h"
#include "services/PvnClass.h"

namespace {

const char kCommands[] = "start, stop, autorun on, autorun off, quit";
const char kAutoRunOn[] = "登录时运行: 开";
const char kAutoRunOff[] = "登录时运行: 关";

// The address of each project's own host, unless pvn.ini turns them off.
std::vector<std::string> ProjectUrls(const std::string& port) {
  std::vector<std::string> urls;
  if (TKestro::Trim(TKestro::ReadIniString("PVN", "projecthosts", TPvn::GetSettingsFile())) == "0")
    return urls;
  for (const std::string& name : ProjectNames(TPvn::GetRootDir())) urls.push_back(ProjectUrl(name, port));
  return urls;
}

}  // namespace

TConsoleFrontEnd::TConsoleFrontEnd(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

TConsoleFrontEnd::~TConsoleFrontEnd() = default;

int TConsoleFrontEnd::Run(const std::vector<std::string>& parameters) {
  const bool autostart = TController::IsAutostart(parameters);
  if (autostart) info_ = &nowhere_;
  // Only input that can end ends the program: none is read when it was
  // started at log-on or given the null device.
  const bool reading = !autostart && !platform::StandardInputIsNull();
  commands_ = reading ? TCommandQueue::ReadingStandardInput() : std::make_shared<TCommandQueue>();
  std::weak_ptr<TCommandQueue> queue = commands_;
  platform::OnTerminationRequest([queue] {
    if (auto alive = queue.lock()) alive->Push("quit");
  });
  int code = 0;
  try {
    Open();
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
  Close(code == 0);
  return code;
}

// The tree prepared, MySQL started, the server object made for a valid
// port; nothing listens yet.
void TConsoleFrontEnd::Open() {
  TController::PrepareTree();
  const TPortChoice choice = TController::ChoosePort(control_.LoadPort());
  port_ = std::to_string(choice.port);
  PrintSettings();
  PrintAutoRun(TController::CheckAutoRun());
  control_.CreateServer();
  urls_ = control_.UsePort(choice.port);
}

// The tree's folders and files; the log folder is made if missing.
void TConsoleFrontEnd::PrintSettings() {
  *info_ << "文档目录: " << TPvn::GetRootDir() << "\n"
         << "pvn.ini: " << TPvn::GetSettingsFile() << "\n"
         << "php.ini: " << TPvn::GetPhpIniFile() << "\n"
         << "日志目录: " << TPvn::GetLogDir() << "\n"
         << "MySQL目录: " << TPvn::GetMysqlDir() << std::endl;
}

// Started: the time, the state and the addresses, a line each.
bool TConsoleFrontEnd::StartServer() {
  const TStartOutcome outcome = control_.Start();
  if (outcome != TStartOutcome::Started) {
    err_ << TController::StartFailureText(outcome, port_) << std::endl;
    return false;
  }
  *info_ << TController::StartedSinceNow() << "\n" << TController::StateText(false) << "\n";
  for (const auto& url : urls_)
    if (!url.empty()) *info_ << url << "\n";
  for (const auto& url : ProjectUrls(port_)) *info_ << url << "\n";
  info_->flush();
  return true;
}

void TConsoleFrontEnd::StartCommand() {
  if (control_.Active()) {
    *info_ << TController::StateText(false) << std::endl;
    return;
  }
  if (StartServer()) *info_ << app_text::kStartedOk << std::endl;
}

void TConsoleFrontEnd::StopCommand() {
  if (!control_.Active()) {
    *info_ << TController::StateText(true) << std::endl;
    return;
  }
  if (control_.Stop() == TStopOutcome::StillRunning) {
    err_ << app_text::kStopFailed << std::endl;
    return;
  }
  *info_ << TController::StateText(true) << "\n" << app_text::kStoppedOk << std::endl;
}

// The state printed is the one found afterwards.
void TConsoleFrontEnd::AutoRunCommand(bool on) {
  TController::SetAutoRun(on);
  PrintAutoRun(TController::CheckAutoRun());
}

void TConsoleFrontEnd::PrintAutoRun(bool on) {
  *info_ << (on ? kAutoRunOn : kAutoRunOff) << std::endl;
}

// False for quit.
bool TConsoleFrontEnd::Execute(const std::string& line) {
  const std::string command = TKestro::LowerCase(TKestro::Trim(line));
  if (command == "quit") return false;
  if (command == "start")
    StartCommand();
  else if (command == "stop")
    StopCommand();
  else if (command == "autorun on")
    AutoRunCommand(true);
  else if (command == "autorun off")
    AutoRunCommand(false);
  else if (!command.empty())
    err_ << kCommands << std::endl;
  return true;
}

// The farewell is printed only for an end the user asked for.
void TConsoleFrontEnd::Close(bool farewell) {
  if (farewell) *info_ << app_text::kFarewell << std::endl;
  control_.Close();
}
