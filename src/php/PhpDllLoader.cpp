#include "php/PhpDllLoader.h"

#include <chrono>
#include <thread>
#include <utility>

#include "common/KestroClass.h"
#include "platform/Files.h"

TPHPDllLoader::TPHPDllLoader() : TPHPDllLoader(TKestro::GetAppDir()) {}

TPHPDllLoader::TPHPDllLoader(std::string appDir) : appDir_(std::move(appDir)) {}

TPHPDllLoader::~TPHPDllLoader() {
  // The module first, then the support libraries it may rely on.
  while (!handles_.empty()) handles_.pop_back();
}

void TPHPDllLoader::LoadDlls() {
  if (loaded_ || loading_.exchange(true)) return;
  if (loaded_) {  // the previous loader finished between the two tests
    loading_ = false;
    return;
  }
  const std::string module = std::string("phpisapi") + platform::LibrarySuffix;
  const std::string php = PhpFolder();
  try {
    LoadFolder(php + platform::PathDelim + "dlls", std::string("*") + platform::LibrarySuffix);
    LoadFolder(php, module);
    if (!handles_.empty())
      extensionProc_ =
          reinterpret_cast<PFN_HTTPEXTENSIONPROC>(handles_.back().Symbol(isapi::kEntryPointName));
  } catch (...) {
    // A failed load leaves the entry point null; requests are then refused.
  }
  if (!extensionProc_) {
    const std::string modulePath = php + platform::PathDelim + module;
    failure_ = std::string("php") + platform::PathDelim + module + FailureOf(modulePath);
  }
  loaded_ = true;  // before Loading clears, so no second caller can start a load
  loading_ = false;
}

bool TPHPDllLoader::EnsureLoaded(const std::atomic<bool>& terminating) {
  if (!loaded_) {
    LoadDlls();
    while (!loaded_ && !terminating)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return loaded_ && extensionProc_ != nullptr;
}

std::string TPHPDllLoader::PhpFolder() const { return appDir_ + platform::PathDelim + "php"; }

std::string TPHPDllLoader::FailureOf(const std::string& modulePath) const {
  if (!platform::FileExists(modulePath)) return " is missing";
  // The module, when it exists, is the load's last slot.
  if (handles_.empty() || !handles_.back().Loaded()) return " could not be loaded";
  return std::string(" has no ") + isapi::kEntryPointName;
}

void TPHPDllLoader::LoadFolder(const std::string& folder, const std::string& pattern) {
  if (!platform::DirectoryExists(folder)) return;
  for (const std::string& name : platform::FindEntries(folder, pattern)) {
    const std::string path = folder + platform::PathDelim + name;
    if (platform::FileExists(path)) handles_.emplace_back(path);
  }
}
