// Reading one rules file, shared by the readers of each module's directives:
// the file's rules so far, where the directive stands and how to refuse it.
#pragma once
#include <string>
#include <vector>

#include "http/FolderRules.h"

class TDirectiveContext {
 public:
  explicit TDirectiveContext(TFolderRules& rules) : rules(rules) {}

  TFolderRules& rules;
  int line = 0;
  // The access rules a directive sets: those of the innermost <Files>
  // section, else the folder's.
  TAccessRules* access = nullptr;
  // RewriteConds waiting for the RewriteRule they belong to.
  std::vector<TRewriteCondition> conditions;

  // The whole file is refused: its folder answers 500.
  void Fail(const std::string& why);
  // Read and not acted on: the server log says so.
  void Ignore(const std::string& what);
};

// ASCII lower case, as directive, flag and module names compare.
std::string LowerName(std::string name);

// Each reader returns false when `name` (lower case) is not a directive of
// its module. `args` are the words after the name, `line` the whole line.
bool ReadRewriteDirective(const std::string& name, const std::vector<std::string>& args,
                          TDirectiveContext& c);
bool ReadAccessDirective(const std::string& name, const std::vector<std::string>& args,
                         TDirectiveContext& c);
bool ReadDirDirective(const std::string& name, const std::vector<std::string>& args,
                      const std::string& line, TDirectiveContext& c);
bool ReadAliasDirective(const std::string& name, const std::vector<std::string>& args,
                        TDirectiveContext& c);
