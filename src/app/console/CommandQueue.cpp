#include "app/console/CommandQueue.h"

#include <iostream>
#include <thread>

namespace {

// The reader holds the queue, so a line read after the front end has gone
// touches nothing freed; the thread is left blocked in its read at exit.
void ReadLines(std::shared_ptr<TCommandQueue> queue) {
  std::string line;
  while (std::getline(std::cin, line)) queue->Push(line);
  queue->Push("quit");
}

}  // namespace

std::shared_ptr<TCommandQueue> TCommandQueue::ReadingStandardInput() {
  auto queue = std::make_shared<TCommandQueue>();
  std::thread(ReadLines, queue).detach();
  return queue;
}

void TCommandQueue::Push(const std::string& command) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    commands_.push_back(command);
  }
  arrived_.notify_one();
}

std::string TCommandQueue::Pop() {
  std::unique_lock<std::mutex> hold(lock_);
  arrived_.wait(hold, [this] { return !commands_.empty(); });
  std::string command = commands_.front();
  commands_.pop_front();
  return command;
}
