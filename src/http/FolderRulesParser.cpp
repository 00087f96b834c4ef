// The parser of per-folder .htaccess files: the directives projects ship for
// rewriting, access and index files; every other directive is noted and
// ignored, and what cannot be read makes the whole file an error.
#include <cstdlib>
#include <set>
#include <utility>

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/FolderRules.h"

namespace {

// The modules whose directives are read: <IfModule> holds for these.
bool ModuleIsBuilt(std::string name) {
  static const std::set<std::string> kBuilt = {
      "mod_rewrite.c",      "rewrite_module",     "mod_authz_core.c", "authz_core_module",
      "mod_authz_host.c",   "authz_host_module",  "mod_access_compat.c",
      "access_compat_module", "mod_dir.c",        "dir_module",       "core.c", "core_module"};
  for (char& c : name) c = text::LowerAscii(c);
  return kBuilt.count(name) > 0;
}

// The words of a line: blanks separate them, a quoted word ("..." or '...')
// may hold blanks and a backslash-escaped quote.
std::vector<std::string> WordsOf(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    const char quote = line[i];
    if (quote == '"' || quote == '\'') {
      for (++i; i < line.size() && line[i] != quote; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == quote) ++i;
        word += line[i];
      }
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string Lower(std::string s) {
  for (char& c : s) c = text::LowerAscii(c);
  return s;
}

// One open container: its closing name and whether what it holds counts.
struct Container {
  std::string name;  // lower case: "ifmodule", "files", "filesmatch", or another
  bool active = true;
  int files = -1;    // the index of its <Files> section
};

class Parser {
 public:
  explicit Parser(TFolderRules& rules) : rules_(rules) {}

  void Line(int number, const std::string& line) {
    if (rules_.errorLine) return;
    number_ = number;
    const std::string trimmed = TKestro::Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') return;
    if (trimmed[0] == '<') return Section(trimmed);
    if (!Active()) return;
    std::vector<std::string> words = WordsOf(trimmed);
    const std::string name = Lower(words[0]);
    words.erase(words.begin());
    Directive(name, words, trimmed);
  }

  void End() {
    if (!rules_.errorLine && !open_.empty()) Fail("<" + open_.back().name + "> is not closed");
    if (!rules_.errorLine && !conditions_.empty())
      rules_.ignored.push_back("line " + std::to_string(number_) +
                               ": RewriteCond without a RewriteRule after it");
  }

 private:
  bool Active() const { return open_.empty() || open_.back().active; }

  void Fail(const std::string& why) {
    if (rules_.errorLine) return;
    rules_.errorLine = number_;
    rules_.error = why;
  }
  void Ignore(const std::string& what) {
    rules_.ignored.push_back("line " + std::to_string(number_) + ": " + what);
  }

  TAccessRules& Access() {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
      if (it->files >= 0) return rules_.files[it->files].access;
    return rules_.access;
  }

  void Section(const std::string& line) {
    if (line.size() < 3 || line.back() != '>') return Fail("malformed section " + line);
    const std::string inner = line.substr(1, line.size() - 2);
    if (inner[0] == '/') {
      const std::string name = Lower(TKestro::Trim(inner.substr(1)));
      if (open_.empty() || open_.back().name != name) return Fail("</" + name + "> without its section");
      open_.pop_back();
      return;
    }
    std::vector<std::string> words = WordsOf(inner);
    if (words.empty()) return Fail("malformed section " + line);
    Container c;
    c.name = Lower(words[0]);
    const bool outerActive = Active();
    c.active = outerActive;
    if (c.name == "ifmodule") {
      if (words.size() != 2) return Fail("<IfModule> takes one module");
      std::string module = words[1];
      const bool negate = !module.empty() && module[0] == '!';
      if (negate) module.erase(0, 1);
      c.active = outerActive && (ModuleIsBuilt(module) != negate);
    } else if (c.name == "files" || c.name == "filesmatch") {
      if (!open_.empty() && open_.back().files >= 0) return Fail("<Files> inside <Files>");
      TFilesSection section;
      std::size_t at = 1;
      section.regex = c.name == "filesmatch";
      if (!section.regex && words.size() == 3 && words[1] == "~") {
        section.regex = true;
        at = 2;
      }
      if (words.size() != at + 1) return Fail("<" + words[0] + "> takes one name");
      if (section.regex) {
        std::string error;
        if (!section.pattern.Compile(words[at], false, error)) return Fail("bad expression: " + error);
      } else {
        section.wildcard = words[at];
      }
      if (outerActive) {
        c.files = static_cast<int>(rules_.files.size());
        rules_.files.push_back(std::move(section));
      }
    } else if (c.name == "directory" || c.name == "directorymatch" || c.name == "location" ||
               c.name == "locationmatch" || c.name == "virtualhost") {
      return Fail("<" + words[0] + "> is not allowed in a folder's file");
    } else {
      // <Limit>, <RequireAll>, <If>...: what they hold is not read.
      if (outerActive) Ignore("section <" + words[0] + "> and what it holds");
      c.active = false;
    }
    open_.push_back(std::move(c));
  }

  void Directive(const std::string& name, const std::vector<std::string>& args,
                 const std::string& line) {
    if (name == "rewriteengine") return RewriteEngine(args);
    if (name == "rewritebase") return RewriteBase(args);
    if (name == "rewritecond") return RewriteCond(args);
    if (name == "rewriterule") return RewriteRule(args);
    if (name == "rewriteoptions") return Ignore("RewriteOptions (rules are not inherited)");
    if (name == "require") return Require(args);
    if (name == "order") return Order(args);
    if (name == "allow" || name == "deny") return AllowDeny(name, args);
    if (name == "satisfy") return Ignore("Satisfy");
    if (name == "authtype" && args.size() == 1 && Lower(args[0]) == "none") return;
    if (name == "directoryindex") return DirectoryIndex(args);
    if (name == "errordocument") return ErrorDocument(line);
    if (name == "options") return Options(args);
    if (name == "php_value" || name == "php_flag" || name == "php_admin_value" ||
        name == "php_admin_flag")
      return Ignore(name + " (PHP's own .user.ini in the folder sets PHP's settings)");
    Ignore("directive " + name);
  }

  void RewriteEngine(const std::vector<std::string>& args) {
    const std::string value = args.size() == 1 ? Lower(args[0]) : std::string();
    if (value != "on" && value != "off") return Fail("RewriteEngine takes on or off");
    rules_.rewriteEngine = value == "on";
  }

  void RewriteBase(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] != '/')
      return Fail("RewriteBase takes one URL path");
    rules_.rewriteBase = args[0];
    if (rules_.rewriteBase.back() != '/') rules_.rewriteBase += '/';
  }

