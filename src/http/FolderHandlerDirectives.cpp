// The handler directives of the core and mime modules: which names run as
// PHP, which are served as files, and which go to a handler the server does
// not have (refused: never their source).
#include "http/FolderDirectives.h"

using Action = THandlerRule::Action;

Action ActionOfHandler(const std::string& name) {
  const std::string handler = LowerName(name);
  if (handler == "application/x-httpd-php" || handler == "php-script") return Action::kPhp;
  if (handler == "none" || handler == "default-handler") return Action::kStatic;
  return Action::kRefused;
}

// A content type names PHP's handler, or one of PHP's that is not here
// (its source view, a host's own PHP versions); other types only label files.
Action ActionOfType(const std::string& name) {
  const std::string type = LowerName(name);
  if (type.rfind("application/x-httpd-php", 0) != 0) return Action::kStatic;
  return type == "application/x-httpd-php" ? Action::kPhp : Action::kRefused;
}

namespace {

void AddRule(Action action, const std::vector<std::string>& extensions, TDirectiveContext& c) {
  THandlerRule rule;
  rule.action = action;
  for (const std::string& e : extensions)
    rule.extensions.push_back(LowerName(e.empty() || e[0] == '.' ? e : "." + e));
  c.handlers->push_back(std::move(rule));
}

}  // namespace

bool ReadHandlerDirective(const std::string& name, const std::vector<std::string>& args,
                          TDirectiveContext& c) {
  const bool handler = name == "addhandler" || name == "sethandler";
  if (!handler && name != "addtype" && name != "forcetype") return false;
  const bool forAll = name == "sethandler" || name == "forcetype";
  if (forAll ? args.size() != 1 : args.size() < 2) {
    c.Fail(name + " takes " + (forAll ? "one name" : "a name and extensions"));
    return true;
  }
  const std::string what = LowerName(args[0]);
  const Action action = handler ? ActionOfHandler(what) : ActionOfType(what);
  if (!handler && action == Action::kStatic) {
    c.Ignore(name + " " + what + " (content types come from the server's own table)");
    return true;
  }
  if (action == Action::kRefused)
    c.NoteRefusal(name + " " + what + ": a handler the server does not have, its names are refused");
  AddRule(action, std::vector<std::string>(args.begin() + 1, args.end()), c);
  return true;
}
