#include "http/FolderAlias.h"

#include "common/KestroClass.h"

namespace {

// Runs of '/' as one, as the prefixes compare.
std::string Collapsed(const std::string& url) {
  std::string out;
  for (const char c : url)
    if (c != '/' || out.empty() || out.back() != '/') out += c;
  return out;
}

// $N of a RedirectMatch target.
std::string Substitute(const std::string& target, const std::vector<std::string>& groups) {
  std::string out;
  for (std::size_t i = 0; i < target.size(); ++i) {
    const char next = i + 1 < target.size() ? target[i + 1] : '\0';
    if (target[i] == '$' && next >= '0' && next <= '9') {
      const auto n = static_cast<std::size_t>(next - '0');
      if (n < groups.size()) out += groups[n];
      ++i;
    } else {
      out += target[i];
    }
  }
  return out;
}

// The prefix matches whole segments: /old is /old and /old/x, never /older.
bool PrefixMatches(const std::string& prefix, const std::string& url, std::string& rest) {
  const std::string p = Collapsed(prefix);
  if (url.compare(0, p.size(), p) != 0) return false;
  rest = url.substr(p.size());
  return rest.empty() || p.back() == '/' || rest[0] == '/';
}

}  // namespace

TRewriteOutcome RedirectByAlias(const std::vector<TFolderLevel>& levels, const std::string& url,
                                const std::string& query, const std::string& documentRoot) {
  TRewriteOutcome outcome;
  const std::string path = Collapsed(url);
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    for (const TFolderRules::Redirect& redirect : level->rules->redirects) {
      std::string target;
      if (redirect.regex) {
        std::vector<std::string> groups;
        bool overLimit = false;
        const bool matched = redirect.pattern.Match(path, &groups, &overLimit);
        if (overLimit) {
          outcome.kind = TRewriteOutcome::Kind::kStatus;
          outcome.status = 500;
          outcome.failure = TKestro::ToNativePath(documentRoot + level->url + ".htaccess") +
                            ": line " + std::to_string(redirect.line) +
                            ": the pattern passed the expression engine's limits";
          return outcome;
        }
        if (!matched) continue;
        target = Substitute(redirect.target, groups);
      } else {
        std::string rest;
        if (!PrefixMatches(redirect.path, path, rest)) continue;
        target = redirect.target.empty() ? std::string() : redirect.target + rest;
      }
      outcome.status = redirect.status;
      if (redirect.status / 100 != 3) {
        outcome.kind = TRewriteOutcome::Kind::kStatus;
        return outcome;
      }
      outcome.kind = TRewriteOutcome::Kind::kRedirect;
      outcome.external = target[0] != '/';
      const std::size_t mark = target.find('?');
      outcome.url = target.substr(0, mark);
      outcome.query = mark == std::string::npos ? query : target.substr(mark + 1);
      if (outcome.external && !outcome.query.empty()) outcome.url += "?" + outcome.query;
      return outcome;
    }
  }
  return outcome;
}

std::string FallbackResourceFor(const std::vector<TFolderLevel>& levels, const std::string& url) {
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    const auto& fallback = level->rules->fallbackResource;
    if (!fallback) continue;
    if (fallback->empty() || (*fallback)[0] == '/') return *fallback;
    return url.substr(0, url.find_last_of('/') + 1) + *fallback;
  }
  return std::string();
}
