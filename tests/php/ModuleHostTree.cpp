// The host's PHP on Linux: a copy of the assembled tree, whose program has
// run once to write the tree's paths into php.ini, and its real php-cgi.
#include <cstdlib>
#include <fstream>

#include "ModuleHost.h"
#include "TreeProgram.h"

struct PhpFolder::Parts {
  TreeProgram tree;
};

PhpFolder::PhpFolder() {
  if (TreeProgram::AssembledTree().empty()) return;
  parts_ = std::make_unique<Parts>();
  if (!parts_->tree.Start() || !parts_->tree.Quit()) {
    parts_.reset();
    return;
  }
  setenv("PHPRC", (parts_->tree.Root() + "/php").c_str(), 1);  // as the program sets it
}

PhpFolder::~PhpFolder() = default;

std::string PhpFolder::Module() const {
  return parts_ ? parts_->tree.Root() + "/php/phpisapi.so" : std::string();
}

std::string PhpFolder::DocumentRoot() const { return parts_->tree.Root() + "/www"; }

bool PhpFolder::RealPhp() const { return true; }

void PhpFolder::WriteSettings(const std::string& ini) const {
  std::ofstream(parts_->tree.Root() + "/php/phpisapi.ini", std::ios::trunc) << ini;
}

void PhpFolder::WritePage(const std::string& relative) const {
  parts_->tree.WritePage(relative,
                         "<?php if ($_SERVER['QUERY_STRING'] === 'hang') sleep(60);\n"
                         "header('Content-Type: text/plain');\n"
                         "echo 'pid=', getmypid(), \"\\n\";\n"
                         "foreach ($_SERVER as $k => $v)\n"
                         "  if (is_string($v)) echo $k, '=', $v, \"\\n\";\n"
                         "echo 'body=', file_get_contents('php://input'), \"\\n\";\n");
}
