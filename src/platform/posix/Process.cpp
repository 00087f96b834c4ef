#include "platform/Process.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cstdint>

#include "platform/Env.h"
#include "platform/Files.h"

namespace platform {

namespace {

// File systems that are not on this machine, or not writable media.
bool IsNetworkOrOptical(std::int64_t type) {
  switch (static_cast<std::uint32_t>(type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x564C:      // NCP
    case 0x73757245:  // Coda
    case 0x5346414F:  // AFS
    case 0x6B414653:  // kAFS
    case 0x00C36400:  // Ceph
    case 0x9660:      // ISO 9660
    case 0x15013346:  // UDF
      return true;
    default:
      return false;
  }
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string RuntimeFolder() {
  for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    std::string folder = GetEnv(variable);
    if (!folder.empty() && DirectoryExists(folder)) return folder;
  }
  return "/tmp";
}

}  // namespace

bool IsLocalDrive(const std::string& executablePath) {
  struct statfs info;
  if (::statfs(FolderOf(executablePath).c_str(), &info) != 0) return false;
  return !IsNetworkOrOptical(static_cast<std::int64_t>(info.f_type));
}

bool RelaunchSelf(const std::vector<std::string>& arguments) {
  std::string self = ExecutablePath();
  std::vector<char*> argv{&self[0]};
  std::vector<std::string> copies(arguments);
  for (auto& argument : copies) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  ::execv(self.c_str(), argv.data());
  return false;
}

// The descriptor is closed on exec, so the programs the server starts (PHP,
// the database) never keep the lock alive after this process.
SingleInstanceGuard::SingleInstanceGuard(const std::string& name) {
  std::string path = RuntimeFolder() + "/" + name;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  handle_ = fd;
  acquired_ = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace platform
