#include "http/FolderRulesCache.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "common/KestroClass.h"
#include "http/ServerLog.h"
#include "platform/FileStream.h"
#include "platform/Files.h"

namespace {

constexpr const char* kRulesFileName = ".htaccess";
// Larger files are refused, as is one that cannot be read.
constexpr std::int64_t kMaxRulesFileSize = 1 << 20;
// A bound on the files kept: the cache starts again when it is reached.
constexpr std::size_t kMaxCachedFiles = 4096;

struct CachedFile {
  platform::FileStamp stamp;
  std::shared_ptr<const TFolderRules> rules;
};

std::shared_ptr<const TFolderRules> ReadAndParse(const std::string& path,
                                                 const platform::FileStamp& stamp) {
  std::string text;
  platform::FileStream file;
  bool read = stamp.size <= kMaxRulesFileSize && file.OpenRead(path);
  if (read) {
    text.resize(static_cast<std::size_t>(stamp.size));
    std::size_t got = 0;
    while (got < text.size()) {
      const long n = file.Read(&text[got], text.size() - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
  }
  if (read) return std::make_shared<const TFolderRules>(ParseFolderRules(text));
  auto unreadable = std::make_shared<TFolderRules>();
  unreadable->errorLine = 1;
  unreadable->error = "the file cannot be read";
  return unreadable;
}

void LogWhatIsIgnored(const std::string& path, const TFolderRules& rules,
                      const std::string& logFolder) {
  if (rules.errorLine)
    WriteServerLog(logFolder, path + ": line " + std::to_string(rules.errorLine) + ": " +
                                  rules.error + "; its folder answers 500");
  for (const std::string& note : rules.ignored)
    WriteServerLog(logFolder, path + ": " + note + " ignored");
}

std::shared_ptr<const TFolderRules> RulesOf(const std::string& path, const platform::FileStamp& stamp,
                                            const std::string& logFolder) {
  static std::mutex lock;
  static std::unordered_map<std::string, CachedFile> cache;
  {
    std::lock_guard<std::mutex> locked(lock);
    const auto found = cache.find(path);
    if (found != cache.end() && found->second.stamp.size == stamp.size &&
        found->second.stamp.lastWriteUtcMs == stamp.lastWriteUtcMs)
      return found->second.rules;
  }
  std::shared_ptr<const TFolderRules> rules = ReadAndParse(path, stamp);
  std::lock_guard<std::mutex> locked(lock);
  CachedFile& cached = cache[path];
  if (cached.rules && cached.stamp.size == stamp.size &&
      cached.stamp.lastWriteUtcMs == stamp.lastWriteUtcMs)
    return cached.rules;  // another worker was first: logged once
  LogWhatIsIgnored(path, *rules, logFolder);
  if (cache.size() > kMaxCachedFiles) {
    cache.clear();
    cache[path] = CachedFile{stamp, rules};
  } else {
    cached = CachedFile{stamp, rules};
  }
  return rules;
}

}  // namespace

std::vector<TFolderLevel> FolderRulesAlong(const TPhysicalPath& mapped, const std::string& logFolder) {
  std::vector<TFolderLevel> levels;
  // The root is native and segments hold no delimiter: the path is built as is.
  std::string folder = mapped.documentRoot;
  const std::size_t deepest = std::min(mapped.folderDepth, mapped.segments.size());
  for (std::size_t depth = 0;; ++depth) {
    const std::string path = folder + platform::PathDelim + kRulesFileName;
    platform::FileStamp stamp;
    if (platform::KindOf(path) == platform::PathKind::kFile && platform::GetFileStamp(path, stamp)) {
      TFolderLevel level;
      level.url = "/";
      for (std::size_t i = 0; i < depth; ++i) level.url += mapped.segments[i] + "/";
      level.rules = RulesOf(path, stamp, logFolder);
      levels.push_back(std::move(level));
    }
    if (depth >= deepest) return levels;
    folder += platform::PathDelim + mapped.segments[depth];
  }
}
