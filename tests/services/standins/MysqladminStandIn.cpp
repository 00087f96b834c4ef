// Stands in for the MySQL administration program: asks the server stand-in
// beside it to end by leaving the file "shutdown", or hangs when the file
// "hang" is there.
#include "StandIn.h"

int main(int argc, char** argv) {
  const auto folder = standin::Folder(argv[0]);
  standin::RecordArguments(folder, "mysqladmin", argc, argv);
  if (standin::fs::exists(folder / "hang")) {
    standin::WaitUntil([] { return false; });
    return 1;
  }
  std::ofstream(folder / "shutdown") << "shutdown\n";
  return 0;
}
