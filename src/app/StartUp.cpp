#include "app/StartUp.h"

#include "app/AppTexts.h"
#include "common/KestroClass.h"
#include "platform/Env.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "services/PvnClass.h"

namespace {

using app_text::kAlreadyRunning;
using app_text::kCannotRun;
using app_text::kFolderNameHasLineBreak;
const char kSwitch[] = "PHPRC";

bool IsMainInstance(const std::vector<std::string>& parameters) {
  return !parameters.empty() && TKestro::UpperCase(TKestro::Trim(parameters[0])) == kSwitch;
}

// The main instance inherits PHPRC; only the launcher's first parameter (the
// autostart word, if any) is passed on.
int RunLauncher(const std::vector<std::string>& parameters, const TStartUpFrontEnd& frontEnd) {
  platform::SetEnv("PHPRC", TPvn::GetPhpDir());
  std::vector<std::string> relaunch{kSwitch};
  if (!parameters.empty()) relaunch.push_back(parameters[0]);
  if (platform::RelaunchSelf(relaunch)) return 0;
  frontEnd.showError(kCannotRun);
  return 1;
}

int RunMainInstance(const std::vector<std::string>& parameters, const TStartUpFrontEnd& frontEnd) {
  platform::SetCurrentDir(TKestro::GetAppDir() + platform::PathDelim);  // "E:\" at a drive root
  platform::SingleInstanceGuard guard("_" + TKestro::Md5Hex("PORTAVANE"));
  if (!guard.Acquired()) {
    frontEnd.showError(kAlreadyRunning);
    return 1;
  }
  return frontEnd.runMainInstance(parameters);
}

}  // namespace

int RunEntryProcedure(const std::vector<std::string>& parameters, const TStartUpFrontEnd& frontEnd) {
  if (!platform::IsLocalDrive(platform::ExecutablePath())) {
    frontEnd.showError(kCannotRun);
    return 1;
  }
  // A line break would cut every path written into pvn.ini, my.cnf and
  // php.ini short: the document root would be the part before it.
  if (TKestro::GetAppDir().find_first_of("\r\n") != std::string::npos) {
    frontEnd.showError(kFolderNameHasLineBreak);
    return 1;
  }
  return IsMainInstance(parameters) ? RunMainInstance(parameters, frontEnd)
                                            : RunLauncher(parameters, frontEnd);
}
