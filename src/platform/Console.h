// The console of the console front end, which only the Linux build has: a
// console that goes away, and the requests to end the program that arrive
// from outside.
#pragma once
#include <functional>

namespace platform {

// A console that has gone away (a pipe whose reader ended, a closed
// terminal) makes each write to it fail instead of ending the program, so
// that its close sequence still runs: SIGPIPE is caught and does nothing.
void SurviveLostConsole();

// Whether standard input is the null device (or missing): the program was
// given no input at all, as a service manager or `</dev/null` starts it.
bool StandardInputIsNull();

// Calls `handler` on a thread of its own each time the user or the system
// asks the program to end: SIGINT, SIGTERM and SIGHUP (the terminal closed).
// The handler is to arrange the end; the process ends when the program exits.
void OnTerminationRequest(std::function<void()> handler);

}  // namespace platform
