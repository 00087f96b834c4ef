// The console program: the entry procedure with the console front end.
// --help and --version answer as command-line programs do, before anything
// starts.
#include <iostream>
#include <string>

#include "app/StartUp.h"
#include "app/console/ConsoleFrontEnd.h"
#include "common/Product.h"
#include "platform/Console.h"

namespace {

const char kUsage[] =
    "Usage: portavane [" PV_AUTOSTART_WORD "]\n"
    "Serves the www folder of the tree around the program over HTTP, runs its\n"
    "PHP pages and its MySQL server, and follows commands on standard input:\n"
    "start, stop, autorun on, autorun off (start at log-on), quit.\n"
    "With " PV_AUTOSTART_WORD ", as started at log-on, it prints nothing and reads no input.\n"
    "  --help     this text\n"
    "  --version  the version\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--help") {
    std::cout << kUsage;
    return 0;
  }
  if (first == "--version") {
    std::cout << PV_PRODUCT_NAME " " PV_VERSION "\n";
    return 0;
  }
  platform::SurviveLostConsole();
  TStartUpFrontEnd frontEnd;
  frontEnd.showError = [](const std::string& message) { std::cerr << message << std::endl; };
  frontEnd.runMainInstance = [](const std::vector<std::string>& parameters) {
    return TConsoleFrontEnd(std::cout, std::cerr).Run(parameters);
  };
  return RunEntryProcedure(std::vector<std::string>(argv + 1, argv + argc), frontEnd);
}
