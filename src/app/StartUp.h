// The entry procedure shared by the front ends: the drive check, then either
// the launcher (sets PHPRC and starts the executable again with the switch)
// or the main instance (the application folder as current folder, one main
// instance per user, then the front end).
#pragma once
#include <functional>
#include <string>
#include <vector>

// What the entry procedure asks of a front end.
struct TStartUpFrontEnd {
  // Tells the user of a failure.
  std::function<void(const std::string& message)> showError;
  // Runs the main instance while its guard is held; the exit code.
  std::function<int(const std::vector<std::string>& parameters)> runMainInstance;
};

// `parameters`: the command line's parameters after the program's path.
// The exit code: 0, or non-zero after a failure told through showError.
int RunEntryProcedure(const std::vector<std::string>& parameters, const TStartUpFrontEnd& frontEnd);
