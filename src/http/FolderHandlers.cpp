#include "http/FolderHandlers.h"

#include "http/FolderAccess.h"
#include "http/FolderDirectives.h"

namespace {

// PHP runs by the name's last extension, as the built-in list is read; a
// handler that is not here refuses every extension of the name, since
// the mime module reads them all ("x.pl.txt" goes to the .pl handler).
bool HasExtension(const THandlerRule& rule, const std::string& name) {
  const std::string lower = LowerName(name);
  for (const std::string& extension : rule.extensions) {
    for (std::size_t at = lower.find(extension); at != std::string::npos;
         at = lower.find(extension, at + 1)) {
      const std::size_t end = at + extension.size();
      if (end == lower.size() || (rule.action == THandlerRule::Action::kRefused && lower[end] == '.'))
        return true;
    }
  }
  return false;
}

struct Chosen {
  const THandlerRule* forAll = nullptr;
  const THandlerRule* byExtension = nullptr;
  void Take(const std::vector<THandlerRule>& rules, const std::string& name) {
    for (const THandlerRule& rule : rules) {
      if (rule.extensions.empty()) forAll = &rule;
      else if (HasExtension(rule, name)) byExtension = &rule;
    }
  }
};

}  // namespace

bool ApplyHandlers(const std::vector<TFolderLevel>& levels, TPhysicalPath& mapped) {
  if (mapped.kind != TPhysicalPath::Kind::kFile) return true;
  const std::string name = TargetNameOf(mapped);
  Chosen chosen;
  for (const TFolderLevel& level : levels) chosen.Take(level.rules->handlers, name);
  for (const TFolderLevel& level : levels)
    for (const TFilesSection& section : level.rules->files)
      if (FilesSectionHolds(section, name)) chosen.Take(section.handlers, name);
  const THandlerRule* rule = chosen.forAll ? chosen.forAll : chosen.byExtension;
  if (!rule) return true;
  if (rule->action == THandlerRule::Action::kRefused) return false;
  mapped.php = rule->action == THandlerRule::Action::kPhp;
  return true;
}

// The rules' H= and T= for the file served: PHP's handler or type runs it as
// PHP, a handler (or a type of PHP's) the server does not have refuses it,
// never its source; H=none serves it as a file; other types only label it.
bool ApplyRuleHandler(const std::string& handler, const std::string& type, TPhysicalPath& mapped) {
  using Action = THandlerRule::Action;
  const Action action = handler.empty() ? ActionOfType(type) : ActionOfHandler(handler);
  if (action == Action::kRefused) return false;
  if (!handler.empty() || action == Action::kPhp) mapped.php = action == Action::kPhp;
  return true;
}
