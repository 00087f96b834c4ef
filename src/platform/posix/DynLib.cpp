#include "platform/DynLib.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

const char* const LibrarySuffix = ".so";

DynLib::DynLib(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

DynLib::~DynLib() { Free(); }

DynLib::DynLib(DynLib&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

DynLib& DynLib::operator=(DynLib&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void* DynLib::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

void DynLib::Free() {
  if (handle_) dlclose(std::exchange(handle_, nullptr));
}

}  // namespace platform
