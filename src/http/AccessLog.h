// TAccessLog: the daily access log shared by every worker of one server; its
// lock is the server's LogLock and its open file the LogHandle.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "common/KestroClass.h"
#include "platform/FileStream.h"

// "hh:nn:ss", the address padded with blanks to 15 characters, and the
// request line trimmed, separated by blanks and ended by CR LF.
std::string FormatLogLine(TDateTime now, const std::string& clientAddress,
                          const std::string& requestHead);

class TAccessLog {
 public:
  // Appends the line of one request to folder/yyyy-mm-dd.log for the local
  // time `now`; a missing folder or a failed open loses the line quietly.
  // The line is in the file when Write returns, unless another worker is
  // writing at that moment: that one writes it too, before it returns.
  void Write(const std::string& folder, const std::string& clientAddress,
             const std::string& requestHead, TDateTime now);
  // Closes the open file (Stop); the next line opens it again.
  void Close();

 private:
  // Lines of one day's file, in the order they came.
  struct Batch {
    std::string folder;
    std::string path;
    std::string lines;
  };
  void Append(const Batch& batch);  // by the writing worker only

  std::mutex lock_;  // held for moments only: never across a file call
  std::condition_variable written_;
  bool writing_ = false;          // a worker is writing; file_ is its
  std::vector<Batch> waiting_;    // lines that came meanwhile
  std::vector<Batch> taken_;      // the writer's, kept to reuse its memory
  platform::FileStream file_;
  std::string openPath_;  // the day's file that file_ holds open
};
