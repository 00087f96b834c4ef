// The console program: the entry procedure with the console front end.
#include <iostream>

#include "app/StartUp.h"
#include "app/console/ConsoleFrontEnd.h"
#include "platform/Console.h"

int main(int argc, char** argv) {
  platform::SurviveLostConsole();
  TStartUpFrontEnd frontEnd;
  frontEnd.showError = [](const std::string& message) { std::cerr << message << std::endl; };
  frontEnd.runMainInstance = [](const std::vector<std::string>& parameters) {
    return TConsoleFrontEnd(std::cout, std::cerr).Run(parameters);
  };
  return RunEntryProcedure(std::vector<std::string>(argv + 1, argv + argc), frontEnd);
}
