#include "platform/DynLib.h"

#include <dlfcn.h>

namespace platform {

const char* const LibrarySuffix = ".so";

void* DynLib::OpenNative(const std::string& path) {
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* DynLib::SymbolNative(void* handle, const char* name) { return dlsym(handle, name); }

void DynLib::CloseNative(void* handle) { dlclose(handle); }

}  // namespace platform
