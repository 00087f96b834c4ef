// The commands of the console front end, in the order they arrive: lines of
// standard input read on a thread of their own, and requests to end the
// program (signals, console events, the end of standard input), which arrive
// as "quit".
#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class TCommandQueue {
 public:
  // Starts reading standard input; its end arrives as "quit".
  static std::shared_ptr<TCommandQueue> ReadingStandardInput();

  void Push(const std::string& command);
  // Waits for the next command.
  std::string Pop();

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::deque<std::string> commands_;
};
