// The access modules' directives: Require, and the older Order, Allow and
// Deny; what they set belongs to the folder or to its <Files> section.
#include "http/FolderDirectives.h"

namespace {

void Require(const std::vector<std::string>& args, TDirectiveContext& c) {
  const std::string what = args.empty() ? std::string() : LowerName(args[0]);
  const std::string value = args.size() > 1 ? LowerName(args[1]) : std::string();
  TAccessRules& access = *c.access;
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
    c.Ignore("Require " + what + " is not checked: the folder is refused");
  }
}

void Order(const std::vector<std::string>& args, TDirectiveContext& c) {
  std::string order;
  for (const std::string& a : args) order += LowerName(a);
  TAccessRules& access = *c.access;
  access.hostRulesSet = true;
  if (order == "deny,allow") access.allowThenDeny = false;
  else if (order == "allow,deny" || order == "mutual-failure") access.allowThenDeny = true;
  else c.Fail("Order takes deny,allow or allow,deny");
}

void AllowDeny(const std::string& name, const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() < 2 || LowerName(args[0]) != "from") return c.Fail(name + " takes from and hosts");
  TAccessRules& access = *c.access;
  access.hostRulesSet = true;
  std::vector<std::string>& list = name == "allow" ? access.allowFrom : access.denyFrom;
  for (std::size_t i = 1; i < args.size(); ++i) list.push_back(LowerName(args[i]));
}

}  // namespace

bool ReadAccessDirective(const std::string& name, const std::vector<std::string>& args,
                         TDirectiveContext& c) {
  if (name == "require") Require(args, c);
  else if (name == "order") Order(args, c);
  else if (name == "allow" || name == "deny") AllowDeny(name, args, c);
  else if (name == "satisfy") c.Ignore("Satisfy");
  else if (name == "authtype" && args.size() == 1 && LowerName(args[0]) == "none") {
  } else {
    return false;
  }
  return true;
}
