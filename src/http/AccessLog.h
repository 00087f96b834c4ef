// TAccessLog: the daily access log shared by every worker of one server; its
// lock is the server's LogLock and its open file the LogHandle.
#pragma once
#include <mutex>
#include <string>

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
  void Write(const std::string& folder, const std::string& clientAddress,
             const std::string& requestHead, TDateTime now);
  // Closes the open file (Stop); the next line opens it again.
  void Close();

 private:
  std::mutex lock_;
  platform::FileStream file_;
  std::string openPath_;  // the day's file that file_ holds open
};
