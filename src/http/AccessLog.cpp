#include "http/AccessLog.h"

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
  return time + " " + address + " " + requestLine + "\r\n";
}

void TAccessLog::Write(const std::string& folder, const std::string& clientAddress,
                       const std::string& requestHead, TDateTime now) {
  if (folder.empty()) return;
  // Made before the lock is taken, so the other workers wait only for the write.
  const std::string path =
      folder + platform::PathDelim + TKestro::FormatDateTime(now).substr(0, 10) + ".log";
  const std::string line = FormatLogLine(now, clientAddress, requestHead);
  std::lock_guard<std::mutex> locked(lock_);
  // The day's file held open and still in its folder is written at once:
  // only a new day or a deleted file costs a look at the folder.
  if (!file_.IsOpen() || path != openPath_ || !file_.StillNamed()) {
    if (!platform::FileExists(path)) {
      if (!platform::DirectoryExists(folder)) return;
      file_.Close();
      if (!platform::FileStream::CreateEmpty(path)) return;
    }
    // A new day whose file some other program already made is opened too, so
    // no line goes into the previous day's file.
    openPath_ = path;
    if (!file_.OpenAppend(path)) return;
  }
  file_.Write(line.data(), line.size());
}

void TAccessLog::Close() {
  std::lock_guard<std::mutex> locked(lock_);
  file_.Close();
}
