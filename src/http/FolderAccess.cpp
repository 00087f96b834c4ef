#include "http/FolderAccess.h"

#include "common/TextView.h"

namespace {

bool IsLoopback(const std::string& address) {
  return address.rfind("127.", 0) == 0 || address == "::1" || address.rfind("::ffff:127.", 0) == 0;
}

// "all", a whole address or its leading part ("192.168", "10.").
bool HostMatches(const std::string& host, const std::string& address) {
  if (host == "all") return true;
  if (host == "localhost") return IsLoopback(address);
  if (address == host) return true;
  const std::string prefix = host.back() == '.' ? host : host + ".";
  return address.rfind(prefix, 0) == 0;
}

bool AnyMatches(const std::vector<std::string>& hosts, const std::string& address) {
  for (const std::string& host : hosts)
    if (HostMatches(host, address)) return true;
  return false;
}

// '*' any run, '?' one character: one pass, going back only to the last '*'.
bool WildcardMatches(const std::string& pattern, const std::string& name) {
  std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
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

bool SectionMatches(const TFilesSection& section, const std::string& name) {
  return section.regex ? section.pattern.Match(name) : WildcardMatches(section.wildcard, name);
}

// The settings in force: later ones (deeper folders, sections) replace earlier.
struct Effective {
  TAccessRules::Require require = TAccessRules::Require::kUnset;
  const TAccessRules* hostRules = nullptr;
  void Take(const TAccessRules& access) {
    if (access.require != TAccessRules::Require::kUnset) require = access.require;
    if (access.hostRulesSet) hostRules = &access;
  }
};

bool HostRulesDeny(const TAccessRules& rules, const std::string& address) {
  const bool allowed = AnyMatches(rules.allowFrom, address);
  const bool denied = AnyMatches(rules.denyFrom, address);
  return rules.allowThenDeny ? !(allowed && !denied) : denied && !allowed;
}

}  // namespace

std::string TargetNameOf(const TPhysicalPath& mapped) {
  if (mapped.kind == TPhysicalPath::Kind::kFile) return mapped.entry.name;
  return mapped.segments.empty() ? std::string() : mapped.segments.back();
}

bool IsRulesFileName(const std::string& name) {
  return name.size() >= 3 && name[0] == '.' && text::LowerAscii(name[1]) == 'h' &&
         text::LowerAscii(name[2]) == 't';
}

bool IsDenied(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
              const std::string& clientAddress) {
  Effective effective;
  for (const TFolderLevel& level : levels) effective.Take(level.rules->access);
  const std::string name = TargetNameOf(mapped);
  for (const TFolderLevel& level : levels)
    for (const TFilesSection& section : level.rules->files)
      if (SectionMatches(section, name)) effective.Take(section.access);
  switch (effective.require) {
    case TAccessRules::Require::kDenied: return true;
    case TAccessRules::Require::kLocal:
      if (!IsLoopback(clientAddress)) return true;
      break;
    case TAccessRules::Require::kGranted:
    case TAccessRules::Require::kUnset: break;
  }
  return effective.hostRules && HostRulesDeny(*effective.hostRules, clientAddress);
}
