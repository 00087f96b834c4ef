// The encoding of file names built from request paths.
#pragma once
#include <string>

namespace platform {

// A request path that passed the lenient UTF-8 test, in the form the file
// system names files with. `utf8` is the text as received, `utf16` its decoded
// characters. Windows: the characters in the ANSI code page, '?' for those it
// lacks. Linux: file names are UTF-8, so the received bytes.
std::string Utf8ToFileNameEncoding(const std::string& utf8, const std::u16string& utf16);

}  // namespace platform
