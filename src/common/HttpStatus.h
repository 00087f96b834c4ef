// HTTP status lines, for the server's own answers and the PHP module's.
#pragma once
#include <string>

// The usual phrase of a status code ("Not Found"); "" for a code without one.
const char* ReasonPhrase(int code);
// "HTTP/1.1 404 Not Found" and its CR LF.
std::string StatusLine(int code);
