#include "app/Controller.h"

#include "app/AppTexts.h"
#include "common/KestroClass.h"
#include "http/WebServerClass.h"
#include "platform/HostAddress.h"
#include "platform/Socket.h"
#include "services/PvnClass.h"

TController::TController() = default;
TController::~TController() = default;

bool TController::IsAutostart(const std::vector<std::string>& parameters) {
  return parameters.size() > 1 &&
         TKestro::UpperCase(TKestro::Trim(parameters[1])) == app_text::kAutostartWord;
}

void TController::PrepareTree() {
  TPvn::UpdateMyCnf();
  TPvn::StartMysql();
  TPvn::SavePaths();
  TPvn::UpdatePhpIni();
}

std::string TController::LoadPort() {
  savedPort_ = TPvn::LoadPort();
  return savedPort_;
}

void TController::CreateServer() {
  networkAddress_ = platform::NetworkAddress();
  webServer_ = std::make_unique<TWebServer>(TPvn::GetSettingsFile());
}

TPortChoice TController::ChoosePort(const std::string& typed) {
  const std::int64_t port = TKestro::StrToInt64Def(TKestro::Trim(typed), 0);
  if (port < 1 || port > 65535) return {app_text::kDefaultPort, true};
  return {static_cast<int>(port), false};
}

std::array<std::string, 3> TController::UsePort(int number) {
  const std::string port = std::to_string(number);
  if (port != savedPort_) {
    savedPort_ = port;
    TPvn::SavePort(number);
  }
  return {"http://localhost:" + port, "http://127.0.0.1:" + port,
          networkAddress_.empty() ? std::string() : "http://" + networkAddress_ + ":" + port};
}

TStartOutcome TController::Start(const std::function<void()>& processEvents) {
  webServer_->Start(processEvents);
  if (webServer_->Active()) return TStartOutcome::Started;
  return webServer_->LastError() == platform::kAddressInUse ? TStartOutcome::PortInUse
                                                             : TStartOutcome::Failed;
}

std::string TController::StartFailureText(TStartOutcome outcome, const std::string& portText) {
  if (outcome == TStartOutcome::PortInUse) return app_text::kPortInUse + portText + ".";
  return app_text::kStartFailed;
}

// The outcome follows what the server reports, not what was asked.
TStopOutcome TController::Stop(const std::function<void()>& processEvents) {
  webServer_->Stop(processEvents);
  return webServer_->Active() ? TStopOutcome::StillRunning : TStopOutcome::Stopped;
}

bool TController::Active() const { return webServer_ && webServer_->Active(); }

const char* TController::StateText(bool stopped) {
  return stopped ? app_text::kStopped : app_text::kStarted;
}

std::string TController::StartedSinceNow() {
  return app_text::kStartedSince + TKestro::FormatUsDateTime(TKestro::NowLocal());
}

bool TController::CheckAutoRun() {
  return TKestro::CheckAutoRun(app_text::kApplicationTitle, TPvn::GetAutoRunData());
}

void TController::SetAutoRun(bool on) {
  TKestro::SetAutoRun(on, app_text::kApplicationTitle, TPvn::GetAutoRunData());
}

// The HTTP server goes first, then the database, which may take up to 30
// seconds.
void TController::Close() {
  webServer_.reset();
  TPvn::StopMysql();
}
