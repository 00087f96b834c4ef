// Environment variables of the running process.
#pragma once
#include <string>

namespace platform {

bool SetEnv(const std::string& name, const std::string& value);
std::string GetEnv(const std::string& name);  // empty when unset

}  // namespace platform
