// The console of the console front end: its output encoding and the requests
// to end the program that arrive from outside.
#pragma once
#include <functional>

namespace platform {

// Console output is UTF-8 text (Windows: the console's output code page).
void UseUtf8ConsoleOutput();

// Whether standard input is the null device (or missing): the program was
// given no input at all, as a service manager or `</dev/null` starts it.
bool StandardInputIsNull();

// Calls `handler` on a thread of its own each time the user or the system
// asks the program to end: Linux SIGINT, SIGTERM and SIGHUP (the terminal
// closed); Windows Ctrl+C, Ctrl+Break, closing the console window, log-off and
// shut-down. The handler is to arrange the end; the process ends when the
// program exits.
void OnTerminationRequest(std::function<void()> handler);

}  // namespace platform
