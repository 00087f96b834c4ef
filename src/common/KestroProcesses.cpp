// TKestro: processes found by their executable file.
#include "common/KestroClass.h"

#include "platform/Files.h"
#include "platform/Processes.h"

std::string TKestro::GetProcessFileName(std::uint32_t pid) {
  return platform::ProcessFileName(pid);
}

std::uint32_t TKestro::FindProcessByFile(const std::string& file) {
  if (!platform::FileExists(file)) return 0;
  std::string target = UpperCase(platform::CanonicalFileName(file));
  if (target.empty()) return 0;
  for (std::uint32_t pid : platform::ProcessIds())
    if (UpperCase(GetProcessFileName(pid)) == target) return pid;
  return 0;
}

void TKestro::KillProcess(std::uint32_t pid) { platform::KillProcess(pid); }
