// Test libraries note their unloading in the file named by PV_UNLOAD_LOG, so
// a test can see the order in which the server frees them.
#pragma once
#include <fstream>
#include <string>

#include "platform/Env.h"

class UnloadLog {
 public:
  explicit UnloadLog(const char* name) : name_(name) {}
  ~UnloadLog() {
    const std::string path = platform::GetEnv("PV_UNLOAD_LOG");
    if (!path.empty()) std::ofstream(path, std::ios::app | std::ios::binary) << name_ << "\n";
  }

 private:
  const char* name_;
};
