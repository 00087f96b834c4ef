// The parser of per-folder .htaccess files: lines, words and sections here,
// each module's directives in a reader of its own; every other directive is
// noted and ignored, and what cannot be read makes the whole file an error.
#include <set>
#include <utility>

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "http/FolderDirectives.h"
#include "platform/Files.h"

namespace {

// The modules whose directives are read: <IfModule> holds for these.
bool ModuleIsBuilt(std::string name) {
  static const std::set<std::string> kBuilt = {
      "mod_rewrite.c",      "rewrite_module",     "mod_authz_core.c", "authz_core_module",
      "mod_authz_host.c",   "authz_host_module",  "mod_access_compat.c",
      "access_compat_module", "mod_dir.c",        "dir_module",       "core.c", "core_module",
      "mod_mime.c",         "mime_module",        "mod_alias.c",      "alias_module"};
  return kBuilt.count(LowerName(std::move(name))) > 0;
}

// A directive or section name as the log may show it: a name, never the
// text of a file that is no rules file.
std::string LoggedName(const std::string& name) {
  const bool plain = !name.empty() && name.size() <= 40 &&
                     name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.!") == std::string::npos;
  return plain ? name : std::string("(not a directive name)");
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

// How the directives in a section count: read; skipped, as Apache skips
// them (an <IfModule> that does not hold); or not read, because the server
// cannot tell whether they hold (<If>, <IfModule> of a module not read):
// there an access directive refuses its folder.
enum class Reading { kRead, kSkipped, kUnread };

// One open container: its closing name and how what it holds counts.
struct Container {
  std::string name;  // lower case: "ifmodule", "files", "limit", "requireall", ...
  Reading reading = Reading::kRead;
  int files = -1;    // the index of its <Files> section
  bool limit = false;
  bool requirement = false;  // a <Require...> section, held in `require`
  TRequirement require;
};

bool IsRequireSection(const std::string& name) {
  return name == "requireall" || name == "requireany" || name == "requirenone";
}

class Parser {
 public:
  explicit Parser(TFolderRules& rules) : rules_(rules) {}

  void Line(int number, const std::string& line) {
    if (rules_.errorLine) return;
    context_.line = number;
    const std::string trimmed = TKestro::Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') return;
    if (trimmed[0] == '<') return Section(trimmed);
    if (Current() == Reading::kSkipped) return;
    std::vector<std::string> words = WordsOf(trimmed);
    const std::string written = words[0], name = LowerName(written);
    words.erase(words.begin());
    Place();
    if (Current() == Reading::kUnread) {
      if (CarriesAccessControl(name)) context_.Refuse(LoggedName(written) + " in a section that is not read");
      return;
    }
    Directive(name, words, trimmed);
  }

  void End() {
    if (!rules_.errorLine && !open_.empty()) Fail("<" + LoggedName(open_.back().name) + "> is not closed");
    if (!rules_.errorLine && !context_.conditions.empty())
      Ignore("RewriteCond without a RewriteRule after it");
  }

 private:
  void Fail(const std::string& why) { context_.Fail(why); }
  void Ignore(const std::string& what) { context_.Ignore(what); }
  Reading Current() const { return open_.empty() ? Reading::kRead : open_.back().reading; }

  // Where the next directive's settings go, from the open sections.
  void Place() {
    context_.access = &rules_.access;
    context_.handlers = &rules_.handlers;
    context_.filter = TMethodFilter();
    context_.requirement = nullptr;
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
      if (it->requirement && !context_.requirement) context_.requirement = &it->require;
      if (it->limit && !context_.filter.limited) context_.filter = limits_.back();
      if (it->files >= 0 && context_.access == &rules_.access) {
        context_.access = &rules_.files[it->files].access;
        context_.handlers = &rules_.files[it->files].handlers;
      }
    }
  }

  void Section(const std::string& line) {
    if (line.size() < 3 || line.back() != '>') return Fail("malformed section");
    const std::string inner = line.substr(1, line.size() - 2);
    if (inner[0] == '/') return Close(LowerName(TKestro::Trim(inner.substr(1))));
    std::vector<std::string> words = WordsOf(inner);
    if (words.empty()) return Fail("malformed section");
    Container c;
    c.name = LowerName(words[0]);
    const Reading outer = Current();
    c.reading = outer;
    if (c.name == "ifmodule") {
      if (words.size() != 2) return Fail("<IfModule> takes one module");
      std::string module = words[1];
      const bool negate = !module.empty() && module[0] == '!';
      if (negate) module.erase(0, 1);
      const bool built = ModuleIsBuilt(module);
      // Without the module here, its own block cannot be read; its absence can.
      if (built == negate) c.reading = built ? Reading::kSkipped : Max(outer, Reading::kUnread);
      if (!built && !negate && outer == Reading::kRead)
        Ignore("<IfModule " + LoggedName(module) + ">, a module not read, and what it holds");
    } else if (c.name == "files" || c.name == "filesmatch") {
      if (!FilesSection(words, outer, c)) return;
    } else if (c.name == "limit" || c.name == "limitexcept") {
      if (!LimitSection(words, c)) return;
    } else if (IsRequireSection(c.name)) {
      if (words.size() != 1) return Fail("<" + words[0] + "> takes nothing");
      c.requirement = true;
      c.require.kind = c.name == "requireall"   ? TRequirement::Kind::kAll
                       : c.name == "requireany" ? TRequirement::Kind::kAny
                                                : TRequirement::Kind::kNone;
    } else if (c.name == "directory" || c.name == "directorymatch" || c.name == "location" ||
               c.name == "locationmatch" || c.name == "virtualhost") {
      return Fail("<" + LoggedName(words[0]) + "> is not allowed in a folder's file");
    } else {
      // <If>, <IfVersion>, <IfDefine>...: whether what they hold applies is not known.
      if (outer == Reading::kRead) Ignore("section <" + LoggedName(words[0]) + "> and what it holds");
      c.reading = Max(outer, Reading::kUnread);
    }
    open_.push_back(std::move(c));
  }

  static Reading Max(Reading a, Reading b) { return a > b ? a : b; }

  bool FilesSection(const std::vector<std::string>& words, Reading outer, Container& c) {
    for (const Container& open : open_)
      if (open.files >= 0) return Fail("<Files> inside <Files>"), false;
    TFilesSection section;
    std::size_t at = 1;
    section.regex = c.name == "filesmatch";
    if (!section.regex && words.size() == 3 && words[1] == "~") {
      section.regex = true;
      at = 2;
    }
    if (words.size() != at + 1) return Fail("<" + LoggedName(words[0]) + "> takes one name"), false;
    if (section.regex) {
      // Names compare as the file system compares them.
      std::string error;
      if (!section.pattern.Compile(words[at], platform::NamesIgnoreCase, error))
        return Fail("bad expression: " + error), false;
    } else {
      section.wildcard = words[at];
    }
    if (outer == Reading::kRead) {
      c.files = static_cast<int>(rules_.files.size());
      rules_.files.push_back(std::move(section));
    }
    return true;
  }

  bool LimitSection(const std::vector<std::string>& words, Container& c) {
    if (words.size() < 2) return Fail("<" + LoggedName(words[0]) + "> takes methods"), false;
    for (const Container& open : open_)
      if (open.limit) return Fail("<Limit> inside <Limit>"), false;
    TMethodFilter filter;
    filter.limited = true;
    filter.except = c.name == "limitexcept";
    for (std::size_t i = 1; i < words.size(); ++i) filter.methods.push_back(TKestro::UpperCase(words[i]));
    limits_.push_back(std::move(filter));
    c.limit = true;
    return true;
  }

  void Close(const std::string& name) {
    if (open_.empty() || open_.back().name != name) return Fail("</" + LoggedName(name) + "> without its section");
    Container closed = std::move(open_.back());
    open_.pop_back();
    if (closed.limit) limits_.pop_back();
    if (!closed.requirement || closed.reading != Reading::kRead) return;
    if (closed.require.items.empty()) return Fail("<" + name + "> holds no Require");
    Place();
    if (closed.require.kind == TRequirement::Kind::kNone &&
        (!context_.requirement || context_.requirement->kind == TRequirement::Kind::kAny))
      return Fail("<RequireNone> outside <RequireAll> or <RequireNone>");
    if (context_.requirement) return context_.requirement->items.push_back(std::move(closed.require));
    closed.require.filter = context_.filter;
    context_.access->requirements.push_back(std::move(closed.require));
  }

  void Directive(const std::string& name, const std::vector<std::string>& args,
                 const std::string& line) {
    if (ReadRewriteDirective(name, args, context_) || ReadAccessDirective(name, args, context_) ||
        ReadHandlerDirective(name, args, context_) || ReadDirDirective(name, args, line, context_) ||
        ReadAliasDirective(name, args, context_))
      return;
    Ignore("directive " + LoggedName(name));
  }

  TFolderRules& rules_;
  TDirectiveContext context_{rules_};
  std::vector<Container> open_;
  std::vector<TMethodFilter> limits_;  // of the open <Limit> sections
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

void TDirectiveContext::NoteRefusal(const std::string& why) {
  rules.refusals.push_back("line " + std::to_string(line) + ": " + why);
}

void TDirectiveContext::Refuse(const std::string& why) {
  access->refused = true;
  NoteRefusal(why);
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
  // An editor's byte order mark is no part of the first directive.
  std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
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
