// A program run by a test: with its standard streams on pipes, or with no
// input and its output in a file.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts `program` with `arguments`; `environment` ("NAME=value") adds to
  // the test's own values and replaces those of the same names. Without an
  // `outputFile` the streams are on pipes; with one, the program reads nothing
  // and writes stdout and stderr there, and Output() and Errors() stay empty.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment,
               const std::string& outputFile = std::string());
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // False once the program has ended (it is reaped then).
  bool Running();

  void Write(const std::string& text);
  void CloseInput();
  void Signal(int signal);

  // Waits until the output (stdout) or the errors (stderr) hold `text`.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  bool WaitForErrors(const std::string& text, std::chrono::milliseconds timeout);
  // The exit code, or -1 when it did not exit in time (or died of a signal).
  int WaitForExit(std::chrono::milliseconds timeout);
  bool Exited() const { return exited_; }

  const std::string& Output() const { return output_; }
  const std::string& Errors() const { return errors_; }

 private:
  bool WaitFor(const std::string& text, const std::string& stream,
               std::chrono::milliseconds timeout);
  bool ReadAvailable(int waitMs);  // true when something was read

  pid_t pid_ = -1;
  int input_ = -1, outputPipe_ = -1, errorPipe_ = -1;
  std::string output_, errors_;
  bool exited_ = false;
  int exitCode_ = -1;
};
