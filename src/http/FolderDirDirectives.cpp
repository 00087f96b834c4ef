// The core and directory modules' directives: the folder's index files, its
// error documents and its options, and PHP's settings that are not passed.
#include <cstdlib>

#include "common/KestroClass.h"
#include "http/FolderDirectives.h"

namespace {

void DirectoryIndex(const std::vector<std::string>& args, TDirectiveContext& c) {
  std::vector<std::string> list;
  for (const std::string& a : args) {
    if (LowerName(a) == "disabled") list.clear();
    // A path from the root names a file elsewhere: only local names are read.
    else if (!a.empty() && a[0] != '/') list.push_back(a);
  }
  c.rules.directoryIndex = std::move(list);
}

void ErrorDocument(const std::vector<std::string>& args, const std::string& line,
                   TDirectiveContext& c) {
  if (args.size() < 2) return c.Fail("ErrorDocument takes a status and a document");
  const int code = std::atoi(args[0].c_str());
  if (code < 400 || code > 599) return c.Fail("ErrorDocument: bad status " + args[0]);
  // The document is the rest of the line: a quote opens a text.
  const std::size_t at = line.find(args[0]) + args[0].size();
  std::string rest = TKestro::Trim(line.substr(at));
  if (rest[0] == '"') {
    if (rest.size() > 1 && rest.back() == '"') rest.pop_back();
  } else if (rest[0] != '/') {
    return c.Ignore("ErrorDocument " + args[0] + " to another site");
  }
  c.rules.errorDocuments[code] = rest;
}

void Options(const std::vector<std::string>& args, TDirectiveContext& c) {
  for (const std::string& a : args) {
    const std::string option = LowerName(a);
    // No folder listings and no content negotiation are served here anyway.
    if (option == "-indexes" || option == "-multiviews" || option == "+followsymlinks" ||
        option == "followsymlinks" || option == "+symlinksifownermatch" || option == "-execcgi")
      continue;
    c.Ignore("Options " + a);
  }
}

}  // namespace

bool ReadDirDirective(const std::string& name, const std::vector<std::string>& args,
                      const std::string& line, TDirectiveContext& c) {
  if (name == "directoryindex") DirectoryIndex(args, c);
  else if (name == "errordocument") ErrorDocument(args, line, c);
  else if (name == "options") Options(args, c);
  else if (name == "php_value" || name == "php_flag" || name == "php_admin_value" ||
           name == "php_admin_flag")
    c.Ignore(name + " (PHP's own .user.ini in the folder sets PHP's settings)");
  else return false;
  return true;
}
