// The host's PHP on Windows: the module in php/ beside the test program, with
// the php-cgi.exe stand-in, which answers every page alike.
#include <windows.h>

#include <fstream>

#include "ModuleHost.h"
#include "TempFolder.h"

struct PhpFolder::Parts {
  std::string php;
  TempFolder www;
};

PhpFolder::PhpFolder() : parts_(std::make_unique<Parts>()) {
  char path[MAX_PATH] = {};
  const std::string exe(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  parts_->php = exe.substr(0, exe.find_last_of('\\')) + "\\php";
}

PhpFolder::~PhpFolder() = default;

std::string PhpFolder::Module() const { return parts_->php + "\\phpisapi.dll"; }

std::string PhpFolder::DocumentRoot() const { return parts_->www.Path(); }

bool PhpFolder::RealPhp() const { return false; }

void PhpFolder::WriteSettings(const std::string& ini) const {
  std::ofstream(parts_->php + "\\phpisapi.ini", std::ios::trunc) << ini;
}

void PhpFolder::WritePage(const std::string&) const {}
