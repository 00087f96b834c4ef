// TPHPDllLoader: loads php/dlls/* then php/phpisapi once, on the first PHP
// request, and frees them in reverse order when destroyed.
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "php/Isapi.h"

class TPHPDllLoader {
 public:
  TPHPDllLoader() = default;
  ~TPHPDllLoader();
  TPHPDllLoader(const TPHPDllLoader&) = delete;
  TPHPDllLoader& operator=(const TPHPDllLoader&) = delete;

  void LoadDlls();
  // Loads unless loaded; a second caller waits for the first one's load, or
  // until `terminating` is set. True when the module's entry point is there.
  bool EnsureLoaded(const std::atomic<bool>& terminating);

  bool Loading() const { return loading_; }
  bool Loaded() const { return loaded_; }
  PFN_HTTPEXTENSIONPROC ExtensionProc() const { return extensionProc_; }

 private:
  void LoadFolder(const std::string& folder, const std::string& pattern);

  std::vector<void*> handles_;
  PFN_HTTPEXTENSIONPROC extensionProc_ = nullptr;
  std::atomic<bool> loading_{false};
  std::atomic<bool> loaded_{false};
};
