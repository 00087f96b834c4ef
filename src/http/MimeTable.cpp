#include "http/MimeTable.h"

#include "common/KestroClass.h"
#include "platform/ContentTypes.h"

namespace {

const char* const kUnknownType = "application/octet-stream";

// These win over the system's records: pages and their resources must get
// the type a browser needs to use them whatever the machine has registered.
const std::pair<const char*, const char*> kBuiltInTypes[] = {
    {".htm", "text/html"},
    {".html", "text/html"},
    {".css", "text/css"},
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".png", "image/x-png"},
    {".ico", "image/x-icon"},
    {".txt", "text/plain"},
    {".xml", "text/xml"},
    {".zip", "application/x-zip-compressed"},
    {".pdf", "application/pdf"},
    {".jpeg", "image/jpeg"},
    {".js", "text/javascript"},
    {".mjs", "text/javascript"},
    {".json", "application/json"},
    {".map", "application/json"},
    {".webmanifest", "application/manifest+json"},
    {".svg", "image/svg+xml"},
    {".webp", "image/webp"},
    {".avif", "image/avif"},
    {".bmp", "image/bmp"},
    {".wasm", "application/wasm"},
    {".woff", "font/woff"},
    {".woff2", "font/woff2"},
    {".ttf", "font/ttf"},
    {".otf", "font/otf"},
    {".mp4", "video/mp4"},
    {".webm", "video/webm"},
    {".ogv", "video/ogg"},
    {".mp3", "audio/mpeg"},
    {".ogg", "audio/ogg"},
    {".wav", "audio/wav"},
    {".m4a", "audio/mp4"},
    {".flac", "audio/flac"},
    {".vtt", "text/vtt"},
    {".csv", "text/csv"},
    {".xhtml", "application/xhtml+xml"},
};

// The extension from the last dot of the name part, dot included.
std::string ExtensionOf(const std::string& fileName) {
  const std::size_t dot = fileName.find_last_of(".\\/");
  if (dot == std::string::npos || fileName[dot] != '.') return std::string();
  return TKestro::LowerCase(fileName.substr(dot));
}

}  // namespace

TMimeTable::TMimeTable() : TMimeTable(platform::SystemContentTypes, platform::SystemContentTypesStamp) {}

TMimeTable::TMimeTable(RecordSource systemTypes, StampSource systemStamp)
    : systemTypes_(std::move(systemTypes)), systemStamp_(std::move(systemStamp)) {
  stamp_ = systemStamp_();
  table_ = Build();
}

std::string TMimeTable::Lookup(const std::string& fileName) {
  const std::string extension = ExtensionOf(fileName);
  std::string type;
  if (Find(extension, type)) return type;
  RebuildIfChanged();
  return Find(extension, type) ? type : kUnknownType;
}

TMimeTable::Table TMimeTable::Build() const {
  Table table;
  for (const auto& row : kBuiltInTypes) table.emplace(row.first, row.second);
  for (auto& record : systemTypes_()) table.emplace(std::move(record));  // never replaces
  return table;
}

bool TMimeTable::Find(const std::string& extension, std::string& type) const {
  std::shared_lock<std::shared_mutex> reading(tableLock_);
  const auto found = table_.find(extension);
  if (found == table_.end()) return false;
  type = found->second;
  return true;
}

void TMimeTable::RebuildIfChanged() {
  std::lock_guard<std::mutex> rebuilding(rebuildLock_);
  std::string stamp = systemStamp_();
  if (stamp == stamp_) return;
  Table table = Build();  // readers go on with the old table meanwhile
  std::unique_lock<std::shared_mutex> writing(tableLock_);
  table_.swap(table);
  stamp_ = std::move(stamp);
}
