// Ownership of a loaded library, the same on every platform.
#include "platform/DynLib.h"

#include <utility>

namespace platform {

DynLib::DynLib(const std::string& path) : handle_(OpenNative(path)) {}

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
  return handle_ ? SymbolNative(handle_, name) : nullptr;
}

void DynLib::Free() {
  if (handle_) CloseNative(std::exchange(handle_, nullptr));
}

}  // namespace platform
