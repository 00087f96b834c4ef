// The server's own log, log/server.log: what a developer needs to see why a
// folder's rules did not act (directives ignored, files that cannot be read,
// rewriting that does not end).
#pragma once
#include <string>

// Appends "yyyy-mm-dd hh:nn:ss `line`" to folder/server.log, its control
// bytes escaped; a missing folder or a failed open loses the line quietly.
void WriteServerLog(const std::string& folder, const std::string& line);

// Control bytes as \xHH: what a request or a file brings can neither forge a
// line of a log nor send escape sequences to the terminal that shows it.
std::string EscapeControlBytes(const std::string& text);
