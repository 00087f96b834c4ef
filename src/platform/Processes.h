// Other programs: starting them hidden, finding them by executable file and
// ending them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The file-name suffix of programs: ".exe" on Windows, "" on Linux.
extern const char ProgramSuffix[];

// The switch that tells the Windows MySQL server to run as a program and not
// as a service (" --standalone"); "" on Linux, whose server has no such switch.
extern const char MysqlStandaloneSwitch[];

// The MySQL administration program's option that addresses one server: Linux
// its socket file, double-quoted, which no other server can hold (its TCP
// `port` when `socketFile` is ""); Windows, whose servers listen on no
// socket file unless told to, its TCP port.
std::string MysqlServerOption(const std::string& port, const std::string& socketFile);

// Starts `program` with `parameters` (one text, words parted by blanks, a
// quoted part kept whole) without waiting for it and without a window. Windows:
// ShellExecuteA "open" with SW_HIDE. Linux: a new session of its own, detached
// from this program's terminal, with its standard streams on /dev/null.
// Failures are not reported.
void LaunchHidden(const std::string& program, const std::string& parameters);

// The identifiers of the running processes; empty when they cannot be listed.
std::vector<std::uint32_t> ProcessIds();

// The path that identifies the executable of process `pid`, in the form that
// CanonicalFileName gives; empty when the process cannot be queried or its
// file no longer exists.
std::string ProcessFileName(std::uint32_t pid);

// One spelling per file: Windows the short (8.3) form, Linux the canonical
// path with links resolved. Empty when the file does not exist.
std::string CanonicalFileName(const std::string& path);

// Ends process `pid` at once (Windows with the debug privilege enabled,
// Linux SIGKILL); failures are not reported.
void KillProcess(std::uint32_t pid);

}  // namespace platform
