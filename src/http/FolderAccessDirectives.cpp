// The access modules' directives: Require and its <Require...> sections,
// and the older Order, Allow and Deny; what they set belongs to the folder
// or to its <Files> section, for the methods of the <Limit> they stand in.
#include "common/KestroClass.h"
#include "http/FolderDirectives.h"
#include "http/FolderHosts.h"

namespace {

// The providers a Require line may name that are not checked here: users,
// groups, host names, variables and expressions. Such a line lets no one in.
bool IsUncheckedProvider(const std::string& what) {
  return what == "user" || what == "group" || what == "valid-user" || what == "host" ||
         what == "env" || what == "expr" || what == "file-owner" || what == "file-group" ||
         what == "ldap-user" || what == "ldap-group" || what == "ldap-attribute" ||
         what == "ldap-filter" || what == "ldap-dn" || what == "dbd-group";
}

// A line read into `r`; false (with the file failed) when it is not one.
bool ReadRequirement(std::vector<std::string> args, TDirectiveContext& c, TRequirement& r) {
  if (!args.empty() && LowerName(args[0]) == "not") {
    r.negate = true;
    args.erase(args.begin());
  }
  const std::string what = args.empty() ? std::string() : LowerName(args[0]);
  const std::string value = args.size() > 1 ? LowerName(args[1]) : std::string();
  using Kind = TRequirement::Kind;
  if (what == "all" && args.size() == 2 && (value == "granted" || value == "denied")) {
    r.kind = value == "granted" ? Kind::kGranted : Kind::kDenied;
  } else if (what == "local" && args.size() == 1) {
    r.kind = Kind::kLocal;
  } else if (what == "ip" && args.size() > 1) {
    r.kind = Kind::kIp;
    for (std::size_t i = 1; i < args.size(); ++i) {
      THostPattern host;
      if (!ParseHostPattern(args[i], host) || host.kind != THostPattern::Kind::kNetwork) {
        c.Fail("Require ip: not an address");
        return false;
      }
      r.hosts.push_back(host);
    }
  } else if (what == "method" && args.size() > 1) {
    r.kind = Kind::kMethod;
    for (std::size_t i = 1; i < args.size(); ++i) r.methods.push_back(TKestro::UpperCase(args[i]));
  } else {
    r.kind = Kind::kUnchecked;
    c.NoteRefusal("Require " + (IsUncheckedProvider(what) ? what : std::string("of an unknown form")) +
             " is not checked");
  }
  return true;
}

void Require(const std::vector<std::string>& args, TDirectiveContext& c) {
  TRequirement r;
  if (!ReadRequirement(args, c, r)) return;
  // A negated line can only deny: it stands in a <RequireAll> or <RequireNone>.
  if (r.negate && (!c.requirement || c.requirement->kind == TRequirement::Kind::kAny))
    return c.Fail("Require not outside <RequireAll> or <RequireNone>");
  if (c.requirement) return c.requirement->items.push_back(std::move(r));
  r.filter = c.filter;
  c.access->requirements.push_back(std::move(r));
}

void Order(const std::vector<std::string>& args, TDirectiveContext& c) {
  std::string order;
  for (const std::string& a : args) order += LowerName(a);
  THostRule rule;
  rule.filter = c.filter;
  if (order == "deny,allow") rule.kind = THostRule::Kind::kOrderDenyAllow;
  else if (order == "allow,deny" || order == "mutual-failure") rule.kind = THostRule::Kind::kOrderAllowDeny;
  else return c.Fail("Order takes deny,allow or allow,deny");
  c.access->hostRules.push_back(std::move(rule));
}

void AllowDeny(const std::string& name, const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() < 2 || LowerName(args[0]) != "from") return c.Fail(name + " takes from and hosts");
  THostRule rule;
  rule.kind = name == "allow" ? THostRule::Kind::kAllow : THostRule::Kind::kDeny;
  rule.filter = c.filter;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i].empty()) continue;  // "" names no one
    THostPattern host;
    if (!ParseHostPattern(args[i], host)) return c.Fail(name + " from: not a host or network");
    if (host.kind == THostPattern::Kind::kName || host.kind == THostPattern::Kind::kUnchecked)
      c.Ignore(name + " from a host name or variable, which is not looked up: " +
               (name == "allow" ? "it lets in local clients only" : "it keeps out every other client"));
    rule.hosts.push_back(host);
  }
  c.access->hostRules.push_back(std::move(rule));
}

}  // namespace

bool CarriesAccessControl(const std::string& name) {
  static const char* const kPrefixes[] = {"require", "auth", "rewrite", "redirect"};
  for (const char* prefix : kPrefixes)
    if (name.rfind(prefix, 0) == 0) return true;
  return name == "order" || name == "allow" || name == "deny" || name == "satisfy" ||
         name == "sethandler" || name == "addhandler" || name == "addtype" || name == "forcetype" ||
         name == "removehandler" || name == "removetype" || name == "action";
}

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
