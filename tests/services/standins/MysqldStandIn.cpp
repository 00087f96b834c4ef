// Stands in for the MySQL server: takes the port and the socket that the
// my.cnf beside it names, ending at once as a server that cannot bind when
// another holds the port, then runs until the file "shutdown" appears beside
// it, unless the file "ignore-shutdown" is there too.
#include "StandIn.h"

namespace {

std::string Trimmed(std::string text) {
  text.erase(0, text.find_first_not_of(" \t\r"));
  text.erase(text.find_last_not_of(" \t\r") + 1);
  return text;
}

// The value of `key` in the my.cnf beside the stand-in; "" when it names none.
std::string Option(const standin::fs::path& folder, const std::string& key) {
  std::ifstream cnf(folder / "my.cnf");
  for (std::string line; std::getline(cnf, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && Trimmed(line.substr(0, equals)) == key)
      return Trimmed(line.substr(equals + 1));
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = standin::fs;
  const fs::path folder = standin::Folder(argv[0]);
  const fs::path port = standin::Port(folder, Option(folder, "port"));
  fs::create_directories(port.parent_path());
  const bool bound = fs::create_directory(port);
  standin::RecordArguments(folder, "mysqld", argc, argv);
  if (!bound) return 1;
  std::ofstream(port / "server") << folder.string() << "\n";
  fs::path socket;
  if (std::string name = Option(folder, "socket"); !name.empty()) {
    socket = folder.parent_path() / "data" / name;
    fs::create_directories(socket.parent_path());
    std::ofstream(socket) << folder.string() << "\n";
  }
  standin::WaitUntil([&] {
    return fs::exists(folder / "shutdown") && !fs::exists(folder / "ignore-shutdown");
  });
  std::error_code ignored;
  fs::remove_all(port, ignored);
  if (!socket.empty()) fs::remove(socket, ignored);
  return 0;
}
