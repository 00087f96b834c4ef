// The rewriting module's directives: RewriteEngine, RewriteBase, RewriteCond
// and RewriteRule with their flags.
#include <cstdlib>

#include "common/KestroClass.h"
#include "http/FolderDirectives.h"

namespace {

// "[NC,OR]" into its flags; false when not bracketed.
bool FlagsOf(const std::string& word, std::vector<std::string>& flags) {
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

void RewriteEngine(const std::vector<std::string>& args, TDirectiveContext& c) {
  const std::string value = args.size() == 1 ? LowerName(args[0]) : std::string();
  if (value != "on" && value != "off") return c.Fail("RewriteEngine takes on or off");
  c.rules.rewriteEngine = value == "on";
}

void RewriteBase(const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() != 1 || args[0].empty() || args[0][0] != '/')
    return c.Fail("RewriteBase takes one URL path");
  c.rules.rewriteBase = args[0];
  if (c.rules.rewriteBase.back() != '/') c.rules.rewriteBase += '/';
}

void RewriteCond(const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() < 2 || args.size() > 3)
    return c.Fail("RewriteCond takes a test string, a pattern and flags");
  TRewriteCondition cond;
  cond.testString = args[0];
  std::vector<std::string> flags;
  if (args.size() == 3 && !FlagsOf(args[2], flags)) return c.Fail("RewriteCond flags must be [...]");
  for (const std::string& flag : flags) {
    const std::string f = LowerName(flag);
    if (f == "nc" || f == "nocase") cond.noCase = true;
    else if (f == "or" || f == "ornext") cond.orNext = true;
    else if (f != "nv" && f != "novary") return c.Fail("RewriteCond: unknown flag " + flag);
  }
  std::string pattern = args[1];
  if (!pattern.empty() && pattern[0] == '!') {
    cond.negate = true;
    pattern.erase(0, 1);
  }
  if (pattern == "-f" || pattern == "-F") cond.test = TRewriteCondition::Test::kFile;
  else if (pattern == "-d") cond.test = TRewriteCondition::Test::kFolder;
  else if (pattern == "-s") cond.test = TRewriteCondition::Test::kNonEmptyFile;
  else if (!pattern.empty() && pattern[0] == '=') {
    cond.test = TRewriteCondition::Test::kEquals;
    cond.operand = pattern.substr(1);
    if (cond.operand == "\"\"") cond.operand.clear();
  } else {
    std::string error;
    if (!cond.regex.Compile(pattern, cond.noCase, error))
      return c.Fail("RewriteCond: bad expression: " + error);
  }
  c.conditions.push_back(std::move(cond));
}

int RedirectCode(const std::string& value) {
  if (value.empty()) return 302;
  const std::string v = LowerName(value);
  if (v == "permanent") return 301;
  if (v == "temp") return 302;
  if (v == "seeother") return 303;
  char* end = nullptr;
  const long code = std::strtol(value.c_str(), &end, 10);
  return *end == '\0' && code >= 300 && code <= 599 ? static_cast<int>(code) : 0;
}

bool RuleFlag(const std::string& flag, TRewriteRule& rule) {
  const std::size_t equals = flag.find('=');
  const std::string key = LowerName(flag.substr(0, equals));
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

void RewriteRule(const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() < 2 || args.size() > 3)
    return c.Fail("RewriteRule takes a pattern, a substitution and flags");
  TRewriteRule rule;
  rule.substitution = args[1];
  std::vector<std::string> flags;
  if (args.size() == 3 && !FlagsOf(args[2], flags)) return c.Fail("RewriteRule flags must be [...]");
  bool noCase = false;
  for (const std::string& flag : flags) {
    if (!RuleFlag(flag, rule)) return c.Fail("RewriteRule: unknown flag " + flag);
    const std::string f = LowerName(flag);
    noCase = noCase || f == "nc" || f == "nocase";
  }
  std::string pattern = args[0];
  if (!pattern.empty() && pattern[0] == '!') {
    rule.negate = true;
    pattern.erase(0, 1);
  }
  std::string error;
  if (!rule.pattern.Compile(pattern, noCase, error)) return c.Fail("RewriteRule: bad expression: " + error);
  rule.conditions = std::move(c.conditions);
  c.conditions.clear();
  c.rules.rules.push_back(std::move(rule));
}

}  // namespace

bool ReadRewriteDirective(const std::string& name, const std::vector<std::string>& args,
                          TDirectiveContext& c) {
  if (name == "rewriteengine") RewriteEngine(args, c);
  else if (name == "rewritebase") RewriteBase(args, c);
  else if (name == "rewritecond") RewriteCond(args, c);
  else if (name == "rewriterule") RewriteRule(args, c);
  else if (name == "rewriteoptions") c.Ignore("RewriteOptions (rules are not inherited)");
  else return false;
  return true;
}
