#include "http/FolderRewrite.h"

#include <cctype>
#include <cstdlib>
#include <set>

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/FixedAnswers.h"
#include "platform/Files.h"

namespace {

// The variables of the rewriting's table that have a value here; those of a
// secure connection, of authentication and of identd expand to "".
const std::set<std::string>& KnownVariables() {
  static const std::set<std::string> kNames = {
      "REQUEST_FILENAME", "SCRIPT_FILENAME", "REQUEST_URI",  "QUERY_STRING",   "REQUEST_METHOD",
      "DOCUMENT_ROOT",    "HTTPS",           "REQUEST_SCHEME", "SERVER_PORT",  "SERVER_NAME",
      "SERVER_PROTOCOL",  "SERVER_SOFTWARE", "SERVER_ADMIN", "REMOTE_ADDR",    "REMOTE_HOST",
      "REMOTE_USER",      "REMOTE_IDENT",    "AUTH_TYPE",    "THE_REQUEST",    "PATH_INFO",
      "IS_SUBREQ",        "API_VERSION",     "TIME",         "TIME_YEAR",      "TIME_MON",
      "TIME_DAY",         "TIME_HOUR",       "TIME_MIN",     "TIME_SEC",       "TIME_WDAY",
      "CONTEXT_PREFIX",   "CONTEXT_DOCUMENT_ROOT", "SERVER_ADDR", "REMOTE_PORT"};
  return kNames;
}

// Now as "yyyymmddhhmmss" and its weekday (0 for Sunday).
std::string Now(int& weekday) {
  const std::string t = TKestro::FormatDateTime(TKestro::NowLocal());  // yyyy-mm-dd hh:nn:ss
  int y = std::atoi(t.substr(0, 4).c_str()), m = std::atoi(t.substr(5, 2).c_str());
  const int d = std::atoi(t.substr(8, 2).c_str());
  static const int kMonthOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) --y;
  weekday = (y + y / 4 - y / 100 + y / 400 + kMonthOffset[(m + 11) % 12] + d) % 7;
  return t.substr(0, 4) + t.substr(5, 2) + t.substr(8, 2) + t.substr(11, 2) + t.substr(14, 2) +
         t.substr(17, 2);
}

