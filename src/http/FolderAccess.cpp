#include "http/FolderAccess.h"

#include "common/TextView.h"
#include "http/FolderHosts.h"

namespace {

// The client and the request's method, which the rules are tested against.
struct Request {
  TClientAddress client;
  const std::string& method;
};

bool AnyMatches(const std::vector<THostPattern>& hosts, const TClientAddress& client, bool inDeny) {
  for (const THostPattern& host : hosts)
    if (HostMatches(host, client, inDeny)) return true;
  return false;
}

bool SameMethod(const std::string& a, const std::string& b) {
  return a == b || (a == "HEAD" && b == "GET");  // GET's rules hold for HEAD
}

bool NamesMethod(const std::vector<std::string>& methods, const std::string& method) {
  for (const std::string& m : methods)
    if (SameMethod(method, m)) return true;
  return false;
}

enum class Result { kGranted, kDenied, kNeutral };

bool HasUnchecked(const TRequirement& r) {
  if (r.kind == TRequirement::Kind::kUnchecked) return true;
  for (const TRequirement& item : r.items)
    if (HasUnchecked(item)) return true;
  return false;
}

// As the authorization sections combine: <RequireAll> is denied by any
// denial, <RequireAny> granted by any grant, <RequireNone> denied by any
// grant (and by a test not made, which might grant); a negated line cannot
// grant.
Result Evaluate(const TRequirement& r, const Request& request) {
  using Kind = TRequirement::Kind;
  Result result = Result::kDenied;
  switch (r.kind) {
    case Kind::kGranted: result = Result::kGranted; break;
    case Kind::kDenied: break;
    case Kind::kLocal: result = request.client.loopback ? Result::kGranted : Result::kDenied; break;
    case Kind::kIp:
      result = AnyMatches(r.hosts, request.client, false) ? Result::kGranted : Result::kDenied;
      break;
    case Kind::kMethod:
      result = NamesMethod(r.methods, request.method) ? Result::kGranted : Result::kDenied;
      break;
    case Kind::kUnchecked: return Result::kDenied;
    case Kind::kAll:
    case Kind::kAny:
    case Kind::kNone: {
      bool granted = false, denied = false;
      for (const TRequirement& item : r.items) {
        const Result each = Evaluate(item, request);
        granted |= each == Result::kGranted || (r.kind == Kind::kNone && HasUnchecked(item));
        denied |= each == Result::kDenied;
      }
      if (r.kind == Kind::kNone) return granted ? Result::kDenied : Result::kNeutral;
      if (r.kind == Kind::kAll) return denied ? Result::kDenied : granted ? Result::kGranted : Result::kNeutral;
      return granted ? Result::kGranted : denied ? Result::kDenied : Result::kNeutral;
    }
  }
  if (!r.negate) return result;
  return result == Result::kGranted ? Result::kDenied : Result::kNeutral;
}

bool HostRulesDeny(const TAccessRules& rules, const Request& request) {
  bool allowThenDeny = false, allowed = false, denied = false;
  for (const THostRule& rule : rules.hostRules) {
    if (!rule.filter.Holds(request.method)) continue;
    switch (rule.kind) {
      case THostRule::Kind::kOrderDenyAllow: allowThenDeny = false; break;
      case THostRule::Kind::kOrderAllowDeny: allowThenDeny = true; break;
      case THostRule::Kind::kAllow: allowed |= AnyMatches(rule.hosts, request.client, false); break;
      case THostRule::Kind::kDeny: denied |= AnyMatches(rule.hosts, request.client, true); break;
    }
  }
  return allowThenDeny ? !(allowed && !denied) : denied && !allowed;
}

// The settings in force: a section's Require lines, or its host rules, that
// hold for the method replace earlier ones (of shallower folders); a rule
// that is not read holds on.
struct Effective {
  const Request& request;
  bool refused = false;
  bool requireSet = false, granted = true;
  const TAccessRules* hostRules = nullptr;
  void Take(const TAccessRules& access) {
    refused |= access.refused;
    bool held = false, grants = false;
    for (const TRequirement& r : access.requirements)
      if (r.filter.Holds(request.method)) {
        held = true;
        grants |= Evaluate(r, request) == Result::kGranted;
      }
    if (held) requireSet = true, granted = grants;
    for (const THostRule& rule : access.hostRules)
      if (rule.filter.Holds(request.method)) hostRules = &access;
  }
  bool Denies() const {
    return refused || (requireSet && !granted) || (hostRules && HostRulesDeny(*hostRules, request));
  }
};

bool SameLetter(char a, char b) {
  return a == b || (platform::NamesIgnoreCase && text::LowerAscii(a) == text::LowerAscii(b));
}

// '*' any run, '?' one character: one pass, going back only to the last '*'.
bool WildcardMatches(const std::string& pattern, const std::string& name) {
  std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || SameLetter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool FilesSectionHolds(const TFilesSection& section, const std::string& name) {
  return section.regex ? section.pattern.Match(name) : WildcardMatches(section.wildcard, name);
}

std::string TargetNameOf(const TPhysicalPath& mapped) {
  if (mapped.kind == TPhysicalPath::Kind::kFile) return mapped.entry.name;
  return mapped.segments.empty() ? std::string() : mapped.segments.back();
}

bool IsRulesFileName(const std::string& name) {
  return name.size() >= 3 && name[0] == '.' && text::LowerAscii(name[1]) == 'h' &&
         text::LowerAscii(name[2]) == 't';
}

bool TMethodFilter::Holds(const std::string& method) const {
  return !limited || NamesMethod(methods, method) != except;
}

bool IsDenied(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
              const std::string& clientAddress, const std::string& method) {
  const Request request{ClientAddressOf(clientAddress), method};
  Effective effective{request};
  for (const TFolderLevel& level : levels) effective.Take(level.rules->access);
  const std::string name = TargetNameOf(mapped);
  for (const TFolderLevel& level : levels)
    for (const TFilesSection& section : level.rules->files)
      if (FilesSectionHolds(section, name)) effective.Take(section.access);
  return effective.Denies();
}
