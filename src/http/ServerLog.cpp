#include "http/ServerLog.h"

#include <mutex>

#include "common/KestroClass.h"
#include "platform/FileStream.h"
#include "platform/Files.h"

std::string EscapeControlBytes(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      escaped += c;
      continue;
    }
    escaped += "\\x";
    escaped += kHex[byte >> 4];
    escaped += kHex[byte & 0x0F];
  }
  return escaped;
}

void WriteServerLog(const std::string& folder, const std::string& line) {
  static std::mutex lock;
  if (folder.empty()) return;
  const std::string text =
      TKestro::FormatDateTime(TKestro::NowLocal()) + " " + EscapeControlBytes(line) + "\r\n";
  std::lock_guard<std::mutex> locked(lock);
  platform::FileStream file;
  if (file.OpenAppend(folder + platform::PathDelim + "server.log")) file.Write(text.data(), text.size());
}
