// TPHPDllLoader: loads php/dlls/* then php/phpisapi once, on the first PHP
// request, and frees them in reverse order when destroyed.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "php/Isapi.h"
#include "platform/DynLib.h"

class TPHPDllLoader {
 public:
  // The tree whose php folder is loaded; by default the application folder.
  TPHPDllLoader();
  explicit TPHPDllLoader(std::string appDir);
  ~TPHPDllLoader();
  TPHPDllLoader(const TPHPDllLoader&) = delete;
  TPHPDllLoader& operator=(const TPHPDllLoader&) = delete;

  // Loads unless another caller is loading or has loaded (one atomic step).
  void LoadDlls();
  // Loads unless loaded; a second caller waits for the first one's load, or
  // until `terminating` is set. True when the module's entry point is there.
  bool EnsureLoaded(const std::atomic<bool>& terminating);

  bool Loading() const { return loading_; }
  bool Loaded() const { return loaded_; }
  PFN_HTTPEXTENSIONPROC ExtensionProc() const { return extensionProc_; }
  // Slots of the load, failed loads included.
  std::size_t HandleCount() const { return handles_.size(); }
  // The folder the load looks in: the tree's php folder.
  std::string PhpFolder() const;
  // Once loaded without an entry point, why, naming the module as the php
  // folder holds it ("php/phpisapi.so is missing"); empty otherwise.
  const std::string& Failure() const { return failure_; }
  // True for the first caller only, so a failed load is reported once.
  bool FirstToReportFailure() { return !failureReported_.exchange(true); }

 private:
  void LoadFolder(const std::string& folder, const std::string& pattern);
  // What keeps the module at `modulePath` from serving: " is missing", ...
  std::string FailureOf(const std::string& modulePath) const;

  std::string appDir_;
  std::vector<platform::DynLib> handles_;
  PFN_HTTPEXTENSIONPROC extensionProc_ = nullptr;
  std::string failure_;
  std::atomic<bool> failureReported_{false};
  std::atomic<bool> loading_{false};
  std::atomic<bool> loaded_{false};
};
