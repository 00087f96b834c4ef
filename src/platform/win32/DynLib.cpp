#include "platform/DynLib.h"

#include <windows.h>

namespace platform {

const char* const LibrarySuffix = ".dll";

void* DynLib::OpenNative(const std::string& path) { return LoadLibraryA(path.c_str()); }

void* DynLib::SymbolNative(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void DynLib::CloseNative(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

}  // namespace platform
