// Stands in for the MySQL administration program: asks the server stand-in
// that holds the --socket or --port it is given to end, by leaving the file
// "shutdown" in that server's folder, or hangs when the file "hang" is
// beside it. No server at the address: it fails, as the real one does.
#include "StandIn.h"

int main(int argc, char** argv) {
  namespace fs = standin::fs;
  const fs::path folder = standin::Folder(argv[0]);
  standin::RecordArguments(folder, "mysqladmin", argc, argv);
  if (fs::exists(folder / "hang")) {
    standin::WaitUntil([] { return false; });
    return 1;
  }
  std::string server;
  for (int i = 1; i < argc && server.empty(); ++i) {
    const std::string word = argv[i];
    if (word.rfind("--socket=", 0) == 0) server = standin::FirstLine(word.substr(9));
    if (word.rfind("--port=", 0) == 0) server = standin::FirstLine(standin::Port(folder, word.substr(7)) / "server");
  }
  if (server.empty()) return 1;
  std::ofstream(fs::path(server) / "shutdown") << "shutdown\n";
  return 0;
}
