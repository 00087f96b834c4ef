// The alias module's redirects (Redirect, RedirectMatch, RedirectPermanent,
// RedirectTemp) and the directory module's FallbackResource: what answers a
// URL instead of the file it names, or when it names none.
#include <cstdlib>

#include "http/FolderDirectives.h"

namespace {

// A status word or code; 0 when it is neither.
int RedirectStatus(const std::string& word) {
  const std::string w = LowerName(word);
  if (w == "permanent") return 301;
  if (w == "temp") return 302;
  if (w == "seeother") return 303;
  if (w == "gone") return 410;
  char* end = nullptr;
  const long code = std::strtol(word.c_str(), &end, 10);
  return !word.empty() && *end == '\0' && code >= 300 && code <= 599 ? static_cast<int>(code) : 0;
}

bool IsUrl(const std::string& target) {
  return !target.empty() && (target[0] == '/' || target.find("://") != std::string::npos);
}

void Redirect(const std::string& name, std::vector<std::string> args, TDirectiveContext& c) {
  TFolderRules::Redirect redirect;
  redirect.line = c.line;
  redirect.regex = name == "redirectmatch";
  if (name == "redirectpermanent") redirect.status = 301;
  else if (name == "redirecttemp") redirect.status = 302;
  else if (!args.empty() && RedirectStatus(args[0])) {
    redirect.status = RedirectStatus(args[0]);
    args.erase(args.begin());
  }
  const bool wantsTarget = redirect.status < 400;
  if (args.size() != (wantsTarget ? 2u : 1u))
    return c.Fail(name + (wantsTarget ? " takes a path and a URL" : " takes a path alone for this status"));
  redirect.path = args[0];
  if (wantsTarget) {
    redirect.target = args[1];
    if (!IsUrl(redirect.target)) return c.Fail(name + ": the URL must be absolute or begin with /");
  }
  if (redirect.regex) {
    std::string error;
    if (!redirect.pattern.Compile(redirect.path, false, error))
      return c.Fail(name + ": bad expression: " + error);
  } else if (redirect.path.empty() || redirect.path[0] != '/') {
    return c.Fail(name + ": the path must begin with /");
  }
  c.rules.redirects.push_back(std::move(redirect));
}

void FallbackResource(const std::vector<std::string>& args, TDirectiveContext& c) {
  if (args.size() != 1) return c.Fail("FallbackResource takes one URL");
  if (LowerName(args[0]) == "disabled") {
    c.rules.fallbackResource = std::string();
    return;
  }
  // A relative URL names a file beside the requested one.
  c.rules.fallbackResource = args[0];
}

}  // namespace

bool ReadAliasDirective(const std::string& name, const std::vector<std::string>& args,
                        TDirectiveContext& c) {
  if (name == "redirect" || name == "redirectmatch" || name == "redirectpermanent" ||
      name == "redirecttemp")
    Redirect(name, args, c);
  else if (name == "fallbackresource")
    FallbackResource(args, c);
  else
    return false;
  return true;
}
