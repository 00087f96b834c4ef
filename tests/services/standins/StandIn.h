// What the stand-ins for the MySQL programs share: their folder, their
// record of the command line, the addresses a server stand-in listens on,
// and a time after which they end by themselves so a failed test leaves
// nothing running for long.
//
// The folder that holds the trees stands for the machine: a port is taken by
// a folder "ports/<number>" there, naming in its file "server" the folder of
// the server that holds it; a socket is a file at its path naming the same.
#pragma once
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace standin {

namespace fs = std::filesystem;
constexpr std::chrono::seconds kLifetime(120);

inline fs::path Folder(const char* argv0) { return fs::absolute(fs::path(argv0)).parent_path(); }

// The tree's mysql/bin is three levels below the folder of the trees.
inline fs::path Port(const fs::path& folder, const std::string& port) {
  return folder.parent_path().parent_path().parent_path() / "ports" / port;
}

// One parameter a line, in <folder>/<name>.args.
inline void RecordArguments(const fs::path& folder, const std::string& name, int argc, char** argv) {
  std::ofstream record(folder / (name + ".args"), std::ios::trunc);
  for (int i = 1; i < argc; ++i) record << argv[i] << "\n";
}

inline std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// Waits until `done` holds or the lifetime is over.
template <typename Done>
void WaitUntil(Done done) {
  const auto end = std::chrono::steady_clock::now() + kLifetime;
  while (!done() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace standin
