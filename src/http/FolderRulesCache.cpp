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
  platform::FileVersion version;
  std::shared_ptr<const TFolderRules> rules;
};

std::shared_ptr<TFolderRules> Refusing(int errorLine, const std::string& why) {
  auto rules = std::make_shared<TFolderRules>();
  if (errorLine) {
    rules->errorLine = errorLine;
    rules->error = why;
  } else {
    rules->access.refused = true;
    rules->refusals.push_back(why);
  }
  return rules;
}

// A link is followed only to a file of the document root: the server reads
// no file the site does not hold.
bool LeadsOutside(const std::string& path, const std::string& documentRoot) {
  const std::string target = platform::ResolvedPath(path);
  std::string root = platform::ResolvedPath(documentRoot);
  if (target.empty() || root.empty()) return true;
  root += platform::PathDelim;
  if (target.size() <= root.size()) return true;
  const std::string start = target.substr(0, root.size());
  return platform::NamesIgnoreCase ? TKestro::UpperCase(start) != TKestro::UpperCase(root) : start != root;
}

std::shared_ptr<const TFolderRules> ReadAndParse(const std::string& path,
                                                 const platform::FileVersion& version,
                                                 const std::string& documentRoot) {
  if (version.kind == platform::PathKind::kFolder) return Refusing(0, "a folder, not a file");
  if (version.link && LeadsOutside(path, documentRoot))
    return Refusing(1, "a link to a file outside the document root, not read");
  std::string text;
  platform::FileStream file;
  if (version.size > kMaxRulesFileSize || !file.OpenRead(path))
    return Refusing(1, "the file cannot be read");
  text.resize(static_cast<std::size_t>(version.size));
  std::size_t got = 0;
  while (got < text.size()) {
    const long n = file.Read(&text[got], text.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  return std::make_shared<const TFolderRules>(ParseFolderRules(text));
}

// A note cut short: a word it quotes (a flag, an option) may be as long as
// the file's line, which the log does not copy.
std::string Bounded(const std::string& note) {
  constexpr std::size_t kMaxNote = 200;
  return note.size() <= kMaxNote ? note : note.substr(0, kMaxNote) + "...";
}

void LogWhatIsIgnored(const std::string& path, const TFolderRules& rules,
                      const std::string& logFolder) {
  if (rules.errorLine)
    WriteServerLog(logFolder, path + ": line " + std::to_string(rules.errorLine) + ": " +
                                  Bounded(rules.error) + "; its folder answers 500");
  for (const std::string& note : rules.refusals)
    WriteServerLog(logFolder, path + ": " + Bounded(note) + "; refused with 403");
  for (const std::string& note : rules.ignored)
    WriteServerLog(logFolder, path + ": " + Bounded(note) + " ignored");
}

std::shared_ptr<const TFolderRules> RulesOf(const std::string& path,
                                            const platform::FileVersion& version,
                                            const std::string& documentRoot,
                                            const std::string& logFolder) {
  static std::mutex lock;
  static std::unordered_map<std::string, CachedFile> cache;
  {
    std::lock_guard<std::mutex> locked(lock);
    const auto found = cache.find(path);
    if (found != cache.end() && found->second.version == version) return found->second.rules;
  }
  std::shared_ptr<const TFolderRules> rules = ReadAndParse(path, version, documentRoot);
  {
    std::lock_guard<std::mutex> locked(lock);
    CachedFile& cached = cache[path];
    if (cached.rules && cached.version == version)
      return cached.rules;  // another worker was first and logs it
    if (cache.size() > kMaxCachedFiles) {
      cache.clear();
      cache[path] = CachedFile{version, rules};
    } else {
      cached = CachedFile{version, rules};
    }
  }
  LogWhatIsIgnored(path, *rules, logFolder);  // no file call under the lock
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
    const platform::FileVersion version = platform::VersionOf(path);
    if (version.kind != platform::PathKind::kMissing) {
      TFolderLevel level;
      level.url = "/";
      for (std::size_t i = 0; i < depth; ++i) level.url += mapped.segments[i] + "/";
      level.rules = RulesOf(path, version, mapped.documentRoot, logFolder);
      levels.push_back(std::move(level));
    }
    if (depth >= deepest) return levels;
    folder += platform::PathDelim + mapped.segments[depth];
  }
}
