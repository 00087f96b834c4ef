// The program's own process: where it may run, starting itself again, and
// the guard that keeps one main instance per user.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Whether the program may run from the place of its executable. Windows: the
// executable's drive is a removable or a fixed one. Linux: the executable's
// folder lies on neither a network nor an optical file system.
bool IsLocalDrive(const std::string& executablePath);

// Starts the running executable again with `arguments` (UTF-8) after its path.
// Windows: a new process without a console window that inherits this one's
// handles and environment, started through the wide functions so that any
// character arrives, while this one goes on. Linux: this process turns
// into the new one (execv), so the terminal keeps it; it returns only when
// that failed. False when the start failed.
bool RelaunchSelf(const std::vector<std::string>& arguments);

// Held from construction to destruction when Acquired(): Windows a named
// mutex, Linux an exclusive lock on a file of that name in the user's runtime
// folder ($XDG_RUNTIME_DIR, else the temporary folder). Not acquired when
// another process holds it or it cannot be created.
class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const std::string& name);
  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

  bool Acquired() const { return acquired_; }

 private:
  std::intptr_t handle_ = -1;  // HANDLE of the mutex, or the lock file's descriptor
  bool acquired_ = false;
};

}  // namespace platform