// Percent-encoded as [B] asks: every byte but letters and digits, or only
// those of `only`.
std::string EscapeGroup(const std::string& value, const std::string& only) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool escape = only.empty() ? !(std::isalnum(byte) || c == '_' || c == '-' || c == '.' || c == '~')
                                     : only.find(c) != std::string::npos;
    if (!escape) {
      out += c;
      continue;
    }
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

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
  const TRewriteRule* escaping = nullptr;  // a rule with [B]: its groups are encoded

  // $N, %N and %{NAME}; a backslash keeps the next character as it is.
  std::string Expand(const std::string& text) const {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      const char next = i + 1 < text.size() ? text[i + 1] : '\0';
      if (c == '\\' && next != '\0') {
        out += next;
        ++i;
      } else if ((c == '$' || c == '%') && next >= '0' && next <= '9') {
        const auto& groups = c == '$' ? ruleGroups : conditionGroups;
        const std::size_t n = static_cast<std::size_t>(next - '0');
        if (n < groups.size())
          out += escaping ? EscapeGroup(groups[n], escaping->escapeOnly) : groups[n];
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
    if (n == "DOCUMENT_ROOT" || n == "CONTEXT_DOCUMENT_ROOT") return mapped_.documentRoot;
    if (n == "HTTPS") return "off";
    if (n == "REQUEST_SCHEME") return "http";
    if (n == "SERVER_PORT") return input_.serverPort;
    if (n == "SERVER_NAME") return ServerName(r);
    if (n == "SERVER_SOFTWARE") return std::string(kServerSoftware) + PV_RULES_COMMENT;
    if (n == "REMOTE_ADDR" || n == "REMOTE_HOST") return input_.clientAddress;
    if (n == "SERVER_ADDR" || n == "REMOTE_PORT")
      return TKestro::GetServerVar(n, r, mapped_.documentRoot, kServerSoftware, input_.clientAddress,
                                   input_.serverPort, input_.connection);
    if (n == "THE_REQUEST") return r.method + " " + r.target + (r.version.empty() ? "" : " " + r.version);
    if (n == "SERVER_PROTOCOL") return r.version.empty() ? "HTTP/1.0" : r.version;
    if (n == "PATH_INFO") return mapped_.pathInfo;
    if (n == "IS_SUBREQ") return "false";
    if (n == "API_VERSION") return "20120211:0";
    if (n.rfind("TIME", 0) == 0) return Time(n);
    if (n.rfind("HTTP_", 0) == 0) {
      std::string header = n.substr(5);
      for (char& c : header)
        if (c == '_') c = '-';
      return HeaderValue(r, header);
    }
    return std::string();
  }

  static std::string ServerName(const THttpRequest& r) {
    const std::string host = HeaderValue(r, "Host");
    const std::size_t bracket = host.rfind(']');
    return host.substr(0, host.find(':', bracket == std::string::npos ? 0 : bracket));
  }

  static std::string Time(const std::string& name) {
    int weekday = 0;
    const std::string t = Now(weekday);
    if (name == "TIME") return t;
    if (name == "TIME_YEAR") return t.substr(0, 4);
    if (name == "TIME_MON") return t.substr(4, 2);
    if (name == "TIME_DAY") return t.substr(6, 2);
    if (name == "TIME_HOUR") return t.substr(8, 2);
    if (name == "TIME_MIN") return t.substr(10, 2);
    if (name == "TIME_SEC") return t.substr(12, 2);
    if (name == "TIME_WDAY") return std::to_string(weekday);
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
  const std::string native = TKestro::ToNativePath(path);
  if (test == TRewriteCondition::Test::kLink) return platform::IsSymbolicLink(native);
  if (test == TRewriteCondition::Test::kExecutable) return platform::IsExecutableFile(native);
  const platform::DiskEntry entry = platform::DiskEntryOf(native);
  switch (test) {
    case TRewriteCondition::Test::kFile: return entry.kind == platform::PathKind::kFile;
    case TRewriteCondition::Test::kUrl: return entry.kind != platform::PathKind::kMissing;
    case TRewriteCondition::Test::kFolder: return entry.kind == platform::PathKind::kFolder;
    case TRewriteCondition::Test::kNonEmptyFile: {
      platform::FileStamp stamp;
      return entry.kind == platform::PathKind::kFile &&
             platform::GetFileStamp(TKestro::ToNativePath(path), stamp) && stamp.size > 0;
    }
    default: return false;
  }
}

// "<", "=", ... on texts; "-eq", "-lt", ... on integers.
bool Compares(const TRewriteCondition& c, const std::string& value) {
  const std::string& op = c.compare;
  if (op[0] == '-') {
    const long long a = std::atoll(value.c_str()), b = std::atoll(c.operand.c_str());
    if (op == "-eq") return a == b;
    if (op == "-ne") return a != b;
    if (op == "-lt") return a < b;
    if (op == "-le") return a <= b;
    if (op == "-gt") return a > b;
    return a >= b;
  }
  const int order = c.noCase ? TKestro::UpperCase(value).compare(TKestro::UpperCase(c.operand))
                             : value.compare(c.operand);
  if (op == "=") return order == 0;
  if (op == "<") return order < 0;
  if (op == ">") return order > 0;
  if (op == "<=") return order <= 0;
  return order >= 0;
}

// A test string tried as -U: the URL under the document root.
std::string UrlPath(const std::string& value, const std::string& root) {
  return value.compare(0, root.size(), root) == 0 ? value : root + value;
}

class Failure {
 public:
  bool failed = false;
  std::string what;
  void Set(int line) {
    if (failed) return;
    failed = true;
    what = "line " + std::to_string(line) + ": the pattern passed the expression engine's limits";
  }
};

bool ConditionHolds(const TRewriteCondition& c, Expander& expander, const std::string& root,
                    Failure& failure) {
  const std::string value = expander.Expand(c.testString);
  bool holds = false;
  switch (c.test) {
    case TRewriteCondition::Test::kRegex: {
      std::vector<std::string> groups;
      bool overLimit = false;
      holds = c.regex.Match(value, &groups, &overLimit);
      if (overLimit) failure.Set(c.line);
      if (holds && !c.negate) expander.conditionGroups = std::move(groups);
      break;
    }
    case TRewriteCondition::Test::kCompare:
      holds = Compares(c, value);
      break;
    case TRewriteCondition::Test::kUrl:
      holds = PathTest(UrlPath(value, root), c.test, root);
      break;
    default:
      holds = PathTest(value, c.test, root);
  }
  return holds != c.negate;
}

// Conditions are ANDed; [OR] joins one with the next.
bool ConditionsHold(const std::vector<TRewriteCondition>& conditions, Expander& expander,
                    const std::string& root, Failure& failure) {
  for (std::size_t i = 0; i < conditions.size();) {
    bool group = false;
    std::size_t j = i;
    for (;; ++j) {
      group = group || ConditionHolds(conditions[j], expander, root, failure);
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

// CO='s NAME:VALUE:DOMAIN[:lifetime[:path[:secure[:httponly[:samesite]]]]]
// as a Set-Cookie value; the lifetime in minutes.
std::string CookieOf(const std::string& spec) {
  const bool semicolons = !spec.empty() && spec[0] == ';';
  std::vector<std::string> f;
  for (std::size_t start = semicolons ? 1 : 0;;) {
    const std::size_t end = spec.find(semicolons ? ';' : ':', start);
    f.push_back(spec.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  f.resize(8);
  const auto on = [](const std::string& v) {
    const std::string l = TKestro::UpperCase(v);
    return l == "SECURE" || l == "HTTPONLY" || l == "TRUE" || l == "1";
  };
  std::string cookie = f[0] + "=" + f[1] + "; path=" + (f[4].empty() ? "/" : f[4]);
  if (!f[2].empty()) cookie += "; domain=" + f[2];
  if (std::atol(f[3].c_str()) > 0) cookie += "; Max-Age=" + std::to_string(std::atol(f[3].c_str()) * 60);
  if (on(f[5])) cookie += "; secure";
  if (on(f[6])) cookie += "; HttpOnly";
  if (!f[7].empty() && f[7] != "0" && TKestro::UpperCase(f[7]) != "FALSE") cookie += "; SameSite=" + f[7];
  return cookie;
}

bool IsAbsoluteUrl(const std::string& s) {
  return s.rfind("http://", 0) == 0 || s.rfind("https://", 0) == 0;
}

// The rules that run for a folder, its parents' first or after them as its
// RewriteOptions say, and the base a relative substitution is joined to.
void CollectRules(const std::vector<TFolderLevel>& levels, std::size_t at,
                  std::vector<const TRewriteRule*>& rules, std::string& base) {
  const TFolderRules& own = *levels[at].rules;
  if (base.empty()) base = own.rewriteBase;
  std::vector<const TRewriteRule*> parents;
  if (own.inherit != TFolderRules::Inherit::kNone)
    for (std::size_t up = at; up-- > 0;)
      if (levels[up].rules->rewriteSeen) {
        CollectRules(levels, up, parents, base);
        break;
      }
  if (own.inherit == TFolderRules::Inherit::kBefore) rules.insert(rules.end(), parents.begin(), parents.end());
  for (const TRewriteRule& rule : own.rules) rules.push_back(&rule);
  if (own.inherit == TFolderRules::Inherit::kAfter) rules.insert(rules.end(), parents.begin(), parents.end());
}

// The first '?' that is not escaped: what follows is the substitution's query.
std::size_t QueryMark(const std::string& substitution) {
  for (std::size_t i = 0; i < substitution.size(); ++i) {
    if (substitution[i] == '\\') ++i;
    else if (substitution[i] == '?') return i;
  }
  return std::string::npos;
}

// A substitution that names a file by its path under the document root
// means that file's URL.
std::string WithoutDocumentRoot(const std::string& target, const std::string& root) {
  if (root.empty() || target.compare(0, root.size(), root) != 0) return target;
  const std::string rest = target.substr(root.size());
  if (rest.empty()) return "/";
  return rest[0] == '/' || rest[0] == '\\' ? rest : target;
}

}  // namespace

bool IsRewriteVariable(const std::string& name) {
  const std::size_t colon = name.find(':');
  if (colon != std::string::npos) {
    const std::string kind = TKestro::UpperCase(name.substr(0, colon));
    return kind == "HTTP" || kind == "ENV" || kind == "SSL";
  }
  const std::string n = TKestro::UpperCase(name);
  return n.rfind("HTTP_", 0) == 0 || KnownVariables().count(n) > 0;
}

TRewriteOutcome RewriteOnce(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
                            const TRewriteInput& input) {
  TRewriteOutcome outcome;
  bool engine = false;
  std::size_t deepest = levels.size();
  for (std::size_t i = 0; i < levels.size(); ++i) {
    if (levels[i].rules->rewriteEngine) engine = *levels[i].rules->rewriteEngine;
    if (levels[i].rules->rewriteSeen) deepest = i;
  }
  if (!engine || deepest == levels.size()) return outcome;
  const TFolderLevel& level = levels[deepest];
  std::vector<const TRewriteRule*> rules;
  std::string base;
  CollectRules(levels, deepest, rules, base);
  if (rules.empty()) return outcome;
  if (base.empty()) base = level.url;

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
  bool changed = false;
  int redirect = 0;
  int restarts = 0;
  Failure failure;
  const auto refuse = [&](const std::string& what) {
    outcome.kind = TRewriteOutcome::Kind::kStatus;
    outcome.status = 500;
    outcome.failure = TKestro::ToNativePath(mapped.documentRoot + level.url + ".htaccess") + ": " + what;
    return outcome;
  };
  std::vector<THttpHeader> variables = input.variables;
  for (std::size_t index = 0; index < rules.size(); ++index) {
    const TRewriteRule& rule = *rules[index];
    const std::string relative = current.compare(0, level.url.size(), level.url) == 0
                                     ? current.substr(level.url.size())
                                     : current.substr(1);
    Expander expander(input, mapped, variables);
    bool overLimit = false;
    bool matched = rule.pattern.Match(relative, &expander.ruleGroups, &overLimit) != rule.negate;
    if (overLimit) failure.Set(rule.line);
    if (matched && rule.negate) expander.ruleGroups.clear();
    matched = matched && ConditionsHold(rule.conditions, expander, mapped.documentRoot, failure);
    if (failure.failed) return refuse(failure.what);
    if (!matched) {
      // A chain whose link fails skips the links after it.
      while (rules[index]->chain && index + 1 < rules.size()) ++index;
      continue;
    }
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
    if (!rule.type.empty()) outcome.type = OneLine(expander.Expand(rule.type));
    if (!rule.handler.empty()) outcome.handler = OneLine(expander.Expand(rule.handler));
    for (const std::string& cookie : rule.cookies)
      outcome.headerLines += "Set-Cookie: " + OneLine(CookieOf(expander.Expand(cookie))) + "\r\n";
    if (rule.substitution != "-") {
      // The query is split off the substitution as written: a '?' that a
      // group or a variable brings stays in the path.
      expander.escaping = rule.escapeGroups ? &rule : nullptr;
      const std::size_t mark = QueryMark(rule.substitution);
      std::string target = WithoutDocumentRoot(expander.Expand(rule.substitution.substr(0, mark)),
                                               mapped.documentRoot);
      if (mark != std::string::npos) {
        std::string newQuery = expander.Expand(rule.substitution.substr(mark + 1));
        if (rule.appendQuery && !query.empty()) newQuery = newQuery.empty() ? query : newQuery + "&" + query;
        query = newQuery;
      }
      if (rule.discardQuery) query.clear();
      if (IsAbsoluteUrl(target)) {
        outcome.kind = TRewriteOutcome::Kind::kRedirect;
        outcome.external = true;
        outcome.status = rule.redirect ? rule.redirect : 302;
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
    if (rule.next) {
      if (++restarts > kMaxRuleRestarts)
        return refuse("line " + std::to_string(rule.line) + ": [N] did not end after " +
                      std::to_string(kMaxRuleRestarts) + " restarts");
      index = static_cast<std::size_t>(-1);
      continue;
    }
    index += static_cast<std::size_t>(rule.skip);
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
