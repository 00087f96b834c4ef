// The rewriting module's directives: RewriteEngine, RewriteBase, RewriteCond
// and RewriteRule with their flags, RewriteOptions' inheritance.
#include <algorithm>
#include <cstdlib>

#include "common/KestroClass.h"
#include "http/FolderDirectives.h"
#include "http/FolderRewrite.h"

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

// A %{NAME} the rewriting does not know expands to "": the log says so.
void NoteUnknownVariables(const std::string& text, TDirectiveContext& c) {
  for (std::size_t at = text.find("%{"); at != std::string::npos; at = text.find("%{", at + 2)) {
    const std::size_t close = text.find('}', at + 2);
    if (close == std::string::npos) return;
    const std::string name = text.substr(at + 2, close - at - 2);
    if (!IsRewriteVariable(name)) c.Ignore("variable %{" + name + "} (it expands to \"\")");
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

// The word after the test string: a file test, a comparison or a regex.
bool ConditionTest(std::string pattern, TRewriteCondition& cond, std::string& error) {
  using Test = TRewriteCondition::Test;
  if (!pattern.empty() && pattern[0] == '!') {
    cond.negate = true;
    pattern.erase(0, 1);
  }
  static const std::vector<std::pair<std::string, Test>> kFileTests = {
      {"-f", Test::kFile},  {"-F", Test::kFile}, {"-d", Test::kFolder},     {"-s", Test::kNonEmptyFile},
      {"-l", Test::kLink},  {"-L", Test::kLink}, {"-h", Test::kLink},       {"-x", Test::kExecutable},
      {"-U", Test::kUrl}};
  for (const auto& [word, test] : kFileTests)
    if (pattern == word) {
      cond.test = test;
      return true;
    }
  static const std::vector<std::string> kComparisons = {"-eq", "-ne", "-lt", "-le", "-gt", "-ge",
                                                        "<=",  ">=",  "=",   "<",   ">"};
  for (const std::string& op : kComparisons) {
    if (pattern.compare(0, op.size(), op) != 0) continue;
    cond.test = Test::kCompare;
    cond.compare = op;
    cond.operand = pattern.substr(op.size());
    if (cond.operand == "\"\"") cond.operand.clear();
    return true;
  }
  return cond.regex.Compile(pattern, cond.noCase, error);
}

void RewriteCond(const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() < 2 || args.size() > 3)
    return c.Fail("RewriteCond takes a test string, a pattern and flags");
  TRewriteCondition cond;
  cond.testString = args[0];
  cond.line = c.line;
  std::vector<std::string> flags;
  if (args.size() == 3 && !FlagsOf(args[2], flags)) return c.Fail("RewriteCond flags must be [...]");
  for (const std::string& flag : flags) {
    const std::string f = LowerName(flag);
    if (f == "nc" || f == "nocase") cond.noCase = true;
    else if (f == "or" || f == "ornext") cond.orNext = true;
    else if (f != "nv" && f != "novary") return c.Fail("RewriteCond: unknown flag " + flag);
  }
  std::string error;
  if (!ConditionTest(args[1], cond, error)) return c.Fail("RewriteCond: bad expression: " + error);
  NoteUnknownVariables(cond.testString, c);
  c.conditions.push_back(std::move(cond));
}

// The codes a response may carry, as R= takes them; 0 for another.
int RedirectCode(const std::string& value) {
  if (value.empty()) return 302;
  const std::string v = LowerName(value);
  if (v == "permanent") return 301;
  if (v == "temp") return 302;
  if (v == "seeother") return 303;
  char* end = nullptr;
  const long code = std::strtol(value.c_str(), &end, 10);
  if (*end != '\0') return 0;
  const bool known = (code >= 100 && code <= 103) || (code >= 200 && code <= 208) || code == 226 ||
                     (code >= 300 && code <= 308 && code != 306) || (code >= 400 && code <= 418) ||
                     (code >= 421 && code <= 426) || code == 428 || code == 429 || code == 431 ||
                     code == 451 || (code >= 500 && code <= 508) || code == 510 || code == 511;
  return known ? static_cast<int>(code) : 0;
}

int Count(const std::string& value) {
  char* end = nullptr;
  const long n = std::strtol(value.c_str(), &end, 10);
  return !value.empty() && *end == '\0' && n > 0 && n < 1000 ? static_cast<int>(n) : 0;
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
  else if (key == "r" || key == "redirect") {
    const int code = RedirectCode(value);
    // Outside 3xx the rule answers with the code and substitutes nothing.
    if (code / 100 == 3) rule.redirect = code;
    else rule.status = code;
    return code != 0;
  } else if (key == "c" || key == "chain") rule.chain = true;
  else if (key == "n" || key == "next") rule.next = true;
  else if (key == "s" || key == "skip") return (rule.skip = Count(value)) != 0;
  else if (key == "b") {
    rule.escapeGroups = true;
    rule.escapeOnly = value;
  } else if (key == "t" || key == "type") return !(rule.type = value).empty();
  else if (key == "h" || key == "handler") return !(rule.handler = value).empty();
  else if (key == "co" || key == "cookie") {
    // NAME, VALUE and DOMAIN at least, split by ':' (by ';' after a leading one).
    const char separator = !value.empty() && value[0] == ';' ? ';' : ':';
    if (std::count(value.begin(), value.end(), separator) < (separator == ';' ? 3 : 2)) return false;
    rule.cookies.push_back(value);
  }
  else if (key == "f" || key == "forbidden") rule.status = 403;
  else if (key == "g" || key == "gone") rule.status = 410;
  else if (key == "e" || key == "env") {
    const std::size_t colon = value.find(':');
    if (value.empty() || value[0] == '!') return !value.empty();  // unsetting: nothing was set
    rule.variables.emplace_back(value.substr(0, colon),
                                colon == std::string::npos ? std::string() : value.substr(colon + 1));
  } else if (key != "ne" && key != "noescape" && key != "pt" && key != "passthrough" &&
             key != "dpi" && key != "discardpath" && key != "ns" && key != "nosubreq" &&
             key != "qsl" && key != "qslast") {
    // No subrequests run here, so NS has nothing to skip.
    return false;
  }
  return true;
}

void RewriteRule(const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() < 2 || args.size() > 3)
    return c.Fail("RewriteRule takes a pattern, a substitution and flags");
  TRewriteRule rule;
  rule.substitution = args[1];
  rule.line = c.line;
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
  NoteUnknownVariables(rule.substitution, c);
  rule.conditions = std::move(c.conditions);
  c.conditions.clear();
  c.rules.rules.push_back(std::move(rule));
}

void RewriteOptions(const std::vector<std::string>& args, TDirectiveContext& c) {
  for (const std::string& a : args) {
    const std::string option = LowerName(a);
    if (option == "inherit") c.rules.inherit = TFolderRules::Inherit::kAfter;
    else if (option == "inheritbefore") c.rules.inherit = TFolderRules::Inherit::kBefore;
    else if (option == "ignoreinherit") c.rules.inherit = TFolderRules::Inherit::kNone;
    else c.Ignore("RewriteOptions " + a);
  }
}

}  // namespace

bool ReadRewriteDirective(const std::string& name, const std::vector<std::string>& args,
                          TDirectiveContext& c) {
  if (name == "rewriteengine") RewriteEngine(args, c);
  else if (name == "rewritebase") RewriteBase(args, c);
  else if (name == "rewritecond") RewriteCond(args, c);
  else if (name == "rewriterule") RewriteRule(args, c);
  else if (name == "rewriteoptions") RewriteOptions(args, c);
  else return false;
  c.rules.rewriteSeen = true;
  return true;
}
