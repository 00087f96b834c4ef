// A host per project: a request for <name>.localhost (or x.<name>.localhost)
// is served with the folder <name> directly under the document root as its
// own document root, so every project has an origin of its own. Browsers and
// curl resolve every *.localhost name to the loopback address by themselves.
#pragma once
#include <string>
#include <vector>

// The folder of the tree's database tool: under the main host only.
constexpr const char* kToolsFolder = "adminer";

struct TProjectHost {
  enum class Kind { kMain, kProject, kUnknown };
  Kind kind = Kind::kMain;  // kUnknown: a *.localhost name no project has
  std::string root;         // kProject: the project's folder, as a document root
};

// The project that `host` (a Host header, with or without its port) names
// under `documentRoot`. Host names compare without letter case; on Linux,
// where Blog and blog are two folders, the folder named as the lower-cased
// label wins, else the only one that matches without letter case.
TProjectHost ProjectHostOf(const std::string& documentRoot, const std::string& host);

// The folders directly under `documentRoot` that have a host, sorted: names
// that are host labels (letters, digits, inner hyphens, at most 63), never a
// link nor the tools' folder.
std::vector<std::string> ProjectNames(const std::string& documentRoot);

// "http://<name>.localhost:<port>", the name lower-cased as browsers send it.
std::string ProjectUrl(const std::string& name, const std::string& port);

// The 404 page of a *.localhost name without a project: the projects of
// the tree, each a link to its own host at `port`.
std::string UnknownProjectPage(const std::vector<std::string>& projects, const std::string& port);
