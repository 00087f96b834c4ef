// Stands in for the MySQL server: runs until the administration stand-in
// beside it leaves the file "shutdown", unless the file "ignore-shutdown" is
// there too.
#include "StandIn.h"

int main(int argc, char** argv) {
  const auto folder = standin::Folder(argv[0]);
  standin::RecordArguments(folder, "mysqld", argc, argv);
  standin::WaitUntil([&] {
    return standin::fs::exists(folder / "shutdown") && !standin::fs::exists(folder / "ignore-shutdown");
  });
  return 0;
}
