#include "http/AccessLog.h"

#include "http/ServerLog.h"
#include "platform/Files.h"

namespace {
constexpr std::size_t kAddressWidth = 15;
}  // namespace

std::string FormatLogLine(TDateTime now, const std::string& clientAddress,
                          const std::string& requestHead) {
  const std::string time = TKestro::FormatDateTime(now).substr(11, 8);  // hh:nn:ss
  std::string address = clientAddress;
  if (address.size() < kAddressWidth) address.append(kAddressWidth - address.size(), ' ');
  const std::string requestLine = TKestro::Trim(requestHead.substr(0, requestHead.find("\r\n")));
  return time + " " + address + " " + EscapeControlBytes(requestLine) + "\r\n";
}

// Workers under load would queue for the lock around every file write; here
// the one that finds nobody writing writes the lines of all, so the others
// only add theirs and go on.
void TAccessLog::Write(const std::string& folder, const std::string& clientAddress,
                       const std::string& requestHead, TDateTime now) {
  if (folder.empty()) return;
  std::string path =
      folder + platform::PathDelim + TKestro::FormatDateTime(now).substr(0, 10) + ".log";
  std::string line = FormatLogLine(now, clientAddress, requestHead);
  std::unique_lock<std::mutex> locked(lock_);
  if (!waiting_.empty() && waiting_.back().path == path && waiting_.back().folder == folder)
    waiting_.back().lines += line;
  else
    waiting_.push_back(Batch{folder, std::move(path), std::move(line)});
  if (writing_) return;
  writing_ = true;
  while (!waiting_.empty()) {
    taken_.swap(waiting_);
    locked.unlock();
    for (const Batch& batch : taken_) Append(batch);
    taken_.clear();
    locked.lock();
  }
  writing_ = false;
  written_.notify_all();
}

void TAccessLog::Append(const Batch& batch) {
  // The day's file held open and still in its folder is written at once:
  // only a new day or a deleted file costs a look at the folder.
  if (!file_.IsOpen() || batch.path != openPath_ || !file_.StillNamed()) {
    if (!platform::FileExists(batch.path)) {
      if (!platform::DirectoryExists(batch.folder)) return;
      file_.Close();
      if (!platform::FileStream::CreateEmpty(batch.path)) return;
    }
    // A new day whose file some other program already made is opened too, so
    // no line goes into the previous day's file.
    openPath_ = batch.path;
    if (!file_.OpenAppend(batch.path)) return;
  }
  file_.Write(batch.lines.data(), batch.lines.size());
}

void TAccessLog::Close() {
  std::unique_lock<std::mutex> locked(lock_);
  written_.wait(locked, [this] { return !writing_; });
  file_.Close();
}
