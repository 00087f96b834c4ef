// The user's entries that start programs at log-on, by name. Names and data
// are UTF-8 text. Windows: string values of the key
// HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run, through the
// wide registry functions so that every code page keeps the text. Linux: XDG
// autostart entries $XDG_CONFIG_HOME/autostart/<name>.desktop (XDG_CONFIG_HOME
// defaults to ~/.config), whose Exec line is the data.
#pragma once
#include <string>

namespace platform {

// The running executable's full path as UTF-8 text (Windows: from the wide
// module path, so that it is right on every code page).
std::string ExecutablePathUtf8();

// Each returns false when the place of the entries cannot be opened or created.
// `data` is "" when there is no such entry.
bool ReadAutoRunEntry(const std::string& name, std::string& data);
bool WriteAutoRunEntry(const std::string& name, const std::string& data);
bool DeleteAutoRunEntry(const std::string& name);

}  // namespace platform
