#include "http/FolderRewrite.h"

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "platform/Files.h"

namespace {

// The path the URL names on disk, as the rules' -f and -d see it: the file
// found, the folder for a folder URL, else the root joined with the URL.
std::string RequestFilename(const TPhysicalPath& mapped) {
  if (mapped.kind == TPhysicalPath::Kind::kFile && !mapped.folderIndex) return mapped.file;
  std::string path = mapped.documentRoot;
  for (const std::string& segment : mapped.segments) path += platform::PathDelim + segment;
  return TKestro::ToNativePath(path);
}

std::string HeaderValue(const THttpRequest& request, std::string_view name) {
  const std::string* value = request.Header(name);
  return value ? *value : std::string();
}

class Expander {
 public:
  Expander(const TRewriteInput& input, const TPhysicalPath& mapped,
           const std::vector<THttpHeader>& variables)
      : input_(input), mapped_(mapped), variables_(variables) {}

  std::vector<std::string> ruleGroups, conditionGroups;

  // $N, %N and %{NAME}; a backslash keeps the next character as it is.
  std::string Expand(const std::string& text) const {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      const char next = i + 1 < text.size() ? text[i + 1] : '\0';
      if (c == '\\' && (next == '$' || next == '%' || next == '\\')) {
        out += next;
        ++i;
      } else if ((c == '$' || c == '%') && next >= '0' && next <= '9') {
        const auto& groups = c == '$' ? ruleGroups : conditionGroups;
        const std::size_t n = static_cast<std::size_t>(next - '0');
        if (n < groups.size()) out += groups[n];
        ++i;
      } else if (c == '%' && next == '{') {
        const std::size_t close = text.find('}', i + 2);
        if (close == std::string::npos) {
          out += c;
          continue;
        }
        out += Variable(text.substr(i + 2, close - i - 2));
        i = close;
      } else {
        out += c;
      }
    }
    return out;
  }

 private:
  std::string Variable(const std::string& name) const {
    const THttpRequest& r = *input_.request;
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) {
      const std::string kind = TKestro::UpperCase(name.substr(0, colon));
      const std::string key = name.substr(colon + 1);
      if (kind == "HTTP") return HeaderValue(r, key);
      if (kind == "ENV") {
        for (auto it = variables_.rbegin(); it != variables_.rend(); ++it)
          if (it->name == key) return it->value;
      }
      return std::string();
    }
    const std::string n = TKestro::UpperCase(name);
    if (n == "REQUEST_FILENAME" || n == "SCRIPT_FILENAME") return RequestFilename(mapped_);
    if (n == "REQUEST_URI") return input_.url;
    if (n == "QUERY_STRING") return input_.query;
    if (n == "REQUEST_METHOD") return r.method;
    if (n == "DOCUMENT_ROOT") return mapped_.documentRoot;
    if (n == "HTTPS") return "off";
    if (n == "REQUEST_SCHEME") return "http";
    if (n == "SERVER_PORT") return input_.serverPort;
    if (n == "REMOTE_ADDR") return input_.clientAddress;
    if (n == "THE_REQUEST") return r.method + " " + r.target + (r.version.empty() ? "" : " " + r.version);
    if (n == "SERVER_PROTOCOL") return r.version;
    if (n.rfind("HTTP_", 0) == 0) {
      std::string header = n.substr(5);
      for (char& c : header)
        if (c == '_') c = '-';
      return HeaderValue(r, header);
    }
    return std::string();
  }

  const TRewriteInput& input_;
  const TPhysicalPath& mapped_;
  const std::vector<THttpHeader>& variables_;
};

// -f, -d, -s on a path; a name the file system would read as another one
// counts as missing.
bool PathTest(const std::string& path, TRewriteCondition::Test test, const std::string& root) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  if (platform::NamesHaveAliases && path.compare(0, root.size(), root) == 0) {
    const std::string rest = path.substr(root.size());
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = rest.find_first_of("/\\", start);
      const std::string segment = rest.substr(start, end - start);
      if (!segment.empty() && (segment.back() == '.' || segment.back() == ' ' ||
                               segment.find(':') != std::string::npos))
        return false;
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  const platform::DiskEntry entry = platform::DiskEntryOf(TKestro::ToNativePath(path));
  switch (test) {
    case TRewriteCondition::Test::kFile: return entry.kind == platform::PathKind::kFile;
    case TRewriteCondition::Test::kFolder: return entry.kind == platform::PathKind::kFolder;
    case TRewriteCondition::Test::kNonEmptyFile: {
      platform::FileStamp stamp;
      return entry.kind == platform::PathKind::kFile &&
             platform::GetFileStamp(TKestro::ToNativePath(path), stamp) && stamp.size > 0;
    }
    default: return false;
  }
}

