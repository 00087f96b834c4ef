#include "http/ServerLog.h"

#include <mutex>

#include "common/KestroClass.h"
#include "platform/FileStream.h"
#include "platform/Files.h"

void WriteServerLog(const std::string& folder, const std::string& line) {
  static std::mutex lock;
  if (folder.empty()) return;
  std::string text = TKestro::FormatDateTime(TKestro::NowLocal()) + " ";
  for (const char c : line) text += c == '\r' || c == '\n' ? ' ' : c;  // one line per entry
  text += "\r\n";
  std::lock_guard<std::mutex> locked(lock);
  platform::FileStream file;
  if (file.OpenAppend(folder + platform::PathDelim + "server.log")) file.Write(text.data(), text.size());
}
