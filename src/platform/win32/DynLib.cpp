#include "platform/DynLib.h"

#include <windows.h>

#include <utility>

namespace platform {

const char* const LibrarySuffix = ".dll";

DynLib::DynLib(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}

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
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynLib::Free() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(std::exchange(handle_, nullptr)));
}

}  // namespace platform