bool ConditionHolds(const TRewriteCondition& c, Expander& expander, const std::string& root) {
  const std::string value = expander.Expand(c.testString);
  bool holds = false;
  switch (c.test) {
    case TRewriteCondition::Test::kRegex: {
      std::vector<std::string> groups;
      holds = c.regex.Match(value, &groups);
      if (holds && !c.negate) expander.conditionGroups = std::move(groups);
      break;
    }
    case TRewriteCondition::Test::kEquals:
      holds = c.noCase ? text::EqualsNoCase(value, c.operand) : value == c.operand;
      break;
    default:
      holds = PathTest(value, c.test, root);
  }
  return holds != c.negate;
}

// Conditions are ANDed; [OR] joins one with the next.
bool ConditionsHold(const std::vector<TRewriteCondition>& conditions, Expander& expander,
                    const std::string& root) {
  for (std::size_t i = 0; i < conditions.size();) {
    bool group = false;
    std::size_t j = i;
    for (;; ++j) {
      group = group || ConditionHolds(conditions[j], expander, root);
      if (!conditions[j].orNext || j + 1 == conditions.size()) break;
    }
    if (!group) return false;
    i = j + 1;
  }
  return true;
}

std::string OneLine(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return value;
}

bool IsAbsoluteUrl(const std::string& s) {
  return s.rfind("http://", 0) == 0 || s.rfind("https://", 0) == 0;
}

}  // namespace

TRewriteOutcome RewriteOnce(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
                            const TRewriteInput& input) {
  TRewriteOutcome outcome;
  if (levels.empty()) return outcome;
  bool engine = false;
  for (const TFolderLevel& level : levels)
    if (level.rules->rewriteEngine) engine = *level.rules->rewriteEngine;
  const TFolderLevel& level = levels.back();
  const TFolderRules& rules = *level.rules;
  if (!engine || rules.rules.empty()) return outcome;

  // The path as the folder sees it: the URL with runs of delimiters collapsed,
  // without the folder's own URL.
  std::string current = "/";
  for (std::size_t i = 0; i < mapped.segments.size(); ++i)
    current += (i ? "/" : "") + mapped.segments[i];
  if (!mapped.segments.empty() && !input.url.empty() &&
      (input.url.back() == '/' || input.url.back() == '\\'))
    current += '/';
  const std::string original = current;
  std::string query = input.query;
  const std::string base = rules.rewriteBase.empty() ? level.url : rules.rewriteBase;
  bool changed = false;
  int redirect = 0;
  std::vector<THttpHeader> variables = input.variables;
  for (const TRewriteRule& rule : rules.rules) {
    const std::string relative = current.compare(0, level.url.size(), level.url) == 0
                                     ? current.substr(level.url.size())
                                     : current.substr(1);
    Expander expander(input, mapped, variables);
    const bool matched = rule.pattern.Match(relative, &expander.ruleGroups);
    if (matched == rule.negate) continue;
    if (rule.negate) expander.ruleGroups.clear();
    if (!ConditionsHold(rule.conditions, expander, mapped.documentRoot)) continue;
    for (const auto& [name, value] : rule.variables) {
      THttpHeader variable{OneLine(expander.Expand(name)), OneLine(expander.Expand(value))};
      variables.push_back(variable);
      outcome.variables.push_back(std::move(variable));
    }
    if (rule.status) {
      outcome.kind = TRewriteOutcome::Kind::kStatus;
      outcome.status = rule.status;
      return outcome;
    }
    if (rule.substitution != "-") {
      std::string target = expander.Expand(rule.substitution);
      const std::size_t mark = target.find('?');
      std::string newQuery = mark == std::string::npos ? query : target.substr(mark + 1);
      if (mark != std::string::npos) {
        target.erase(mark);
        if (rule.appendQuery && !query.empty()) newQuery = newQuery.empty() ? query : newQuery + "&" + query;
      }
      if (rule.discardQuery) newQuery.clear();
      query = newQuery;
      if (IsAbsoluteUrl(target)) {
        outcome.kind = TRewriteOutcome::Kind::kRedirect;
        outcome.external = true;
        outcome.status = rule.redirect && rule.redirect < 400 ? rule.redirect : 302;
        outcome.url = target + (query.empty() ? "" : "?" + query);
        return outcome;
      }
      if (target.empty() || (target[0] != '/' && target[0] != '\\')) target = base + target;
      current = target;
      changed = true;
    } else if (rule.discardQuery) {
      query.clear();
    }
    if (rule.redirect) redirect = rule.redirect;
    if (rule.end) outcome.end = true;
    if (rule.last) break;
  }
  if (redirect >= 400) {
    outcome.kind = TRewriteOutcome::Kind::kStatus;
    outcome.status = redirect;
    return outcome;
  }
  if (redirect) {
    outcome.kind = TRewriteOutcome::Kind::kRedirect;
    outcome.status = redirect;
    outcome.url = current;
    outcome.query = query;
    return outcome;
  }
  // A path rewritten to itself is served as it is: no round would end it.
  if (changed && (current != original || query != input.query)) {
    outcome.kind = TRewriteOutcome::Kind::kRewritten;
    outcome.url = current;
    outcome.query = query;
  }
  return outcome;
}
