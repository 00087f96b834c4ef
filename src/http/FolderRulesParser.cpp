// The parser of per-folder .htaccess files: lines, words and sections here,
// each module's directives in a reader of its own; every other directive is
// noted and ignored, and what cannot be read makes the whole file an error.
#include <set>
#include <utility>

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/FolderDirectives.h"

namespace {

// The modules whose directives are read: <IfModule> holds for these.
bool ModuleIsBuilt(std::string name) {
  static const std::set<std::string> kBuilt = {
      "mod_rewrite.c",      "rewrite_module",     "mod_authz_core.c", "authz_core_module",
      "mod_authz_host.c",   "authz_host_module",  "mod_access_compat.c",
      "access_compat_module", "mod_dir.c",        "dir_module",       "core.c", "core_module",
      "mod_alias.c",        "alias_module"};
  return kBuilt.count(LowerName(std::move(name))) > 0;
}

// The words of a line: blanks separate them, a quoted word ("..." or '...')
// may hold blanks and a backslash-escaped quote. Outside quotes a backslash
// keeps the character after it in the word, itself too: "\ " in a pattern is
// a blank there.
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
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
        if (line[i] == '\\' && i + 1 < line.size()) word += line[i++];
        word += line[i++];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
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
    context_.line = number;
    const std::string trimmed = TKestro::Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') return;
    if (trimmed[0] == '<') return Section(trimmed);
    if (!Active()) return;
    std::vector<std::string> words = WordsOf(trimmed);
    const std::string name = LowerName(words[0]);
    words.erase(words.begin());
    Directive(name, words, trimmed);
  }

  void End() {
    if (!rules_.errorLine && !open_.empty()) Fail("<" + open_.back().name + "> is not closed");
    if (!rules_.errorLine && !context_.conditions.empty())
      Ignore("RewriteCond without a RewriteRule after it");
  }

 private:
  void Fail(const std::string& why) { context_.Fail(why); }
  void Ignore(const std::string& what) { context_.Ignore(what); }
  bool Active() const { return open_.empty() || open_.back().active; }

  TAccessRules& Access() {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
      if (it->files >= 0) return rules_.files[it->files].access;
    return rules_.access;
  }

  void Section(const std::string& line) {
    if (line.size() < 3 || line.back() != '>') return Fail("malformed section " + line);
    const std::string inner = line.substr(1, line.size() - 2);
    if (inner[0] == '/') {
      const std::string name = LowerName(TKestro::Trim(inner.substr(1)));
      if (open_.empty() || open_.back().name != name) return Fail("</" + name + "> without its section");
      open_.pop_back();
      return;
    }
    std::vector<std::string> words = WordsOf(inner);
    if (words.empty()) return Fail("malformed section " + line);
    Container c;
    c.name = LowerName(words[0]);
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
    context_.access = &Access();
    if (ReadRewriteDirective(name, args, context_) || ReadAccessDirective(name, args, context_) ||
        ReadDirDirective(name, args, line, context_) || ReadAliasDirective(name, args, context_))
      return;
    Ignore("directive " + name);
  }

  TFolderRules& rules_;
  TDirectiveContext context_{rules_};
  std::vector<Container> open_;
};

}  // namespace

void TDirectiveContext::Fail(const std::string& why) {
  if (rules.errorLine) return;
  rules.errorLine = line;
  rules.error = why;
}

void TDirectiveContext::Ignore(const std::string& what) {
  rules.ignored.push_back("line " + std::to_string(line) + ": " + what);
}

std::string LowerName(std::string name) {
  for (char& c : name) c = text::LowerAscii(c);
  return name;
}

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
