// INI files, one value per call: the private-profile functions on Windows and
// our own implementation of the same semantics on Linux.
//  - section and key names match without regard to case; blanks around names
//    and values are ignored on read; a value in matching quotes loses them;
//    values are read up to 2047 characters;
//  - a write replaces the key's whole line by key=value in place, appends a
//    missing key at the end of its section and a missing section (with the key)
//    at the end of the file; every other line is kept byte for byte, CR LF and
//    LF files alike.
#pragma once
#include <string>

namespace platform {

// The value, or `defaultValue` when the file, section or key is absent.
std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file);

// False when the platform refuses the write, and for a section, key or value
// that holds CR or LF (the file is then left as it was).
bool WriteIniValue(const std::string& section, const std::string& key,
                   const std::string& value, const std::string& file);

}  // namespace platform
