// TFolderRules: what one per-folder .htaccess file says, parsed once.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Regex.h"

// A RewriteCond: its test string (not expanded) and how it is tested.
struct TRewriteCondition {
  enum class Test { kRegex, kFile, kFolder, kNonEmptyFile, kLink, kExecutable, kUrl, kCompare };
  std::string testString;
  Test test = Test::kRegex;
  TRegex regex;         // kRegex
  std::string compare;  // kCompare: "=", "<", ">", "<=", ">=", or "-eq", "-ne", ... on integers
  std::string operand;  // kCompare
  int line = 0;
  bool negate = false;
  bool noCase = false;
  bool orNext = false;  // [OR]: this one or the next
};

struct TRewriteRule {
  TRegex pattern;
  int line = 0;
  bool negate = false;
  std::string substitution;  // "-": none
  std::vector<TRewriteCondition> conditions;
  bool last = false;          // L
  bool end = false;           // END: no further round either
  bool appendQuery = false;   // QSA
  bool discardQuery = false;  // QSD
  int redirect = 0;           // R[=code]: a 3xx status, 0 when none
  int status = 0;             // F: 403, G: 410, R= outside 3xx: ends rewriting with it
  bool chain = false;         // C: the next rule runs only when this one matched
  bool next = false;          // N: the rules start again on the result
  int skip = 0;               // S=n: the n rules after a match are skipped
  bool escapeGroups = false;  // B: $N and %N percent-encoded
  std::string escapeOnly;     // B=chars: only these
  std::string type;           // T=: the Content-Type of what is served
  std::string handler;        // H=: the handler of what is served
  std::vector<std::string> cookies;  // CO=NAME:VALUE:DOMAIN[:...], not expanded
  std::vector<std::pair<std::string, std::string>> variables;  // E=NAME:VALUE, not expanded
};

// The methods a directive holds for: every one, or those a <Limit> names
// (upper case; GET includes HEAD), or all but those of a <LimitExcept>.
struct TMethodFilter {
  bool limited = false;
  bool except = false;
  std::vector<std::string> methods;
  bool Holds(const std::string& method) const;
};

// A host of Allow, Deny or Require ip: everyone, a network (an address, its
// leading part, CIDR or net/mask; IPv4 as ::ffff:a.b.c.d), a name, which is
// not looked up (a local client is "localhost", any other is not known), or
// an env= test, which is not made. What is not known names the client in a
// Deny and never in an Allow.
struct THostPattern {
  enum class Kind { kAll, kNetwork, kName, kUnchecked };
  Kind kind = Kind::kAll;
  unsigned char address[16] = {};  // kNetwork: already masked
  unsigned char mask[16] = {};
  std::string name;  // kName, lower case
};

// A Require line or a <RequireAll>, <RequireAny>, <RequireNone> section.
struct TRequirement {
  enum class Kind { kGranted, kDenied, kLocal, kIp, kMethod, kAll, kAny, kNone, kUnchecked };
  Kind kind = Kind::kUnchecked;
  bool negate = false;                 // Require not ...
  std::vector<THostPattern> hosts;     // kIp
  std::vector<std::string> methods;    // kMethod, upper case
  std::vector<TRequirement> items;     // kAll, kAny, kNone
  TMethodFilter filter;                // the <Limit> it stands in
};

// An Order, Allow or Deny line.
struct THostRule {
  enum class Kind { kOrderDenyAllow, kOrderAllowDeny, kAllow, kDeny };
  Kind kind = Kind::kAllow;
  std::vector<THostPattern> hosts;  // kAllow, kDeny
  TMethodFilter filter;
};

// The access directives of a folder or of a <Files> section.
struct TAccessRules {
  // The section's Require lines, any of which grants (as in <RequireAny>).
  std::vector<TRequirement> requirements;
  std::vector<THostRule> hostRules;
  // An access rule here is not read: no one is let in, whatever deeper
  // folders say.
  bool refused = false;
};

// What a handler directive makes of names: run them as PHP, serve them as
// files, or refuse them (a handler the server does not have).
struct THandlerRule {
  enum class Action { kPhp, kStatic, kRefused };
  Action action = Action::kRefused;
  std::vector<std::string> extensions;  // AddHandler, AddType: lower case with the dot;
                                        // none for SetHandler, ForceType (every name)
};

struct TFilesSection {
  bool regex = false;
  std::string wildcard;  // <Files name>: '*' and '?'
  TRegex pattern;        // <FilesMatch regex>, <Files ~ regex>
  TAccessRules access;
  std::vector<THandlerRule> handlers;
};

struct TFolderRules {
  // Set when the file cannot be parsed: its folder is refused with 500.
  int errorLine = 0;
  std::string error;

  std::optional<bool> rewriteEngine;
  std::string rewriteBase;  // "" when not set
  std::vector<TRewriteRule> rules;
  // A file with no rewriting directive leaves its parent's rewriting in force.
  bool rewriteSeen = false;
  enum class Inherit { kNone, kAfter, kBefore };  // RewriteOptions Inherit, InheritBefore
  Inherit inherit = Inherit::kNone;

  // Redirect, RedirectMatch, RedirectPermanent, RedirectTemp.
  struct Redirect {
    bool regex = false;
    std::string path;    // a URL path prefix, or with regex the expression's text
    TRegex pattern;
    int status = 302;
    std::string target;  // "" for a status outside 3xx
    int line = 0;
  };
  std::vector<Redirect> redirects;
  std::optional<std::string> fallbackResource;  // "" for disabled

  TAccessRules access;
  std::vector<TFilesSection> files;
  std::vector<THandlerRule> handlers;

  std::optional<std::vector<std::string>> directoryIndex;
  std::map<int, std::string> errorDocuments;  // a local URL, or a text starting with '"'

  // "line N: ..." for every directive read and ignored, and for every rule
  // that refuses its folder or section because it is not read, for the
  // server log.
  std::vector<std::string> ignored;
  std::vector<std::string> refusals;
};

// The rules of one file's text. Never throws: what cannot be parsed is told
// by errorLine and error.
TFolderRules ParseFolderRules(const std::string& text);