  // "[NC,OR]" into its flags, lower-cased; false when not bracketed.
  static bool FlagsOf(const std::string& word, std::vector<std::string>& flags) {
    if (word.size() < 2 || word.front() != '[' || word.back() != ']') return false;
    std::size_t start = 1;
    for (;;) {
      const std::size_t end = word.find(',', start);
      const std::string flag =
          TKestro::Trim(word.substr(start, (end == std::string::npos ? word.size() - 1 : end) - start));
      if (!flag.empty()) flags.push_back(flag);
      if (end == std::string::npos) return true;
      start = end + 1;
    }
  }

  void RewriteCond(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3) return Fail("RewriteCond takes a test string, a pattern and flags");
    TRewriteCondition c;
    c.testString = args[0];
    std::vector<std::string> flags;
    if (args.size() == 3 && !FlagsOf(args[2], flags)) return Fail("RewriteCond flags must be [...]");
    for (const std::string& flag : flags) {
      const std::string f = Lower(flag);
      if (f == "nc" || f == "nocase") c.noCase = true;
      else if (f == "or" || f == "ornext") c.orNext = true;
      else if (f != "nv" && f != "novary") return Fail("RewriteCond: unknown flag " + flag);
    }
    std::string pattern = args[1];
    if (!pattern.empty() && pattern[0] == '!') {
      c.negate = true;
      pattern.erase(0, 1);
    }
    if (pattern == "-f" || pattern == "-F") c.test = TRewriteCondition::Test::kFile;
    else if (pattern == "-d") c.test = TRewriteCondition::Test::kFolder;
    else if (pattern == "-s") c.test = TRewriteCondition::Test::kNonEmptyFile;
    else if (!pattern.empty() && pattern[0] == '=') {
      c.test = TRewriteCondition::Test::kEquals;
      c.operand = pattern.substr(1);
      if (c.operand == "\"\"") c.operand.clear();
    } else {
      std::string error;
      if (!c.regex.Compile(pattern, c.noCase, error)) return Fail("RewriteCond: bad expression: " + error);
    }
    conditions_.push_back(std::move(c));
  }

  static int RedirectCode(const std::string& value) {
    if (value.empty()) return 302;
    const std::string v = Lower(value);
    if (v == "permanent") return 301;
    if (v == "temp") return 302;
    if (v == "seeother") return 303;
    char* end = nullptr;
    const long code = std::strtol(value.c_str(), &end, 10);
    return *end == '\0' && code >= 300 && code <= 599 ? static_cast<int>(code) : 0;
  }

  bool RuleFlag(const std::string& flag, TRewriteRule& rule) {
    const std::size_t equals = flag.find('=');
    const std::string key = Lower(flag.substr(0, equals));
    const std::string value = equals == std::string::npos ? std::string() : flag.substr(equals + 1);
    if (key == "l" || key == "last") rule.last = true;
    else if (key == "end") rule.end = rule.last = true;
    else if (key == "qsa" || key == "qsappend") rule.appendQuery = true;
    else if (key == "qsd" || key == "qsdiscard") rule.discardQuery = true;
    else if (key == "nc" || key == "nocase") return true;  // read when compiling
    else if (key == "r" || key == "redirect") return (rule.redirect = RedirectCode(value)) != 0;
    else if (key == "f" || key == "forbidden") rule.status = 403;
    else if (key == "g" || key == "gone") rule.status = 410;
    else if (key == "e" || key == "env") {
      const std::size_t colon = value.find(':');
      if (value.empty() || value[0] == '!') return !value.empty();  // unsetting: nothing was set
      rule.variables.emplace_back(value.substr(0, colon),
                                  colon == std::string::npos ? std::string() : value.substr(colon + 1));
    } else if (key != "ne" && key != "noescape" && key != "pt" && key != "passthrough" &&
               key != "dpi" && key != "discardpath") {
      return false;
    }
    return true;
  }

  void RewriteRule(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3) return Fail("RewriteRule takes a pattern, a substitution and flags");
    TRewriteRule rule;
    rule.substitution = args[1];
    std::vector<std::string> flags;
    if (args.size() == 3 && !FlagsOf(args[2], flags)) return Fail("RewriteRule flags must be [...]");
    bool noCase = false;
    for (const std::string& flag : flags) {
      if (!RuleFlag(flag, rule)) return Fail("RewriteRule: unknown flag " + flag);
      const std::string f = Lower(flag);
      noCase = noCase || f == "nc" || f == "nocase";
    }
    std::string pattern = args[0];
    if (!pattern.empty() && pattern[0] == '!') {
      rule.negate = true;
      pattern.erase(0, 1);
    }
    std::string error;
    if (!rule.pattern.Compile(pattern, noCase, error)) return Fail("RewriteRule: bad expression: " + error);
    rule.conditions = std::move(conditions_);
    conditions_.clear();
    rules_.rules.push_back(std::move(rule));
  }

  void Require(const std::vector<std::string>& args) {
    const std::string what = args.empty() ? std::string() : Lower(args[0]);
    const std::string value = args.size() > 1 ? Lower(args[1]) : std::string();
    TAccessRules& access = Access();
    if (what == "all" && value == "granted" && args.size() == 2)
      access.require = TAccessRules::Require::kGranted;
    else if (what == "all" && value == "denied" && args.size() == 2)
      access.require = TAccessRules::Require::kDenied;
    else if (what == "local" && args.size() == 1)
      access.require = TAccessRules::Require::kLocal;
    else {
      // Users, groups, addresses and expressions are not checked: refused
      // rather than served to whom the folder did not name.
      access.require = TAccessRules::Require::kDenied;
      Ignore("Require " + what + " is not checked: the folder is refused");
    }
  }

  void Order(const std::vector<std::string>& args) {
    std::string order;
    for (const std::string& a : args) order += Lower(a);
    TAccessRules& access = Access();
    access.hostRulesSet = true;
    if (order == "deny,allow") access.allowThenDeny = false;
    else if (order == "allow,deny" || order == "mutual-failure") access.allowThenDeny = true;
    else Fail("Order takes deny,allow or allow,deny");
  }

  void AllowDeny(const std::string& name, const std::vector<std::string>& args) {
    if (args.size() < 2 || Lower(args[0]) != "from") return Fail(name + " takes from and hosts");
    TAccessRules& access = Access();
    access.hostRulesSet = true;
    std::vector<std::string>& list = name == "allow" ? access.allowFrom : access.denyFrom;
    for (std::size_t i = 1; i < args.size(); ++i) list.push_back(Lower(args[i]));
  }

  void DirectoryIndex(const std::vector<std::string>& args) {
    std::vector<std::string> list;
    for (const std::string& a : args) {
      if (Lower(a) == "disabled") list.clear();
      // A path from the root names a file elsewhere: only local names are read.
      else if (!a.empty() && a[0] != '/') list.push_back(a);
    }
    rules_.directoryIndex = std::move(list);
  }

  void ErrorDocument(const std::string& line) {
    std::vector<std::string> words = WordsOf(line);
    if (words.size() < 3) return Fail("ErrorDocument takes a status and a document");
    const int code = std::atoi(words[1].c_str());
    if (code < 400 || code > 599) return Fail("ErrorDocument: bad status " + words[1]);
    // The document is the rest of the line: a quote opens a text.
    std::size_t at = line.find(words[1]) + words[1].size();
    std::string rest = TKestro::Trim(line.substr(at));
    if (rest[0] == '"') {
      if (rest.size() > 1 && rest.back() == '"') rest.pop_back();
    } else if (rest[0] != '/') {
      return Ignore("ErrorDocument " + words[1] + " to another site");
    }
    rules_.errorDocuments[code] = rest;
  }

  void Options(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
      const std::string option = Lower(a);
      // No folder listings and no content negotiation are served here anyway.
      if (option == "-indexes" || option == "-multiviews" || option == "+followsymlinks" ||
          option == "followsymlinks" || option == "+symlinksifownermatch" || option == "-execcgi")
        continue;
      Ignore("Options " + a);
    }
  }

  TFolderRules& rules_;
  std::vector<Container> open_;
  std::vector<TRewriteCondition> conditions_;
  int number_ = 0;
};

}  // namespace

TFolderRules ParseFolderRules(const std::string& text) {
  TFolderRules rules;
  Parser parser(rules);
  std::string line;
  int number = 0, first = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    if (line.empty()) first = number;
    // A backslash at the end continues the line.
    if (!piece.empty() && piece.back() == '\\') {
      piece.pop_back();
      line += piece;
      continue;
    }
    line += piece;
    parser.Line(first, line);
    line.clear();
  }
  if (!line.empty()) parser.Line(first, line);
  parser.End();
  return rules;
}
