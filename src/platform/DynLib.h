// Dynamic libraries: LoadLibraryA/GetProcAddress/FreeLibrary on Windows,
// dlopen/dlsym/dlclose on Linux. One owner per loaded handle.
#pragma once
#include <string>

namespace platform {

// The file-name suffix of a dynamic library: ".dll" or ".so".
extern const char* const LibrarySuffix;

class DynLib {
 public:
  DynLib() = default;
  explicit DynLib(const std::string& path);  // a failed load leaves it empty
  ~DynLib();
  DynLib(DynLib&& other) noexcept;
  DynLib& operator=(DynLib&& other) noexcept;
  DynLib(const DynLib&) = delete;
  DynLib& operator=(const DynLib&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  // Address of an exported symbol; null when absent or nothing is loaded.
  void* Symbol(const char* name) const;

 private:
  void Free();
  // The calls into the system, one file per platform.
  static void* OpenNative(const std::string& path);  // null on failure
  static void* SymbolNative(void* handle, const char* name);
  static void CloseNative(void* handle);

  void* handle_ = nullptr;
};

}  // namespace platform
