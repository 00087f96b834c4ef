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
  // Where a directive's settings go: the access rules and handlers of the
  // innermost <Files> section, else the folder's; the methods of the <Limit>
  // it stands in; the <Require...> section it stands in (null when none).
  TAccessRules* access = nullptr;
  std::vector<THandlerRule>* handlers = nullptr;
  TMethodFilter filter;
  TRequirement* requirement = nullptr;
  // RewriteConds waiting for the RewriteRule they belong to.
  std::vector<TRewriteCondition> conditions;

  // The whole file is refused: its folder answers 500.
  void Fail(const std::string& why);
  // Read and not acted on: the server log says so.
  void Ignore(const std::string& what);
  // What refuses some requests with 403, for the server log.
  void NoteRefusal(const std::string& why);
  // The access rules here let no one in (403), and the server log says why.
  void Refuse(const std::string& why);
};

// ASCII lower case, as directive, flag and module names compare.
std::string LowerName(std::string name);

// True for directives that decide who gets what (access, authentication,
// rewriting, redirects, handlers): where one is not read, its folder is
// refused rather than served as if it were not there.
bool CarriesAccessControl(const std::string& name);

// Each reader returns false when `name` (lower case) is not a directive of
// its module. `args` are the words after the name, `line` the whole line.
bool ReadRewriteDirective(const std::string& name, const std::vector<std::string>& args,
                          TDirectiveContext& c);
bool ReadAccessDirective(const std::string& name, const std::vector<std::string>& args,
                         TDirectiveContext& c);
bool ReadDirDirective(const std::string& name, const std::vector<std::string>& args,
                      const std::string& line, TDirectiveContext& c);
// What a handler, or a content type, makes of a file: PHP's run it as PHP,
// one the server does not have refuses it; other types only label it.
THandlerRule::Action ActionOfHandler(const std::string& handler);
THandlerRule::Action ActionOfType(const std::string& type);
bool ReadHandlerDirective(const std::string& name, const std::vector<std::string>& args,
                          TDirectiveContext& c);
bool ReadAliasDirective(const std::string& name, const std::vector<std::string>& args,
                        TDirectiveContext& c);
