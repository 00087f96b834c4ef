#include "platform/Console.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace platform {

namespace {

// The signal handler only writes one byte into this pipe (async-signal-safe);
// a watcher thread reads it and runs the handler.
int signalPipe[2] = {-1, -1};

void NoteSignal(int) {
  int saved = errno;
  char byte = 1;
  ssize_t ignored = ::write(signalPipe[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

void WatchSignals(std::function<void()> handler) {
  char byte;
  for (;;) {
    ssize_t n = ::read(signalPipe[0], &byte, 1);
    if (n == 1) handler();
    else if (n < 0 && errno == EINTR) continue;
    else return;
  }
}

}  // namespace

// Caught rather than ignored: a caught signal is back to its default in the
// programs started from here (MySQL, php-cgi), an ignored one would stay
// ignored in them.
void SurviveLostConsole() {
  struct sigaction action {};
  action.sa_handler = [](int) {};
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

bool StandardInputIsNull() {
  struct stat input, null;
  if (::fstat(0, &input) != 0) return true;
  return ::stat("/dev/null", &null) == 0 && S_ISCHR(input.st_mode) && input.st_rdev == null.st_rdev;
}

void OnTerminationRequest(std::function<void()> handler) {
  if (::pipe2(signalPipe, O_CLOEXEC) != 0) return;
  ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
  std::thread(WatchSignals, std::move(handler)).detach();
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

}  // namespace platform
